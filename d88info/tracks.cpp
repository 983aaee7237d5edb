#include "disk_facts.h"
#include "report.h"

#include <algorithm>
#include <map>
#include <string>

namespace d88info {

namespace {

// One character a sector number: what the track holds under it.
constexpr char kPresent = '#';
constexpr char kMissing = '.';
constexpr char kDuplicated = 'D';
constexpr char kForeign = 'x'; // C or H of another track

char otherSizeMark(int n)
{
    return n < 10 ? static_cast<char>('0' + n) : '+';
}

int commonSizeCode(const DiskFacts& disk)
{
    std::map<int, long> counts;
    for (const TrackFacts& track : disk.tracks)
        for (const SectorId& id : track.ids)
            ++counts[id.n];
    int best = 1;
    long bestCount = -1;
    for (const auto& [n, count] : counts)
        if (count > bestCount) {
            best = n;
            bestCount = count;
        }
    return best;
}

void printMap(std::FILE* out, const DiskFacts& disk)
{
    int lowR = 256, highR = -1;
    for (const TrackFacts& track : disk.tracks)
        for (const SectorId& id : track.ids) {
            lowR = std::min<int>(lowR, id.r);
            highR = std::max<int>(highR, id.r);
        }
    if (highR < 0) {
        std::fprintf(out, "\nmap: no records\n");
        return;
    }
    const int common = commonSizeCode(disk);
    std::fprintf(out,
                 "\nmap of sector numbers %d-%d: '%c' present, '%c' missing, '%c' duplicated, "
                 "'%c' C/H of another track, a digit: size code other than %d\n",
                 lowR, highR, kPresent, kMissing, kDuplicated, kForeign, common);
    const int lastTrack = disk.tracks.back().index;
    for (const int divisor : {100, 10, 1}) {
        if (divisor > highR)
            continue;
        std::string header(10, ' ');
        for (int r = lowR; r <= highR; ++r)
            header += static_cast<char>('0' + r / divisor % 10);
        std::fprintf(out, "%s\n", header.c_str());
    }
    std::size_t next = 0;
    for (int t = 0; t <= lastTrack; ++t) {
        const TrackFacts* track =
            next < disk.tracks.size() && disk.tracks[next].index == t ? &disk.tracks[next++] : nullptr;
        if (!track) {
            std::fprintf(out, "track %3d absent\n", t);
            continue;
        }
        std::string row(static_cast<std::size_t>(highR - lowR + 1), kMissing);
        for (const SectorId& id : track->ids) {
            char& cell = row[static_cast<std::size_t>(id.r - lowR)];
            char mark = kPresent;
            if (id.c != t / 2 || id.h != t % 2)
                mark = kForeign;
            else if (id.n != common)
                mark = otherSizeMark(id.n);
            cell = cell == kMissing ? mark : kDuplicated;
        }
        std::fprintf(out, "track %3d %s\n", t, row.c_str());
    }
}

} // namespace

bool printTracks(std::FILE* out, d88::D88Image& image, int disk)
{
    DiskFacts facts;
    if (!gatherDisk(image, disk, &facts))
        return false;
    std::fprintf(out, "disk %d: %zu tracks present; record IDs as C.H.R.N in stored order\n", disk,
                 facts.tracks.size());
    for (const TrackFacts& track : facts.tracks) {
        std::fprintf(out, "track %3d (C %d H %d) at 0x%x: %zu record%s:", track.index, track.index / 2,
                     track.index % 2, static_cast<unsigned>(track.offset), track.ids.size(),
                     track.ids.size() == 1 ? "" : "s");
        for (const SectorId& id : track.ids)
            std::fprintf(out, " %d.%d.%d.%d", id.c, id.h, id.r, id.n);
        std::fprintf(out, "\n");
    }
    if (!facts.tracks.empty())
        printMap(out, facts);
    return true;
}

} // namespace d88info
