// A file that ends before the disk it holds does: where it ends, what of the
// disk is lost with the rest, and which files of a plan lie there. Said once,
// before the lines about each file's holes, so that a run of files "none of
// whose sectors is on the disk" reads as the file's end, not as damage.
#ifndef ZANVO_EARLY_END_H
#define ZANVO_EARLY_END_H

#include "cut_plans.h"

#include "d88/record_map.h"

#include <bitset>
#include <cstdint>
#include <string>

namespace zanvo {

struct EarlyEnd {
    std::int64_t fileEnd = 0;
    std::int64_t shortBy = 0;             // bytes of the disk's size past the file's end; 0 when its
                                          // size bounds nothing or lies
    std::int32_t cutShort = -1;           // the track the file ends inside, -1 when none is seen to
    std::bitset<256> wholeOnCut;          // the sector numbers the records of that track still hold whole
    std::bitset<d88::kMaxTracks> pastEnd; // tracks the table names at or past the file's end
    bool early() const { return cutShort >= 0 || pastEnd.any(); }
};

// Where the file ends against the map's laid-out disk. A track is seen to be
// cut short when the disk's size or a track the table names past the end
// says the disk goes on, its extent runs to the file's end, and its last
// record is stored short or it holds fewer records than its first record's
// sector count says. Nothing early (early() false) when every track the
// table names is whole, even when the file ends before the disk's size says.
d88::Outcome findEarlyEnd(d88::RecordMap& map, EarlyEnd* out);

// "the file ends early, at offset 90000 (0x15f90), 258848 bytes before the
// end of disk 0: track 20 is cut short and tracks 21-79 are past it; 5 of
// the 13 files to cut lie partly or wholly past it, the first ZANVO07" (or
// "ZANVO11 lies ...", or "none of the 13 files to cut lies past it").
std::string earlyEndWords(const EarlyEnd& end, std::int32_t disk, const CutEntry* plan);

// "tracks 12-13, 16" for the tracks set in `tracks` ("track 5" for one).
std::string trackList(const std::bitset<d88::kMaxTracks>& tracks);

} // namespace zanvo

#endif
