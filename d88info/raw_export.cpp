#include "raw_export.h"

#include <algorithm>
#include <cerrno>
#include <new>
#include <system_error>
#include <vector>

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

// "track 12 sector 3, track 19 sectors 1-16, tracks 80-163" for the holes,
// one bit a sector in geometry order: neighbours on a track are joined, and
// tracks with no sector at all into a range of tracks. At most kShownHoles
// ranges are named; the rest are counted.
std::string holeRanges(const std::vector<bool>& holes, int perTrack, int lowR)
{
    constexpr int kShownHoles = 24;
    const int tracks = static_cast<int>(holes.size()) / perTrack;
    const auto hole = [&](int t, int i) { return holes[static_cast<std::size_t>(t * perTrack + i)]; };
    const auto empty = [&](int t) {
        for (int i = 0; i < perTrack; ++i)
            if (!hole(t, i))
                return false;
        return true;
    };
    std::string out;
    int shown = 0, more = 0;
    const auto name = [&](const std::string& range) {
        if (shown++ < kShownHoles)
            out += (out.empty() ? "" : ", ") + range;
        else
            ++more;
    };
    for (int t = 0; t < tracks;) {
        if (empty(t)) {
            int last = t;
            while (last + 1 < tracks && empty(last + 1))
                ++last;
            std::string range = last > t ? "tracks " : "track ";
            range += std::to_string(t);
            if (last > t)
                range.append("-").append(std::to_string(last));
            name(range);
            t = last + 1;
            continue;
        }
        for (int i = 0; i < perTrack;) {
            if (!hole(t, i)) {
                ++i;
                continue;
            }
            int last = i;
            while (last + 1 < perTrack && hole(t, last + 1))
                ++last;
            std::string range = "track " + std::to_string(t);
            range += last > i ? " sectors " : " sector ";
            range += std::to_string(lowR + i);
            if (last > i)
                range.append("-").append(std::to_string(lowR + last));
            name(range);
            i = last + 1;
        }
        ++t;
    }
    if (more > 0)
        out.append(" and ").append(std::to_string(more)).append(" more");
    return out;
}

} // namespace

// Every sector position of the geometry track 0 gives, each at its offset,
// looked up among its track's found records; zeros where one is missing or
// stored short. A read that fails is not a hole in the disk: nothing read
// through it is exported, and result->readError tells it.
bool exportRaw(d88::D88Image& image, TrackScan& scan, const DiskFacts& disk, Export* result,
               std::string* error)
{
    if (const d88::Outcome selected = image.loadDisk(disk.index); !selected.done()) {
        result->readError = selected.error;
        *error = "disk " + std::to_string(disk.index) + " cannot be selected";
        return false;
    }
    std::span<const FoundRecord> first;
    if (disk.tracks[0] == TrackState::Present)
        if (const d88::Outcome read = scan.scan(image, 0, &first); read.failed()) {
            result->readError = read.error;
            return false;
        }
    if (first.empty()) {
        *error = "track 0 holds no records, so the disk's layout is unknown";
        return false;
    }
    const int n = first.front().id.n;
    int lowR = 255, highR = 0;
    for (const FoundRecord& record : first) {
        lowR = std::min<int>(lowR, record.id.r);
        highR = std::max<int>(highR, record.id.r);
    }
    const std::int64_t sectorSize = d88::nominalSectorSize(n);
    if (sectorSize == 0) {
        *error = "track 0's first record has size code " + std::to_string(n) + ", too large to export";
        return false;
    }
    const int perTrack = highR - lowR + 1;
    const int lastTrack = std::max(disk.highest(TrackState::Present), disk.highest(TrackState::PastEnd));
    result->wanted = (lastTrack + 1) * perTrack * sectorSize;
    if (result->wanted > kMaxExport) {
        *error =
            "the layout asks for " + std::to_string(result->wanted) + " bytes, more than an export may hold";
        return false;
    }
    if (!allocate(result->wanted, result, error))
        return false;

    std::vector<bool> holes(static_cast<std::size_t>((lastTrack + 1) * perTrack));
    int missing = 0;
    for (int t = 0; t <= lastTrack; ++t) {
        for (int i = 0; i < perTrack; ++i) {
            const std::size_t at = static_cast<std::size_t>(t * perTrack + i);
            const std::span<std::uint8_t> sector(result->bytes.get() +
                                                     at * static_cast<std::size_t>(sectorSize),
                                                 static_cast<std::size_t>(sectorSize));
            FoundRecord record;
            std::int32_t copied = 0;
            const d88::Outcome read = image.findFoundSector(
                d88::placeOnTrack(t, static_cast<std::uint8_t>(lowR + i), static_cast<std::uint8_t>(n)),
                sector, &record, &copied);
            if (read.failed()) {
                result->readError = read.error;
                return false;
            }
            std::fill(sector.begin() + copied, sector.end(), std::uint8_t{0});
            holes[at] = copied < sectorSize;
            missing += holes[at];
        }
    }
    result->length = result->wanted;
    if (missing > 0)
        result->holes = "zeros written for " + std::to_string(missing) + " of " +
                        std::to_string(holes.size()) +
                        " sectors, missing or stored short: " + holeRanges(holes, perTrack, lowR);
    return true;
}

bool exportDisk(const DiskFacts& disk, Export* result, std::string* error)
{
    // A size that lies bounds nothing: the disk is what its records cover.
    if (disk.sizeFieldLies) {
        if (disk.extent > kMaxExport) {
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
