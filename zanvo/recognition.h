// Which disk of the title an image holds, told by a 16-byte label in the boot
// sector of its first disk.
#ifndef ZANVO_RECOGNITION_H
#define ZANVO_RECOGNITION_H

#include "d88/d88_image.h"

#include <cstdint>
#include <span>

namespace zanvo {

enum class DiskKind { Unknown, DiskA, DiskF };

inline constexpr int kLabelOffset = 1; // the label starts at byte 1, not 0
inline constexpr int kLabelLength = 16;

// "ｻﾞﾝｳﾞｫ!ﾄﾞﾘｰﾑｽ" in half-width katakana (Shift_JIS), then "Sys".
inline constexpr std::uint8_t diskALabel[kLabelLength] = {0xBB, 0xDE, 0xDD, 0xB3, 0xDE, 0xAB, 0x21, 0xC4,
                                                          0xDE, 0xD8, 0xB0, 0xD1, 0xBD, 0x53, 0x79, 0x73};
// "ZANVO Disk F Sys"
inline constexpr std::uint8_t diskFLabel[kLabelLength] = {'Z', 'A', 'N', 'V', 'O', ' ', 'D', 'i',
                                                          's', 'k', ' ', 'F', ' ', 'S', 'y', 's'};

// `bootSector` holds at least kLabelOffset + kLabelLength bytes.
DiskKind recogniseDisk(const std::uint8_t* bootSector);

// The boot sector: track 0, C 0 H 0 R 1, size code 1.
inline constexpr std::int32_t kBootSectorSize = 256;

// Tells which disk an open image holds, looking only at its first disk:
// selects disk 0 with sectors 1-16 a track, reads its boot sector into `boot`
// and compares the label. A disk that cannot be selected, or whose boot
// sector is missing or short, leaves `boot` zero where nothing was read and
// is simply not recognised. When the read met an I/O error rather than a
// damaged image, `error` holds the reader's error (0 otherwise) and the
// answer is Unknown.
DiskKind recogniseFirstDisk(d88::D88Image& image, std::span<std::uint8_t, kBootSectorSize> boot, int* error);

} // namespace zanvo

#endif
