// Whether a file is a D88 image, and when it is not, what its first bytes
// say it is. Facts only: the programs put them into words.
//
// A disk is a D88 disk when its header can be read, it does not start inside
// the records of an earlier disk whose size field lies, and either its
// header's fields are all within the format's values (media type, write
// protect, the name's terminator, a disk size of 0 or at least a header's),
// or some track its table names starts with a
// plausible record, at least half of them where a field is odd. A disk whose
// table names no track is an unformatted D88 disk when its fields are within
// the format's values and it has a name or a size of its own. A file is a D88 image when
// one of its disks is, unless its first bytes are the signature of another
// format.
#ifndef D88_FILE_KIND_H
#define D88_FILE_KIND_H

#include "d88/outcome.h"
#include "d88/record_map.h"

#include <cstdint>

namespace d88 {

enum class FileKind : std::uint8_t {
    D88,
    Unknown, // no D88 disk, and no other format it is known to be
    Gzip,    // archives and compressed files: to be unpacked first
    Zip,
    Lzh,
    SevenZip,
    Rar,
    Png, // pictures
    Jpeg,
    Elf, // programs
    WindowsProgram,
    PlainSectors, // no header at all: the size of a plain sector image of a usual disk
};

// Header fields outside the format's values.
enum OddField : std::uint8_t {
    kOddMediaType = 1,    // not 0x00 (2D), 0x10 (2DD), 0x20 (2HD), 0x30 (1D), 0x40 (1DD)
    kOddWriteProtect = 2, // not 0x00 or 0x10
    kOddName = 4,         // no NUL before the write protect byte: the name has no end
    kOddDiskSize = 8,     // negative, or between 1 and a header's size
    kOddTable = 16,       // no track, but entries into the header or past a size that tells the truth
};

struct DiskVerdict {
    bool d88 = false;
    bool readable = false;      // its header could be read whole
    std::uint8_t odd = 0;       // OddField bits
    std::int32_t named = 0;     // present tracks (entries naming a track within the file)
    std::int32_t plausible = 0; // of them, those whose first record is plausible
    // It starts inside the records of this earlier disk, whose size field
    // lies: inside this track of it, or -1 before its first track.
    std::int32_t insideDisk = -1, insideTrack = -1;
};

struct FileVerdict {
    FileKind kind = FileKind::Unknown;
    std::int64_t size = 0;
    // PlainSectors: the geometry of the usual disk of its size.
    std::int32_t cylinders = 0, heads = 0, sectors = 0, sectorSize = 0;
};

// Judges disk `index` of the map's image, which it leaves laid out.
Outcome judgeDisk(RecordMap& map, std::int32_t index, DiskVerdict* verdict);

// Judges the whole file: D88 when any of its disks is (disk 0 is left laid
// out), else what its first bytes say.
Outcome judgeFile(RecordMap& map, FileVerdict* verdict);

} // namespace d88

#endif
