// The words both programs and the page use for what the reader finds: the
// flags a dumper set, the fields that lie, and why a file or a disk is not a
// D88 one. Plain ASCII.
#ifndef ZANVO_D88_WORDS_H
#define ZANVO_D88_WORDS_H

#include "d88/file_kind.h"
#include "d88/record_map.h"
#include "d88/sector_flags.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zanvo {

// "ID CRC error", "data CRC error", "no address mark", "no data mark",
// "deleted data", or "controller status 0xNN" with the status byte.
std::string flagWords(d88::SectorFlag flag, std::uint8_t status);

// The words of each flag a record carries, in the flags' order.
std::vector<std::string> flagWordList(const d88::SectorFlags& flags);

// What keeps the strict rule from a record's bytes: "the data size field of
// track 12 sector 3 says 0 where 256 bytes are stored", "the sector count
// field of track 13 sector 5 says 0 where the track holds 16 records", "the
// disk size field says 0", "40 bytes after track 12 sector 5 that are no
// record".
std::string lieWords(const d88::Lie& lie);

// "the media type byte 0x7f, the write protect byte 0x02": the header fields
// a verdict found outside the format's values; "" when none.
std::string oddFieldWords(std::uint8_t odd, const std::uint8_t* header);

// "2D", "2DD", "2HD", "1D" or "1DD" for the media type byte's values, ""
// for any other.
const char* mediaName(int mediaType);

// For a disk without the title's boot sector, what makes it another kind of
// disk than the title's 2D disks with their 256-byte boot sector: "a 2HD
// disk (media type 0x20), and track 0 sector 1 holds 1024 bytes (size code
// 3)", either fact alone, or "" when neither holds: a 2D disk (or a media
// byte the format does not know) with no sector 1 in another size, whose
// boot sector is missing rather than of another kind. `bootSizeCode` is -1
// for none.
std::string otherKindWords(int mediaType, std::int32_t bootSizeCode);

// Why a disk is not a D88 disk, for a disk that is not: "it starts inside
// disk 0's track 20 (disk 0's size field lies)", "none of the 3 tracks its
// table names starts with a plausible record", ...
std::string notD88DiskWords(const d88::DiskVerdict& verdict, const std::uint8_t* header);

// Why a file is not a D88 image: what its first bytes say it is ("it is a
// gzip-compressed file: unpack it first"), or disk 0's reason `disk0`.
std::string notD88FileWords(const d88::FileVerdict& verdict, const std::string& disk0);

// Why disk `disk` of the map's image, judged no D88 disk (`verdict`), is not
// one: "disk 1 is not a D88 disk: ..." when the file is a D88 image, else
// "not a D88 image: ..." of the whole file. Each disk is judged for itself:
// where another disk of the file is a D88 disk, only this one is said not to
// be. Reads the disk's header and judges the file; "" with `*error` set when
// a read fails.
std::string notD88Words(d88::RecordMap& map, std::int32_t disk, const d88::DiskVerdict& verdict, int* error);

} // namespace zanvo

#endif
