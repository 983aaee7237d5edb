// The backward pass over one extent: every candidate header weighed, from
// the extent's end back to its start, so that the best way on from each is
// known when the pass reaches it (record_map.h states the order).
//
// From a record the reading goes on in one of three ways: by its data size,
// when that lands on a candidate or the extent's end; else cut short at the
// best header inside what it claims (the larger of its data size and its size
// code's sector) from which the track reads on without skipping bytes, or at
// the extent's end when that lies inside; else, when no such header is
// inside, over the bytes past its claim to the nearest such header (or the
// extent's end), which are then no record. Skipping bytes never passes over a
// header that reads on, and a cut never lets a record swallow one it could
// stop at.
#ifndef D88_EXTENT_PASS_H
#define D88_EXTENT_PASS_H

#include "file_window.h"

#include <array>
#include <cstdint>
#include <deque>
#include <unordered_map>
#include <vector>

namespace d88 {

// How good the best reading on from a header is, in the order of the rule:
// the fewest fields read otherwise than they say (data sizes not stepped by,
// sector counts unlike the next record's), then the fewest sector numbers
// that come again; the data size's step, then the nearest header, break what
// ties remain.
struct Worth {
    std::uint32_t lies = 0;    // ways on that are not by the data size
    std::uint16_t changes = 0; // sector count fields unlike the next record's
    std::uint16_t repeats = 0; // records whose sector number comes again
    bool before(const Worth& other) const
    {
        const std::uint64_t mine = std::uint64_t{lies} + changes,
                            theirs = std::uint64_t{other.lies} + other.changes;
        if (mine != theirs)
            return mine < theirs;
        return repeats < other.repeats;
    }
};

inline constexpr std::uint32_t kToEnd = 0xFFFFFFFF;   // the extent's end
inline constexpr std::uint32_t kNowhere = 0xFFFFFFFE; // no candidate

struct Candidate {
    std::int64_t pos;
    Worth worth;
    std::uint32_t next;     // the candidate the best reading goes on to, or kToEnd
    std::uint32_t sizeNext; // the candidate its data size steps to, kToEnd, or kNowhere
    std::uint16_t count;
    bool bySize;
    bool clean; // a reading on from it reaches the extent's end skipping no bytes
};

class ExtentPass {
  public:
    ExtentPass(FileWindow& file, std::int64_t start, std::int64_t end) : file_(file), start_(start), end_(end)
    {
    }

    // Weighs every candidate. False when a read fails or there are more than
    // RecordMap::kMaxCandidates.
    bool run();
    // By descending position.
    const std::vector<Candidate>& candidates() const { return candidates_; }
    // The candidate at `pos`, or -1.
    std::int64_t indexAt(std::int64_t pos) const;
    // Where a reading whose extent starts with no header begins: the nearest
    // clean candidate, else the nearest; -1 when there is none.
    std::int64_t firstAfterStart() const;

  private:
    using Numbers = std::array<std::uint64_t, 4>;
    struct Target {
        std::uint32_t index = kToEnd;
        Worth worth;
        Numbers numbers{};
        std::int32_t count = -1; // -1: agrees with any count
        bool clean = true;
    };

    // Clean candidates by descending position, with a tree of the best of
    // each range of them.
    struct CleanSet {
        std::vector<std::uint32_t> members;
        std::vector<std::uint32_t> tree;
        std::size_t leaves = 0;
    };

    void weigh(std::int64_t pos, const std::uint8_t* bytes);
    Target targetAt(std::uint32_t index) const;
    // The best clean candidate of `set` in [from, to], or kToEnd.
    std::uint32_t bestIn(const CleanSet& set, std::int64_t from, std::int64_t to) const;
    // The nearest clean candidate past `after`, or kToEnd.
    std::uint32_t nearestClean(std::int64_t after) const;
    bool better(std::uint32_t a, std::uint32_t b) const;
    void add(CleanSet& set, std::uint32_t index);

    FileWindow& file_;
    std::int64_t start_, end_;
    std::vector<Candidate> candidates_;
    // The sector numbers of the readings on from the candidates that a
    // record's claim can still reach (those since numbersBase_), and of the
    // nearest clean candidate beyond them.
    std::deque<Numbers> numbers_;
    std::size_t numbersBase_ = 0;
    Target beyond_;
    // The extent's end, as the way on from a track's last record: its count
    // is to agree with the track's first record's, when there is one.
    Target end_target_;
    // Every clean candidate, and those of each sector count: the best way on
    // may be one whose count agrees with the record's.
    CleanSet clean_;
    std::unordered_map<std::uint16_t, CleanSet> cleanByCount_;
};

} // namespace d88

#endif
