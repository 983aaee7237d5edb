// What d88info learns about one disk, gathered through the reader: the track
// table as it really is, and the IDs of every record of every present track.
#ifndef D88INFO_DISK_FACTS_H
#define D88INFO_DISK_FACTS_H

#include "d88/d88_image.h"

#include <cstdint>
#include <string>
#include <vector>

namespace d88info {

using d88::SectorId;

struct TrackFacts {
    int index;                 // track table position
    std::int32_t offset;       // from the disk start
    std::vector<SectorId> ids; // in stored order; empty when nothing could be read
};

struct DiskFacts {
    int index;
    std::int64_t fileOffset;
    std::string name; // raw bytes, up to 16
    int mediaType;
    std::int32_t diskSize;
    // Real images may carry fewer than 164 table entries: the table ends
    // where the first track's data begins, and what follows is sector data.
    int tableEntries;
    std::vector<TrackFacts> tracks; // present tracks, by index
};

// Selects disk `index` of an open image and gathers its facts. False when the
// disk cannot be selected.
bool gatherDisk(d88::D88Image& image, int index, DiskFacts* facts);

// "0-79" or "0-18, 20-79".
std::string indexRanges(const std::vector<int>& sorted);

// Printable ASCII as it is; quote, backslash and any other byte escaped.
std::string escapeName(const std::string& raw);

// "2D", "2DD", "2HD" for the usual media bytes, "" otherwise.
const char* mediaMeaning(int mediaType);

} // namespace d88info

#endif
