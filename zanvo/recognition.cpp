#include "recognition.h"

#include <cstring>

namespace zanvo {

DiskKind recogniseDisk(const std::uint8_t* bootSector)
{
    const std::uint8_t* label = bootSector + kLabelOffset;
    if (std::memcmp(label, diskALabel, kLabelLength) == 0)
        return DiskKind::DiskA;
    if (std::memcmp(label, diskFLabel, kLabelLength) == 0)
        return DiskKind::DiskF;
    return DiskKind::Unknown;
}

} // namespace zanvo
