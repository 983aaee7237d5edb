// What d88info learns about one disk, gathered through the record map: its
// header fields, whether it is a D88 disk, how each entry of its table
// stands, and what the records of its present tracks hold, each record
// counted once however many tracks hold it.
#ifndef D88INFO_DISK_FACTS_H
#define D88INFO_DISK_FACTS_H

#include "d88/file_kind.h"
#include "d88/record_map.h"
#include "recognition.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace d88info {

using d88::Record;

enum class TrackState : std::uint8_t {
    Absent,     // table entry 0, negative, past the table, at or past the disk's end
    Present,    // starts within the file
    PastEnd,    // the table names it, but the file ends before it starts
    IntoHeader, // the entry points into the disk header: it names no track
};

struct TrackInfo {
    TrackState state = TrackState::Absent;
    std::int32_t offset = 0; // its table entry
    d88::TrackFacts facts;   // when present
    std::int32_t shared = 0; // of its records, those a lower track lists (all, with facts.sameAs)
    // Another disk's track with the same extent, when an earlier disk of
    // the file reads it already (-1 when none).
    std::int32_t otherDisk = -1, otherTrack = -1;
};

struct DiskFacts {
    int index = 0;
    bool gathered = false; // false when the disk's header could not be read
    d88::DiskVerdict verdict;
    std::uint8_t header[d88::kDiskHeaderSize] = {};
    int sameDiskAs = -1; // an earlier disk at the same offset: the same disk
    d88::DiskLayout layout;
    std::int64_t fileOffset = 0;
    char name[d88::kDiskNameLength + 1] = {};
    int mediaType = 0;
    int writeProtect = 0;
    std::int64_t diskSize = 0; // the header's field, which is unsigned
    std::int64_t fileSize = 0;
    // Bytes from its offset to its end: its size, or where its records end
    // when the size lies.
    std::int64_t extent = 0;
    TrackInfo tracks[d88::kMaxTracks];

    // Over the records of the present tracks, each counted once.
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
    std::int64_t uncertain = 0;                     // uncertain records
    std::int64_t pastLies = 0;                      // records read past a field that lied
    std::int64_t sizeLies = 0;                      // records whose data size lied
    std::int64_t noRecordBytes = 0;                 // bytes of tracks that are no record
    int countLies = 0;                              // tracks read past a sector count field
    int noRecordLies = 0;                           // tracks read past bytes that are no record
    bool diskSizeLies = false;                      // tracks read past the disk size field
    int cutTracks = 0;                              // tracks read only up to where their candidates ran out
    std::int64_t largestTrackBytes = 0;
    int highestWithRecords = -1;
    int lowR = 256, highR = -1; // sector numbers seen
    int commonSizeCode = 1;     // the size code most records have

    bool bootFound = false;
    std::int32_t bootSizeCode = -1; // without one: track 0 sector 1's other size code, if any
    std::uint8_t boot[256] = {};
    zanvo::DiskKind kind = zanvo::DiskKind::Unknown;

    // The file ends before the disk's size says it does.
    bool truncated() const { return !layout.sizeLies && diskSize > 0 && fileOffset + diskSize > fileSize; }
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
    NoHeader,   // the disk cannot be laid out: only its index and offset are known
    ReadFailed, // reading met an error: nothing gathered may be shown
};

// What the records of one reading add to a disk's counts: the same for
// every track of every disk that reads them. Sparse by value, as a file may
// hold ten thousand readings.
struct TrackTally {
    std::int64_t flags[d88::kSectorFlagKinds] = {};
    std::vector<std::pair<std::uint8_t, std::int64_t>> sizeCodes, otherStatuses; // the values seen
    std::int64_t stubby = 0, uncertain = 0, pastLies = 0, sizeLies = 0;
    std::int64_t bytes = 0; // the size codes' sectors
    bool pastCount = false, pastNoRecord = false, pastDiskSize = false;
    int lowR = 256, highR = -1;
    std::int32_t otherBootSizeCode = -1; // of the first record C 0 H 0 R 1 not in the boot sector's size
};

// The tracks a file's disks read themselves, by extent: the first disk and
// track, in the order the disks were added, that reads each. Looked up, not
// searched, as 64 disks of 164 tracks would be 54 million comparisons. And
// the tallies of readings that several disks read: 32 disks over one run of
// 62,784 records would otherwise walk it 32 times.
class TrackOwners {
  public:
    struct Owner {
        int disk, track;
    };
    // The disk's present tracks that name no lower track, where no disk
    // added before reads the same extent. False when there is no memory.
    bool add(const DiskFacts& disk);
    // The owner of the extent [start, end), or nullptr.
    const Owner* find(std::int64_t start, std::int64_t end) const;
    // The tally of the reading numbered `reading`, or nullptr when none is kept.
    const TrackTally* tally(std::int32_t reading) const;
    // False when there is no memory.
    bool keep(std::int32_t reading, TrackTally tally);

  private:
    std::map<std::pair<std::int64_t, std::int64_t>, Owner> owners_;
    std::map<std::int32_t, TrackTally> tallies_;
};

// Lays disk `index` out and gathers its facts. With ReadFailed, `error`
// holds the reader's error. `earlier`, when given, holds the tracks of the
// file's disks before it: a track one of them reads is named, and the
// records of such a track are tallied once, walked for the first disk after
// the one that owns it and kept there for the disks after that.
Gathering gatherDisk(d88::RecordMap& map, int index, DiskFacts* facts, int* error,
                     TrackOwners* earlier = nullptr);

// The stretches of a present track's `records` records that lower tracks
// list: where each record belongs. Failed when a read fails.
d88::Outcome sharedRuns(d88::RecordMap& map, int track, std::int32_t records,
                        std::vector<d88::SharedRun>* runs);

// "0-79" or "0-18, 20-79" for the tracks in `state`, or that `pick` picks;
// "none" when there is none.
std::string trackRanges(const DiskFacts& disk, TrackState state);
std::string trackRanges(const std::function<bool(int)>& pick);

// Printable ASCII as it is; quote, backslash and any other byte escaped.
std::string escapeName(const std::string& raw);

// "2D", "2DD", "2HD", "1D", "1DD" for the media bytes the format knows, "" otherwise.
const char* mediaMeaning(int mediaType);

// "1,234,567".
std::string thousands(std::int64_t value);

} // namespace d88info

#endif
