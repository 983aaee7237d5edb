// What d88info learns about one disk, gathered through the reader: its header
// fields, how each track of its table stands, and what the records of its
// present tracks hold, as the reader finds them behind fields that lie.
// Storage is fixed: the facts hold no container, and a track's records are
// read into one buffer that is allocated once and never grows.
#ifndef D88INFO_DISK_FACTS_H
#define D88INFO_DISK_FACTS_H

#include "d88/d88_image.h"
#include "d88/verdict.h"
#include "recognition.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

namespace d88info {

using d88::FoundRecord;
using d88::SectorId;

// One track's records at a time, in a buffer that holds as many records as
// a track can hold.
class TrackScan {
  public:
    TrackScan();
    // False when the buffer could not be allocated.
    bool ok() const { return records_ != nullptr; }
    // The records of `track` of the selected disk, in stored order, from
    // its record `first` on, at most `most` of them, into `records`: empty
    // when it has none or is absent. Failed when a read fails.
    d88::Outcome scan(d88::D88Image& image, int track, std::span<const FoundRecord>* records, int first = 0,
                      int most = d88::kMaxRecordsPerTrack);

  private:
    std::unique_ptr<FoundRecord[]> records_;
};

enum class TrackState : std::uint8_t {
    Absent,     // table entry 0, negative, at or past the disk's end
    Present,    // starts within the file
    PastEnd,    // the table names it, but the file ends before it starts
    IntoHeader, // the entry points into the disk header: it names no track
};

// A record stored shorter than its size code's sector.
bool isShort(const FoundRecord& record);

struct DiskFacts {
    int index = 0;
    bool gathered = false; // false when the disk's header could not be read
    d88::Verdict verdict;  // whether it is a D88 disk, and why not
    int sameDiskAs = -1;   // an earlier disk at the same offset: the same disk
    bool sizeFieldLies = false;
    std::int64_t extent = 0; // bytes from its offset to its end: its size, or where its records end
    std::int64_t fileOffset = 0;
    char name[d88::kDiskNameLength + 1] = {};
    int mediaType = 0;
    int writeProtect = 0;
    std::int64_t diskSize = 0; // the header's field, which is unsigned
    std::int64_t fileSize = 0;
    // Real images may carry fewer than 164 table entries: the table ends
    // where the first track's data begins, and what follows is sector data.
    int tableEntries = d88::kMaxTracks;
    TrackState tracks[d88::kMaxTracks] = {};
    std::int32_t trackOffsets[d88::kMaxTracks] = {};
    int sameAs[d88::kMaxTracks] = {}; // a present track: the lowest with its records (itself when none)
    d88::TrackShare shares[d88::kMaxTracks] = {}; // a present track: its own records and those it shares

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
    std::int64_t stubby = 0;                        // records stored short
    std::int64_t pastLies = 0;                      // records read past a field that lied
    std::int64_t sizeLies = 0;                      // records whose data size lied
    int countLies = 0;                              // tracks whose sector counts end them early
    bool diskSizeLies = false;                      // tracks present only behind the disk size field
    std::int64_t largestTrackBytes = 0;
    int highestWithRecords = -1;
    int lowR = 256, highR = -1; // sector numbers seen
    int commonSizeCode = 1;     // the size code most records have

    bool bootFound = false;
    std::uint8_t boot[256] = {};
    zanvo::DiskKind kind = zanvo::DiskKind::Unknown;

    bool truncated() const { return !sizeFieldLies && diskSize > 0 && fileOffset + diskSize > fileSize; }
    int count(TrackState state) const;
    int highest(TrackState state) const;

    // Calls fn(flag, status, records) for each flag the disk's records carry,
    // in the order flags are told; another controller status once for each
    // value seen (status is 0 for the other flags).
    template <class Fn> void forEachFlagCount(Fn fn) const
    {
        for (const d88::SectorFlag flag : d88::kEverySectorFlag) {
            const bool other = flag == d88::SectorFlag::OtherStatus;
            for (int status = 0; status < (other ? 256 : 1); ++status) {
                const std::int64_t records = other ? otherStatuses[status] : flags[static_cast<int>(flag)];
                if (records > 0)
                    fn(flag, static_cast<std::uint8_t>(status), records);
            }
        }
    }
};

enum class Gathering {
    Whole,      // every fact was gathered
    NoHeader,   // the disk cannot be selected: only its index and offset are known
    ReadFailed, // reading met an error: nothing gathered may be shown
};

// Selects disk `index` of an open image and gathers its facts. With
// ReadFailed, `error` holds the reader's error.
Gathering gatherDisk(d88::D88Image& image, int index, TrackScan& scan, DiskFacts* facts, int* error);

// "0-79" or "0-18, 20-79" for the tracks in `state`, or that `pick` picks;
// "none" when there is none.
std::string trackRanges(const DiskFacts& disk, TrackState state);
std::string trackRanges(const std::function<bool(int)>& pick);

// Printable ASCII as it is; quote, backslash and any other byte escaped.
std::string escapeName(const std::string& raw);

// "2D", "2DD", "2HD" for the usual media bytes, "" otherwise.
const char* mediaMeaning(int mediaType);

} // namespace d88info

#endif
