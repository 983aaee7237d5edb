// Which disk of the title an image holds, told by a 16-byte label in the boot
// sector of its first disk.
#ifndef ZANVO_RECOGNITION_H
#define ZANVO_RECOGNITION_H

#include "d88/file_kind.h"
#include "d88/record_map.h"

#include <cstdint>
#include <span>
#include <string>

namespace zanvo {

enum class DiskKind { Unknown, DiskA, DiskF };

// "Disk A" or "Disk F", and the letter alone ("A", "F"); "" for a disk of
// neither kind.
const char* kindName(DiskKind kind);
const char* kindLetter(DiskKind kind);

inline constexpr int kLabelOffset = 1; // the label starts at byte 1, not 0
inline constexpr int kLabelLength = 16;

// "ｻﾞﾝｳﾞｫ!ﾄﾞﾘｰﾑｽ" in half-width katakana (Shift_JIS), then "Sys".
inline constexpr std::uint8_t diskALabel[kLabelLength] = {0xBB, 0xDE, 0xDD, 0xB3, 0xDE, 0xAB, 0x21, 0xC4,
                                                          0xDE, 0xD8, 0xB0, 0xD1, 0xBD, 0x53, 0x79, 0x73};
// "ZANVO Disk F Sys"
inline constexpr std::uint8_t diskFLabel[kLabelLength] = {'Z', 'A', 'N', 'V', 'O', ' ', 'D', 'i',
                                                          's', 'k', ' ', 'F', ' ', 'S', 'y', 's'};

// The boot sector: track 0, C 0 H 0 R 1, size code 1.
inline constexpr std::int32_t kBootSectorSize = 256;

// Reads the laid-out disk's boot sector into `boot` (zeros past what it
// holds), as the record map reads it, past fields that lie. NotThere when
// the disk has none that holds data.
d88::Outcome readBootSector(d88::RecordMap& map, std::span<std::uint8_t, kBootSectorSize> boot);

// The size code of the laid-out disk's track 0 sector 1 (C 0 H 0 R 1) when
// it is recorded in another size than the boot sector's, as on a disk of
// another kind; -1 when there is no such sector.
d88::Outcome otherBootSizeCode(d88::RecordMap& map, std::int32_t* sizeCode);
// Whether a record of `id` is such a sector.
bool isOtherBoot(const d88::SectorId& id);

// Which label a boot sector carries. `bootSector` holds at least
// kLabelOffset + kLabelLength bytes.
DiskKind recogniseLabel(const std::uint8_t* bootSector);

// "bytes 1-16: bb de dd ...": what a boot sector holds where a label would
// be, each byte in hex.
std::string labelBytes(const std::uint8_t* bootSector);

enum class Recognition {
    NotD88,       // the disk is not a D88 disk (verdict says why)
    NoBootSector, // the disk has no 256-byte boot sector
    NoKnownLabel, // its boot sector carries neither label
    DiskA,
    DiskF,
    ReadFailed, // reading met an I/O error (or the reader ran short of memory)
};

struct Recognised {
    Recognition what = Recognition::NoBootSector;
    int error = 0;            // with ReadFailed, the reader's error
    d88::DiskVerdict verdict; // with NotD88: why the disk is not a D88 disk
    DiskKind kind() const;
};

// Tells which disk of the title disk `index` (0 unless asked for another) of
// the map's image is: reads its boot sector into `boot` (zero where nothing
// was read) with that disk laid out and sectors 1-16 a track, and compares
// the label. The disk stays laid out. The boot sector is read through the
// record map, so that a field that lies about it does not hide a whole
// disk. A label found decides, whatever else is wrong with the disk; only
// without one is the disk judged.
Recognised recogniseDisk(d88::RecordMap& map, std::span<std::uint8_t, kBootSectorSize> boot,
                         std::int32_t index = 0);

} // namespace zanvo

#endif
