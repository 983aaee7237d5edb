#include "raw_export.h"

#include <algorithm>
#include <cerrno>
#include <new>
#include <system_error>

namespace d88info {

namespace {

// Larger exports would come from a damaged or hostile table, not a disk.
constexpr std::int64_t kMaxExport = 64 * 1024 * 1024;

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

bool rawImage(d88::D88Image& image, TrackScan& scan, const DiskFacts& disk, Export* result,
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
    result->length = image.readSectors(
        d88::placeOnTrack(0, static_cast<std::uint8_t>(lowR), static_cast<std::uint8_t>(n)),
        std::span<std::uint8_t>(result->bytes.get(), static_cast<std::size_t>(result->wanted)));
    if (result->length < result->wanted) {
        const std::int64_t sector = result->length / sectorSize;
        const auto track = static_cast<std::int32_t>(sector / perTrack);
        result->stop = "the run stopped at track " + std::to_string(track) + " (C " +
                       std::to_string(d88::cylinderOf(track)) + " H " + std::to_string(d88::headOf(track)) +
                       ") sector " + std::to_string(lowR + sector % perTrack);
        if (track < d88::kMaxTracks && disk.tracks[track] == TrackState::PastEnd)
            result->stop += ": " + fileEnd(disk) + ", before this track";
        else
            result->stop += ": it is missing or shorter than " + std::to_string(sectorSize) + " bytes" +
                            (disk.truncated() ? "; " + fileEnd(disk) + ", inside this disk" : std::string());
    }
    return true;
}

bool diskImage(d88::D88Image& image, const DiskFacts& disk, Export* result, std::string* error)
{
    if (disk.diskSize < d88::kDiskHeaderSize) {
        *error = "disk " + std::to_string(disk.index) + "'s size is " + std::to_string(disk.diskSize) +
                 " bytes, so it has no extent of its own to write";
        return false;
    }
    result->wanted = disk.diskSize;
    const std::int64_t available = std::min<std::int64_t>(disk.diskSize, disk.fileSize - disk.fileOffset);
    if (!allocate(available, result, error))
        return false;
    result->length = image.readFileBytes(
        disk.fileOffset, std::span<std::uint8_t>(result->bytes.get(), static_cast<std::size_t>(available)));
    if (result->length < result->wanted)
        result->stop =
            "disk " + std::to_string(disk.index) + " runs past the end of the file (" + fileEnd(disk) + ")";
    return true;
}

// A read that fails is not a hole in the disk: nothing read through it is
// exported.
template <class Make> bool readChecked(d88::D88Image& image, Export* result, Make make)
{
    image.clearIoError();
    const bool made = make();
    result->readError = image.ioError();
    return made && result->readError == 0;
}

} // namespace

bool exportRaw(d88::D88Image& image, TrackScan& scan, const DiskFacts& disk, Export* result,
               std::string* error)
{
    return readChecked(image, result, [&] { return rawImage(image, scan, disk, result, error); });
}

bool exportDisk(d88::D88Image& image, const DiskFacts& disk, Export* result, std::string* error)
{
    return readChecked(image, result, [&] { return diskImage(image, disk, result, error); });
}

} // namespace d88info
