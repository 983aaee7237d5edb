// d88info --compare: two dumps of one disk, sector by sector, as the cut
// sees them. A sector is known by its track and its ID (C, H, R, N); a
// track's first record with an ID is the sector, as a lookup finds it, and
// further records with that ID are its copies, which are counted but not
// compared.
//
// The disks are compared a track at a time: each track's IDs are held while
// it is compared (20 bytes a record), and what is said of it is handed on
// before the next is read, so that memory stays in proportion to one track
// and the output to the differences.
#ifndef D88INFO_COMPARE_H
#define D88INFO_COMPARE_H

#include "d88/record_map.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace d88info {

// d88info --compare's status when the dumps differ: past the statuses both
// programs share.
inline constexpr int kExitDumpsDiffer = 4;

// How one dump stores a sector: its first copy.
struct StoredSector {
    d88::SectorId id;
    d88::SectorFlags flags;
    std::int32_t bytes = 0;   // of its sector's bytes, those stored (at most its size code's)
    std::int32_t nominal = 0; // its size code's bytes (0 for a code no record can hold whole)
    std::int32_t copies = 1;  // the track's records with its ID

    bool storedShort() const { return bytes < nominal; }
};

// A sector with something to say: held by one dump only, stored otherwise,
// holding other bytes, or held more than once. Sectors of the same cylinder,
// head and sector number whose size codes differ, one in each dump, are one
// sector stored otherwise.
struct SectorComparison {
    bool inFirst = false, inSecond = false;
    StoredSector first, second; // as each holds it, where it does
    bool flagsDiffer = false;
    bool sizeDiffers = false;     // another size code, or other bytes stored
    std::int32_t compared = 0;    // bytes both hold (of their sectors)
    std::int32_t differing = 0;   // of those, bytes that differ
    std::int32_t firstDiffer = 0; // the first of them

    bool onlyInFirst() const { return inFirst && !inSecond; }
    bool onlyInSecond() const { return inSecond && !inFirst; }
    bool storedDifferently() const { return flagsDiffer || sizeDiffers; }
    bool differentBytes() const { return differing > 0; }
    bool differs() const { return !(inFirst && inSecond) || storedDifferently() || differentBytes(); }
    bool heldMoreThanOnce() const { return (inFirst && first.copies > 1) || (inSecond && second.copies > 1); }
};

// One track of both disks, when there is something to say of it.
struct TrackComparison {
    int track = 0;
    d88::TrackStanding firstStanding = d88::TrackStanding::Absent;
    d88::TrackStanding secondStanding = d88::TrackStanding::Absent;
    std::int32_t firstSectors = 0, secondSectors = 0; // distinct IDs each holds
    std::vector<SectorComparison> sectors;            // in order of C, H, R, N

    int count(bool (SectorComparison::*is)() const) const;
};

// The whole comparison in numbers, each sector counted once.
struct ComparisonTotals {
    std::int64_t firstSectors = 0, secondSectors = 0;
    std::int64_t differing = 0; // sectors that differ in any way
    std::int64_t onlyInFirst = 0, onlyInSecond = 0;
    std::int64_t storedDifferently = 0, differentBytes = 0;
    std::int64_t heldMoreThanOnce = 0;
    int tracksDiffering = 0;

    bool same() const { return differing == 0; }
};

// Which of the two failed to be read, and why.
struct CompareError {
    int side = 0; // 0 the first, 1 the second
    int error = 0;
};

// Compares the disks the two maps laid out last, track 0 to 163, calling
// `told` for each track with a sector to say something of (in track order).
// True when done; otherwise false with the reader's error in `failed`
// (ENOMEM when memory ran short), and what was told is not to be trusted.
bool compareDisks(d88::RecordMap& first, d88::RecordMap& second,
                  const std::function<void(const TrackComparison&)>& told, ComparisonTotals* totals,
                  CompareError* failed);

} // namespace d88info

#endif
