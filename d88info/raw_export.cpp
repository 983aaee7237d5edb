#include "raw_export.h"

#include <algorithm>
#include <cerrno>
#include <new>
#include <system_error>

namespace d88info {

namespace {

bool allocate(std::int64_t size, Export* result, std::string* error)
{
    result->bytes.reset(new (std::nothrow)
                            std::uint8_t[static_cast<std::size_t>(std::max<std::int64_t>(size, 1))]);
    if (!result->bytes)
        *error = "cannot hold " + std::to_string(size) + " bytes: " + std::generic_category().message(ENOMEM);
    return result->bytes != nullptr;
}

std::string fileEnd(const DiskFacts& disk)
{
    return "the file ends at offset " + std::to_string(disk.fileSize);
}

} // namespace

bool exportRaw(d88::D88Image& image, TrackScan& scan, const DiskFacts& disk, Export* result,
               std::string* error)
{
    if (!image.selectDisk(disk.index)) {
        *error = "disk " + std::to_string(disk.index) + " cannot be selected";
        return false;
    }
    const std::span<const SectorRecord> first =
        disk.tracks[0] == TrackState::Present ? scan.scan(image, 0) : std::span<const SectorRecord>{};
    if (first.empty()) {
        *error = "track 0 holds no records, so the disk's layout is unknown";
        return false;
    }
    const int n = first.front().id.n;
    int lowR = 255, highR = 0;
    for (const SectorRecord& record : first) {
        lowR = std::min<int>(lowR, record.id.r);
        highR = std::max<int>(highR, record.id.r);
    }
    const std::int64_t sectorSize = d88::nominalSectorSize(n);
    if (sectorSize == 0) {
        *error = "track 0's first record has size code " + std::to_string(n) + ", too large to export";
        return false;
    }
    const std::int64_t perTrack = highR - lowR + 1;
    const int lastTrack = std::max(disk.highest(TrackState::Present), disk.highest(TrackState::PastEnd));
    result->wanted = (lastTrack + 1) * perTrack * sectorSize;
    if (result->wanted > kMaxExport) {
        *error =
            "the layout asks for " + std::to_string(result->wanted) + " bytes, more than an export may hold";
        return false;
    }
    if (!allocate(result->wanted, result, error))
        return false;

    image.setSectorRange(lowR, highR);
    result->length =
        image.readSectors(0, 0, 0, lowR, n, result->bytes.get(), static_cast<std::int32_t>(result->wanted));
    if (result->length < result->wanted) {
        const std::int64_t sector = result->length / sectorSize;
        const std::int64_t track = sector / perTrack;
        result->stop = "the run stopped at track " + std::to_string(track) + " (C " +
                       std::to_string(track / 2) + " H " + std::to_string(track % 2) + ") sector " +
                       std::to_string(lowR + sector % perTrack);
        if (track < d88::kMaxTracks && disk.tracks[track] == TrackState::PastEnd)
            result->stop += ": " + fileEnd(disk) + ", before this track";
        else
            result->stop += ": it is missing or shorter than " + std::to_string(sectorSize) + " bytes" +
                            (disk.truncated() ? "; " + fileEnd(disk) + ", inside this disk" : std::string());
    }
    return true;
}

bool exportDisk(const DiskFacts& disk, Export* result, std::string* error)
{
    if (disk.diskSize < d88::kDiskHeaderSize) {
        *error = "disk " + std::to_string(disk.index) + "'s size is " + std::to_string(disk.diskSize) +
                 " bytes, so it has no extent of its own to write";
        return false;
    }
    if (disk.diskSize > kMaxExport) {
        *error = "disk " + std::to_string(disk.index) + "'s size is " + std::to_string(disk.diskSize) +
                 " bytes, more than an export may hold";
        return false;
    }
    result->wanted = disk.diskSize;
    result->from = disk.fileOffset;
    result->length = std::clamp<std::int64_t>(disk.fileSize - disk.fileOffset, 0, disk.diskSize);
    if (result->length < result->wanted)
        result->stop =
            "disk " + std::to_string(disk.index) + " runs past the end of the file (" + fileEnd(disk) + ")";
    return true;
}

} // namespace d88info
