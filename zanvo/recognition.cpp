#include "recognition.h"

#include "cut_plans.h"

#include <algorithm>
#include <cstring>

namespace zanvo {

DiskKind recogniseLabel(const std::uint8_t* bootSector)
{
    const std::uint8_t* label = bootSector + kLabelOffset;
    if (std::memcmp(label, diskALabel, kLabelLength) == 0)
        return DiskKind::DiskA;
    if (std::memcmp(label, diskFLabel, kLabelLength) == 0)
        return DiskKind::DiskF;
    return DiskKind::Unknown;
}

const char* kindName(DiskKind kind)
{
    return kind == DiskKind::DiskA ? "Disk A" : kind == DiskKind::DiskF ? "Disk F" : "";
}

const char* kindLetter(DiskKind kind)
{
    // The letter ends the name.
    const char* name = kindName(kind);
    return *name ? name + 5 : name;
}

DiskKind Recognised::kind() const
{
    return what == Recognition::DiskA   ? DiskKind::DiskA
           : what == Recognition::DiskF ? DiskKind::DiskF
                                        : DiskKind::Unknown;
}

std::string labelBytes(const std::uint8_t* bootSector)
{
    std::string out = "bytes 1-16:";
    constexpr char kHex[] = "0123456789abcdef";
    for (int i = kLabelOffset; i < kLabelOffset + kLabelLength; ++i) {
        out += ' ';
        out += kHex[bootSector[i] >> 4];
        out += kHex[bootSector[i] & 15];
    }
    return out;
}

d88::Outcome readBootSector(d88::RecordMap& map, std::span<std::uint8_t, kBootSectorSize> boot)
{
    std::fill(boot.begin(), boot.end(), std::uint8_t{0});
    d88::Record record;
    std::int32_t copied = 0;
    const d88::Outcome read = map.findSector(d88::placeOnTrack(0, 1, kPlanSizeCode), boot, &record, &copied);
    return read.done() && copied == 0 ? d88::Outcome::found(false) : read;
}

d88::Outcome otherBootSizeCode(d88::RecordMap& map, std::int32_t* sizeCode)
{
    *sizeCode = -1;
    const d88::Outcome walked = map.eachRecord(0, [&](const d88::Record& record, std::int32_t) {
        if (isOtherBoot(record.header.id))
            *sizeCode = record.header.id.n;
        return *sizeCode < 0;
    });
    return walked.failed() ? walked : d88::Outcome{};
}

bool isOtherBoot(const d88::SectorId& id)
{
    return id.c == 0 && id.h == 0 && id.r == 1 && id.n != kPlanSizeCode;
}

Recognised recogniseDisk(d88::RecordMap& map, std::span<std::uint8_t, kBootSectorSize> boot,
                         std::int32_t index)
{
    Recognised out;
    d88::Outcome read = map.loadDisk(index);
    map.image().setSectorRange(kFirstSector, kLastSector);
    std::fill(boot.begin(), boot.end(), std::uint8_t{0});
    if (read.done())
        read = readBootSector(map, boot);
    if (read.failed()) {
        out.error = read.error;
        out.what = Recognition::ReadFailed;
        return out;
    }
    const bool found = read.done();
    switch (recogniseLabel(boot.data())) {
    case DiskKind::DiskA:
        out.what = Recognition::DiskA;
        return out;
    case DiskKind::DiskF:
        out.what = Recognition::DiskF;
        return out;
    case DiskKind::Unknown:
        break;
    }
    // It leaves the disk laid out.
    if (const d88::Outcome judged = d88::judgeDisk(map, index, &out.verdict); judged.failed()) {
        out.error = judged.error;
        out.what = Recognition::ReadFailed;
    } else if (!out.verdict.d88) {
        out.what = Recognition::NotD88;
    } else {
        out.what = found ? Recognition::NoKnownLabel : Recognition::NoBootSector;
    }
    return out;
}

} // namespace zanvo
