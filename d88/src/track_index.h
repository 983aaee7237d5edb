// The found records of the selected disk's tracks (d88/found_record.h says
// how they are found): where each track's extent ends, and each distinct
// walk of records, read once and kept while memory allows. Walks are keyed
// by their start and extent end in the file, so tracks and disks that share
// a walk share it here too. Past kMemoryCap the kept walks are dropped and
// rebuilt as tracks are asked for: the same answers, more slowly.
#ifndef D88_TRACK_INDEX_H
#define D88_TRACK_INDEX_H

#include "d88/found_record.h"
#include "file_window.h"

#include <cstdint>
#include <deque>
#include <unordered_map>
#include <vector>

namespace d88 {

// How the walk went on from a record.
enum class Step : std::uint8_t { BySize, ByNominal, ByCount, End };

// 16 bytes a record: as many records as can be are kept.
struct WalkedRecord {
    std::uint32_t offset; // of its header, from the walk's start (positions stay below 4 GiB)
    std::uint32_t id;     // C | H << 8 | R << 16 | N << 24
    std::uint16_t count, size;
    std::uint8_t density, deleted, status;
    Step step;
};

static_assert(sizeof(WalkedRecord) == 16);

struct Walk {
    std::int64_t start = 0, end = 0; // its first header and its extent's end
    std::vector<WalkedRecord> records;
    // The records a strict lookup from `start` examines, all within this
    // walk: -1 when the strict walk leaves it (a data size that lied, or
    // counts that run on past it).
    std::int32_t strictSeen = -1;
    // Where the strict rule stops short of the found records: the record
    // whose count ends it (-1 none), and the first whose data size lied.
    std::int32_t countEnd = -1, firstNominal = -1;
    std::vector<std::uint32_t> ids; // hash of first index + 1 by ID, built for long walks

    std::int64_t posOf(const WalkedRecord& record) const { return start + record.offset; }
};

// What the layout is made from: the selected disk as its header gives it.
struct DiskFrame {
    std::int64_t base = 0;
    std::int32_t diskSize = 0;
    std::int64_t fileSize = 0;
    const std::int32_t* offsets = nullptr; // kMaxTracks table entries
    std::int32_t entries = 0;              // how many are entries (D88Image::tableEntries)
};

class TrackIndex {
  public:
    static constexpr std::int64_t kMemoryCap = 64 << 20;

    // A new file: nothing read from another is kept.
    void forget();
    // The selected disk's tracks: their standing, starts and the extent's bound.
    void layOut(const DiskFrame& frame);

    TrackStanding standing(std::int32_t track) const;
    // The lowest track whose records are this track's (the same start).
    std::int32_t firstWithSameStart(std::int32_t track) const;
    // The walk of a present track; nullptr when none is present or memory
    // or a read failed (the window holds the error). Valid until the next
    // call.
    const Walk* walk(FileWindow& file, std::int32_t track);
    // The first record of the walk with this ID, or -1.
    static std::int32_t find(const Walk& walk, std::uint32_t id);
    // Why only the found records reach record `index` of the walk.
    Lie lieBefore(const Walk& walk, std::int32_t track, std::int32_t index) const;

  private:
    struct Key {
        std::int64_t start, end;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        std::size_t operator()(const Key& key) const
        {
            return std::hash<std::int64_t>()(key.start * 1000003 ^ key.end);
        }
    };

    std::int64_t extentOf(FileWindow& file, std::int32_t track);
    const Walk* keep(FileWindow& file, Walk&& walk);
    void dropWalks();

    // The selected disk.
    DiskFrame frame_;
    std::int64_t bound_ = 0; // where the last track's extent ends at most
    bool diskSizeLies_ = false;
    TrackStanding standing_[kMaxTracks] = {};
    std::int64_t start_[kMaxTracks] = {};
    std::vector<std::int64_t> starts_;  // distinct starts of present tracks, ascending
    std::vector<std::int64_t> extents_; // for each start, its extent's end once known
    std::size_t laidOut_ = 0;           // starts whose extents are known
    std::int64_t covered_ = 0;          // up to where a walk owns the starts below it

    // Kept walks, for every disk of the file.
    std::deque<Walk> walks_; // a deque: keeping one never moves another
    std::unordered_map<Key, std::size_t, KeyHash> byKey_;
    std::int64_t memory_ = 0;
    Walk scratch_; // a walk kept only until the next, past the cap or a read error
};

} // namespace d88

#endif
