// Which disk of the title an image holds, told by a 16-byte label in the boot
// sector of its first disk.
#ifndef ZANVO_RECOGNITION_H
#define ZANVO_RECOGNITION_H

#include <cstdint>

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

} // namespace zanvo

#endif
