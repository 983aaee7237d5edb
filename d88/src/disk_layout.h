// A disk laid out for the record map: how each table entry stands, where
// the disk ends (and whether its size field lies), and each present track's
// extent (record_map.h says where one ends).
#ifndef D88_DISK_LAYOUT_H
#define D88_DISK_LAYOUT_H

#include "d88/record_map.h"
#include "file_window.h"
#include "reading.h"

#include <cstdint>

namespace d88 {

struct DiskExtents {
    DiskLayout layout;
    std::int64_t start[kMaxTracks] = {}; // present tracks: their first record
    std::int64_t bound[kMaxTracks] = {}; // the next track's start, or the disk's end
    std::int64_t end[kMaxTracks] = {};   // their extent's end once told (extentEnd), else -1
    StrictStart strict[kMaxTracks] = {};
};

// Lays out the disk whose header is at `base`. False when its header cannot
// be read whole (the window holds the error when a read failed). Reads no
// track: each track's extent is told when it is first asked for.
bool layOutDisk(FileWindow& file, std::int64_t base, std::int32_t index, DiskExtents* out);

// The end of present track `track`'s extent: its bound, or on past it to the
// end of its own records when the strict walk from its start says so.
std::int64_t extentEnd(FileWindow& file, DiskExtents& disk, std::int32_t track);

} // namespace d88

#endif
