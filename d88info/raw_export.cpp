#include "raw_export.h"

#include "disk_facts.h"

#include <algorithm>

namespace d88info {

namespace {

// Larger exports would come from a damaged or hostile table, not a disk.
constexpr std::int64_t kMaxExport = 64 * 1024 * 1024;

} // namespace

bool exportRaw(d88::D88Image& image, int disk, RawExport* result, std::string* error)
{
    DiskFacts facts;
    if (!gatherDisk(image, disk, &facts)) {
        *error = "disk " + std::to_string(disk) + " cannot be selected";
        return false;
    }
    if (facts.tracks.empty() || facts.tracks.front().index != 0 || facts.tracks.front().ids.empty()) {
        *error = "track 0 holds no records, so the disk's layout is unknown";
        return false;
    }
    const std::vector<SectorId>& first = facts.tracks.front().ids;
    const int n = first.front().n;
    int lowR = 255, highR = 0, highestTrack = 0;
    for (const SectorId& id : first) {
        lowR = std::min<int>(lowR, id.r);
        highR = std::max<int>(highR, id.r);
    }
    for (const TrackFacts& track : facts.tracks)
        if (!track.ids.empty())
            highestTrack = track.index;
    const std::int64_t sectorSize = d88::nominalSectorSize(n);
    if (sectorSize == 0) {
        *error = "track 0's first record has size code " + std::to_string(n) + ", too large to export";
        return false;
    }
    const std::int64_t perTrack = highR - lowR + 1;
    result->wanted = (highestTrack + 1) * perTrack * sectorSize;
    if (result->wanted > kMaxExport) {
        *error =
            "the layout asks for " + std::to_string(result->wanted) + " bytes, more than an export may hold";
        return false;
    }

    result->bytes.assign(static_cast<std::size_t>(result->wanted), 0);
    image.setSectorRange(lowR, highR);
    const std::int32_t got =
        image.readSectors(0, 0, 0, lowR, n, result->bytes.data(), static_cast<std::int32_t>(result->wanted));
    result->bytes.resize(static_cast<std::size_t>(got));
    if (got < result->wanted) {
        const std::int64_t sector = got / sectorSize;
        const std::int64_t track = sector / perTrack;
        result->stop = "the run stopped at track " + std::to_string(track) + " (C " +
                       std::to_string(track / 2) + " H " + std::to_string(track % 2) + ") sector " +
                       std::to_string(lowR + sector % perTrack) + ": it is missing or shorter than " +
                       std::to_string(sectorSize) + " bytes";
    }
    return true;
}

} // namespace d88info
