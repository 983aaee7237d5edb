#include "raw_export.h"

#include <algorithm>
#include <limits>

namespace d88info {

std::int64_t proportionLimit(std::int64_t fileSize)
{
    return 16 * fileSize + (1 << 20);
}

std::int64_t exportLimit(std::int64_t fileSize)
{
    return std::min<std::int64_t>(proportionLimit(fileSize), 64 << 20);
}

bool exportRaw(d88::RecordMap& map, const DiskFacts& disk, Export* result, std::string* error, int* readError)
{
    *readError = 0;
    result->plain = true;
    result->disk = disk.index;
    if (const d88::Outcome loaded = map.loadDisk(disk.index); !loaded.done()) {
        *readError = loaded.error;
        *error = "disk " + std::to_string(disk.index) + " cannot be selected";
        return false;
    }
    // Track 0's records give the geometry: the first one's size code, and the
    // range of their sector numbers.
    int lowR = 256, highR = -1, n = -1;
    if (disk.tracks[0].state == TrackState::Present) {
        const d88::Outcome walked = map.eachRecord(0, [&](const Record& record, std::int32_t) {
            if (n < 0)
                n = record.header.id.n;
            lowR = std::min<int>(lowR, record.header.id.r);
            highR = std::max<int>(highR, record.header.id.r);
            return true;
        });
        if ((*readError = walked.error) != 0)
            return false;
    }
    if (n < 0) {
        *error = "track 0 holds no records, so the disk's layout is unknown";
        return false;
    }
    const std::int64_t sectorSize = d88::nominalSectorSize(n);
    if (sectorSize == 0) {
        *error = "track 0's first record has size code " + std::to_string(n) + ", too large to export";
        return false;
    }
    result->sizeCode = n;
    result->lowR = lowR;
    result->perTrack = highR - lowR + 1;
    result->lastTrack = std::max(disk.highest(TrackState::Present), disk.highest(TrackState::PastEnd));
    result->wanted = result->length = (result->lastTrack + 1) * result->perTrack * sectorSize;
    if (result->wanted > exportLimit(disk.fileSize)) {
        *error = "the layout asks for " + std::to_string(result->wanted) +
                 " bytes, more than an export of this image may hold (" +
                 std::to_string(exportLimit(disk.fileSize)) + ")";
        return false;
    }
    return true;
}

bool exportDisk(const DiskFacts& disk, Export* result, std::string* error)
{
    const std::int64_t limit = exportLimit(disk.fileSize);
    // A size that lies bounds nothing: the disk is what its records cover.
    if (disk.layout.sizeLies) {
        if (disk.extent > limit) {
            *error = "disk " + std::to_string(disk.index) + " covers " + std::to_string(disk.extent) +
                     " bytes, more than an export may hold";
            return false;
        }
        result->wanted = result->length = disk.extent;
        result->from = disk.fileOffset;
        return true;
    }
    if (disk.diskSize < d88::kDiskHeaderSize) {
        *error = "disk " + std::to_string(disk.index) + "'s size is " + std::to_string(disk.diskSize) +
                 " bytes, so it has no extent of its own to write";
        return false;
    }
    if (disk.diskSize > limit) {
        *error = "disk " + std::to_string(disk.index) + "'s size is " + std::to_string(disk.diskSize) +
                 " bytes, more than an export may hold";
        return false;
    }
    result->wanted = disk.diskSize;
    result->from = disk.fileOffset;
    result->length = std::clamp<std::int64_t>(disk.fileSize - disk.fileOffset, 0, disk.diskSize);
    if (result->length < result->wanted)
        result->stop = "disk " + std::to_string(disk.index) +
                       " runs past the end of the file (the file ends at offset " +
                       std::to_string(disk.fileSize) + ")";
    return true;
}

} // namespace d88info
