// The one map of a disk's records (d88/found_record.h says how they are
// found). Every record of the disk's area is parsed once, into one record
// type, and kept once: a track is a view into the map, its own records first
// and then, where its walk steps onto a record another track reached first,
// that track's records from there on. Disks that start at the same offset
// with the same header share one map.
//
// Past kMemoryCap the kept records are dropped and each track asked for is
// walked on its own, kept only until the next is asked for: the same
// records, without the sharing.
#ifndef D88_RECORD_MAP_H
#define D88_RECORD_MAP_H

#include "d88/found_record.h"
#include "file_window.h"

#include <cstdint>
#include <deque>
#include <vector>

namespace d88 {

// How the walk went on from a record.
enum class Step : std::uint8_t {
    BySize,    // its data size landed on a plausible header or the extent's end
    ByNominal, // its nominal size did: its data size lied
    Resync,    // neither did; a plausible header inside its claimed data did
    ByCount,   // no plausible header: the sector counts said the track goes on
    End,
};

// The size code and the sector number of a record's packed ID.
constexpr std::int32_t sizeCodeOf(std::uint32_t id)
{
    return static_cast<std::int32_t>(id >> 24);
}
constexpr std::uint8_t sectorOf(std::uint32_t id)
{
    return static_cast<std::uint8_t>(id >> 16);
}

// A record's ID packed into one word, C in the low byte, and back.
constexpr std::uint32_t packedId(const SectorId& id)
{
    return static_cast<std::uint32_t>(id.c) | (static_cast<std::uint32_t>(id.h) << 8) |
           (static_cast<std::uint32_t>(id.r) << 16) | (static_cast<std::uint32_t>(id.n) << 24);
}
constexpr SectorId unpackedId(std::uint32_t id)
{
    return SectorId{static_cast<std::uint8_t>(id), static_cast<std::uint8_t>(id >> 8),
                    static_cast<std::uint8_t>(id >> 16), static_cast<std::uint8_t>(id >> 24)};
}

// 16 bytes a record: as many records as can be are kept.
struct WalkedRecord {
    std::uint32_t offset; // of its header, from the disk's start
    std::uint32_t id;     // C | H << 8 | R << 16 | N << 24
    std::uint16_t count, size;
    std::uint8_t density, deleted, status;
    std::uint8_t how; // the step on from it, and the marks below

    static constexpr std::uint8_t kCounted = 0x10;    // reached only by a count step
    static constexpr std::uint8_t kUnverified = 0x20; // no step confirmed its size, and its count says more follow

    Step step() const { return static_cast<Step>(how & 0x0F); }
    void setStep(Step step) { how = static_cast<std::uint8_t>((how & 0xF0) | static_cast<std::uint8_t>(step)); }
    bool counted() const { return (how & kCounted) != 0; }
    bool unverified() const { return (how & kUnverified) != 0; }
};

static_assert(sizeof(WalkedRecord) == 16);

// The records a walk reached first, in stored order, then (tailRun >= 0) the
// records of run tailRun from tailFrom on.
struct Run {
    std::int64_t end = 0; // its extent's end
    std::vector<WalkedRecord> records;
    std::int32_t tailRun = -1, tailFrom = 0;
    std::int32_t owner = -1;        // the start (in ascending order) whose walk made it
    std::vector<std::uint64_t> ids; // id << 32 | ordinal, sorted: built for long runs
    // What the strict rule's facts of a view are found by, once the run is
    // walked: the ordinals whose step did not follow the data size, those
    // whose count is 0, and (ordinal - count + 1, ordinal) for the others,
    // each sorted; the records of the run and its tails.
    bool indexed = false;
    std::vector<std::int32_t> nominals, zeros;
    std::vector<std::pair<std::int32_t, std::int32_t>> enders;
    std::int32_t chainLength = -1;
};

// For each sector number, how many records of a view carry it (0, 1, or 2
// for more) and the index in the view of the first.
struct SectorTable {
    std::uint8_t count[256];
    std::int32_t first[256];
};

// A track's records: run `run` from record `from` on, through its tails.
// The facts the strict rule needs are counted along the view, from the
// track's first record.
struct TrackView {
    std::int32_t run = -1, from = 0;
    std::int32_t length = -1; // records in the view; -1 until counted
    // The records a strict lookup from the track's start examines, all
    // within the view: -1 when the strict walk leaves it. The record whose
    // count ends it (-1 none), and the first whose step did not follow its
    // data size, with the bytes it holds.
    std::int32_t strictSeen = -1, countEnd = -1, firstNominal = -1;
    WalkedRecord ender{}, liar{};
    std::int32_t liarStored = 0;
};

class RecordMap;

// Moves through a view's records in stored order.
class ViewCursor {
  public:
    ViewCursor(const RecordMap& map, std::int32_t run, std::int32_t from);
    bool done() const { return run_ < 0; }
    const WalkedRecord& record() const;
    std::int32_t run() const { return run_; }
    // The offset of the record after this one in the view, -1 when none.
    std::int64_t nextOffset() const;
    void next();

  private:
    void settle();
    const RecordMap* map_;
    std::int32_t run_, at_;
};

// What the layout is made from: the selected disk as its header gives it.
struct DiskFrame {
    std::int64_t base = 0;
    std::int32_t diskSize = 0;
    std::int64_t fileSize = 0;
    const std::int32_t* offsets = nullptr; // kMaxTracks table entries
    std::int32_t entries = 0;              // how many are entries (D88Image::tableEntries)
};

class RecordMap {
  public:
    // What the kept records may cost, leaving room under 64 MiB for the
    // rest of a program.
    static constexpr std::int64_t kMemoryCap = 48 << 20;

    // A new file: nothing read from another is kept.
    void forget();
    // The selected disk's tracks: their standing, starts, the extents' bound
    // and whether the disk size field lies. Reads headers and walks tracks
    // where the disk size must be checked.
    void layOut(FileWindow& file, const DiskFrame& frame);

    TrackStanding standing(std::int32_t track) const;
    // The lowest track whose records are this track's (the same start).
    std::int32_t firstWithSameStart(std::int32_t track) const;
    // Whether the disk size field lies, and where the disk then ends: where
    // the records of its last track end.
    bool diskSizeLies(FileWindow& file);
    std::int64_t diskEnd(FileWindow& file);

    // The view of a present track; false when it is not present, or memory
    // or a read failed (the window holds the error). Its runs stay valid
    // until the next call of view(), layOut() or forget().
    bool view(FileWindow& file, std::int32_t track, TrackView* out);
    const Run& run(std::int32_t index) const { return runs_[static_cast<std::size_t>(index)]; }
    std::int64_t base() const { return frame_.base; }
    // The first record of the view with this ID: its index in the view, and
    // where it is; false when there is none.
    bool find(const TrackView& view, std::uint32_t id, std::int32_t* index, ViewCursor* at);
    // The bytes the record at `at` gives: its data size, its nominal size
    // where that lied, up to the next record where it was stored short;
    // fewer where the file ends.
    std::int32_t available(const ViewCursor& at) const;
    // Whether the record at `at` gives fewer bytes than its data size says
    // because the next record, or the next track, starts inside them.
    bool storedShort(const ViewCursor& at) const;

    // The lowest track whose start made run `index`, and so views the run
    // from its first record; -1 when none.
    std::int32_t ownerTrack(std::int32_t index) const;
    // The sector numbers of the track's view; false as view() is.
    bool sectorTable(FileWindow& file, std::int32_t track, SectorTable* out);
    // A cursor at record `index` of a view, reached run by run.
    ViewCursor seek(const TrackView& view, std::int32_t index);

    // Why only the found records reach record `index` of the track's view.
    Lie lieBefore(const TrackView& view, std::int32_t track, std::int32_t index, const WalkedRecord& rec) const;

  private:
    struct Slot {
        std::uint32_t key = 0; // offset + 1; 0 when empty
        std::uint32_t value = 0; // run << 16 | ordinal
    };

    std::int64_t extentOf(FileWindow& file, std::size_t at);
    std::int32_t walkRun(FileWindow& file, std::int64_t start, std::int64_t end, bool share);
    void walkOn(FileWindow& file, std::int32_t runIndex, std::int64_t end, bool share);
    bool goesOnPast(FileWindow& file, const Run& run, std::int64_t wider);
    bool resync(FileWindow& file, const WalkedRecord& rec, std::int32_t index, std::int64_t end,
                const std::uint8_t* seen, std::int64_t* next, int depth);
    std::int32_t firstTrackAt(std::int64_t start) const;
    void finishView(TrackView* view);
    void keepPositions(std::int32_t runIndex, std::size_t from);
    bool findPosition(std::int64_t pos, std::uint32_t* value) const;
    void growPositions();
    void dropRuns();
    bool lieCheck(FileWindow& file);
    void sortIds(Run& run);
    void indexRun(Run& run);
    std::int32_t chainLength(std::int32_t run);
    void buildTables(FileWindow& file);

    // The selected disk.
    DiskFrame frame_;
    std::int64_t bound(FileWindow& file);
    std::int64_t bound_ = 0; // where the last track's extent ends at most
    std::int64_t limit_ = 0; // where it ends when the disk size lies
    bool sizeLies_ = false;
    bool liesKnown_ = false; // told when first needed, where it decides no track's standing
    std::int64_t diskEnd_ = -1;
    TrackStanding standing_[kMaxTracks] = {};
    std::int64_t start_[kMaxTracks] = {};
    std::vector<std::int64_t> starts_;  // distinct starts of present tracks, ascending
    std::vector<std::int64_t> extents_; // for each start, its extent's end once known
    std::vector<TrackView> startViews_; // for each start, its view once known
    std::size_t laidOut_ = 0;           // starts whose extents are known
    std::int64_t covered_ = 0;          // up to where a walk owns the starts below it

    // The map.
    std::deque<Run> runs_;
    std::vector<Slot> positions_; // every kept record's offset, by open addressing
    std::size_t positionCount_ = 0;
    bool lone_ = false;   // past the cap: each track walked on its own
    bool overCap_ = false; // a shared walk stopped at the cap
    std::int64_t loneStart_ = -1; // past the cap: the start walked last, and its view
    TrackView loneView_;
    std::int64_t resyncBudget_ = 0;
    // Sector tables of the tracks' views, made when first asked for.
    std::vector<SectorTable> tables_;   // one for each start
    bool tablesMade_ = false;
};

} // namespace d88

#endif
