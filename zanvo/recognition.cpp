#include "recognition.h"

#include "cut_plans.h"

#include <algorithm>
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

DiskKind recogniseFirstDisk(d88::D88Image& image, std::span<std::uint8_t, kBootSectorSize> boot, int* error)
{
    std::fill(boot.begin(), boot.end(), std::uint8_t{0});
    image.selectDisk(0);
    image.setSectorRange(kFirstSector, kLastSector);
    image.readSector(0, 0, 0, 1, kPlanSizeCode, boot.data(), kBootSectorSize);
    if ((*error = image.ioError()) != 0)
        return DiskKind::Unknown;
    return recogniseDisk(boot.data());
}

} // namespace zanvo
