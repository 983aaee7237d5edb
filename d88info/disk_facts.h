// What d88info learns about one disk, gathered through the reader: its header
// fields, where each track of its table starts against the end of the file,
// and what the records of its present tracks hold. Storage is fixed: the
// facts hold no container, and a track's records are read into one buffer
// that is allocated once and never grows.
#ifndef D88INFO_DISK_FACTS_H
#define D88INFO_DISK_FACTS_H

#include "d88/d88_image.h"
#include "recognition.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace d88info {

using d88::SectorId;
using d88::SectorRecord;

// One track's records at a time, in a buffer that holds as many records as a
// sector count can announce.
class TrackScan {
  public:
    TrackScan();
    // False when the buffer could not be allocated.
    bool ok() const { return records_ != nullptr; }
    // The records of `track` of the selected disk, in stored order; empty
    // when it has none or is absent.
    std::span<const SectorRecord> scan(d88::D88Image& image, int track);

  private:
    std::unique_ptr<SectorRecord[]> records_;
};

enum class TrackState : std::uint8_t {
    Absent,  // table entry 0, negative or past the disk size
    Present, // starts within the file
    PastEnd, // the table names it, but the file ends before it starts
};

struct DiskFacts {
    int index = 0;
    bool gathered = false; // false when the disk's header could not be read
    std::int64_t fileOffset = 0;
    char name[d88::kDiskNameLength + 1] = {};
    int mediaType = 0;
    int writeProtect = 0;
    std::int32_t diskSize = 0;
    std::int64_t fileSize = 0;
    // Real images may carry fewer than 164 table entries: the table ends
    // where the first track's data begins, and what follows is sector data.
    int tableEntries = d88::kMaxTracks;
    TrackState tracks[d88::kMaxTracks] = {};
    std::int32_t trackOffsets[d88::kMaxTracks] = {};

    // Over the records of the present tracks.
    struct RecordsPerTrack {
        std::int32_t records;
        int tracks;
    };
    RecordsPerTrack recordCounts[d88::kMaxTracks] = {}; // ascending by records
    int recordCountKinds = 0;
    std::int64_t sizeCodes[256] = {};
    std::int64_t flags[d88::kSectorFlagKinds] = {}; // records by flag
    std::int64_t otherStatuses[256] = {};           // records with another status, by its value
    std::int64_t largestTrackBytes = 0;
    int highestWithRecords = -1;
    int lowR = 256, highR = -1; // sector numbers seen
    int commonSizeCode = 1;     // the size code most records have

    bool bootFound = false;
    std::uint8_t boot[256] = {};
    zanvo::DiskKind kind = zanvo::DiskKind::Unknown;

    bool truncated() const { return diskSize > 0 && fileOffset + diskSize > fileSize; }
    int count(TrackState state) const;
    int highest(TrackState state) const;
};

enum class Gathering {
    Whole,      // every fact was gathered
    NoHeader,   // the disk cannot be selected: only its index and offset are known
    ReadFailed, // reading met an error: nothing gathered may be shown
};

// Selects disk `index` of an open image and gathers its facts. With
// ReadFailed, `error` holds the reader's error.
Gathering gatherDisk(d88::D88Image& image, int index, TrackScan& scan, DiskFacts* facts, int* error);

// "0-79" or "0-18, 20-79" for the tracks in `state`; "none" when there is none.
std::string trackRanges(const DiskFacts& disk, TrackState state);

// Printable ASCII as it is; quote, backslash and any other byte escaped.
std::string escapeName(const std::string& raw);

// "2D", "2DD", "2HD" for the usual media bytes, "" otherwise.
const char* mediaMeaning(int mediaType);

} // namespace d88info

#endif
