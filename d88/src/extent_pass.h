// The backward pass over one extent: every candidate header weighed, from
// the extent's end back to its start, so that the best way on from each is
// known when the pass reaches it. record_map.h states the rule.
#ifndef D88_EXTENT_PASS_H
#define D88_EXTENT_PASS_H

#include "d88/layout.h"
#include "file_window.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <vector>

namespace d88 {

// How good the best reading on from a header is, by the order record_map.h
// states: before() weighs its first two steps, beforeOther() also the third's
// sector numbers, between ways that are not the data size's step.
struct Worth {
    std::int32_t cost = 0;     // fields read otherwise, less the sector numbers found
    std::uint16_t repeats = 0; // records whose sector number comes again (at most 0x7FFF told)
    std::uint16_t sectors = 0; // sector numbers found
    bool before(const Worth& other) const
    {
        return cost != other.cost ? cost < other.cost : repeats < other.repeats;
    }
    // Between two ways on that are not the data size's step.
    bool beforeOther(const Worth& other) const
    {
        return before(other) || (!other.before(*this) && sectors > other.sectors);
    }
};

inline constexpr std::uint32_t kToEnd = 0x7FFFFFFF; // the extent's end

// What a pass keeps of a weighed header: 8 bytes, as it may hold two
// million. Its place is told as its distance back from the extent's end.
struct Candidate {
    std::uint32_t back;
    std::uint32_t next : 31;  // the candidate the best reading goes on to, or kToEnd
    std::uint32_t bySize : 1; // that is by its data size
};

class ExtentPass {
  public:
    // The pass over the extents that end at `end` and whose first record's
    // sector count is `endCount` (-1: none): the best way on from a header
    // depends on nothing before it, so one pass serves every such extent
    // from where it has reached.
    ExtentPass(FileWindow& file, std::int64_t end, std::int32_t endCount) : file_(file)
    {
        restart(end, endCount);
    }
    // The same for another end and count, keeping the memory already held:
    // nothing of the last extent is read again.
    void restart(std::int64_t end, std::int32_t endCount);
    ExtentPass(const ExtentPass&) = delete; // its targets point into it
    ExtentPass& operator=(const ExtentPass&) = delete;

    // The quick tests for the `n` positions from `bytes` (at most 8) in one
    // go: bit 8k + 7 is set where `bytes + k` passes them. Reads 14 bytes.
    static std::uint64_t quickMask(const std::uint8_t* bytes, std::int64_t n)
    {
        constexpr std::uint64_t kLow = 0x7F7F7F7F7F7F7F7F, kOnes = 0x0101010101010101;
        // Byte k in bits 8k to 8k + 7: one load where the host is little-endian.
        const auto word = [bytes](std::int32_t at) {
            std::uint64_t w = 0, loaded = 0;
            std::memcpy(&loaded, bytes + at, sizeof loaded);
            if constexpr (std::endian::native == std::endian::little)
                return loaded;
            for (std::int32_t i = 0; i < 8; ++i, loaded >>= 8)
                w = w << 8 | (loaded & 0xFF);
            return w;
        };
        // A byte's top bit is left clear where it is zero, or below 9.
        const auto zero = [](std::uint64_t w) { return ~(((w & kLow) + kLow) | w) & ~kLow; };
        const std::uint64_t d = word(kDensityOffset), n3 = word(3);
        const std::uint64_t sizeCode =
            ~(((n3 & kLow) + (0x80 - kMaxStorableSizeCode - 1) * kOnes) | n3) & ~kLow;
        return (zero(d) | zero(d ^ kOnes) | zero(d ^ 0x40 * kOnes)) & sizeCode &
               (n >= 8 ? ~0ULL : (1ULL << (8 * n)) - 1);
    }
    // The candidates of [start, end), counted forward up to the most a
    // reading weighs: their count, and the end of what is read (where that
    // most is reached, else `end`). -1 when a read fails.
    static std::int64_t count(FileWindow& file, std::int64_t start, std::int64_t end, std::int64_t* found);
    // Weighs every candidate from `start` on not yet weighed, `count` of them at most (-1: not
    // counted, fewer than the cap). False when a read fails or there are more than kMaxCandidates.
    bool cover(std::int64_t start, std::int64_t count);
    std::int64_t end() const { return end_; }
    std::int64_t covered() const { return covered_; } // weighed from here to the end
    std::int32_t endCount() const { return end_target_.count; }
    // By descending position.
    const std::vector<Candidate>& candidates() const { return candidates_; }
    std::int64_t pos(std::uint32_t index) const { return end_ - candidates_[index].back; }
    // The candidate at `pos`, or -1, searched from index `from` on: every
    // candidate a claim from the header being weighed reaches is in the window.
    std::int64_t indexAt(std::int64_t pos, std::size_t from = 0) const;
    // Where a reading whose extent starts at `start` with no header begins:
    // the nearest sound candidate, else the nearest clean one, else the
    // nearest; -1 when there is none.
    std::int64_t firstAfter(std::int64_t start) const;

    // The most bytes a pass weighs uncounted.
    static constexpr std::int64_t kUncounted = 64 * 1024;
    // The longest extent a pass weighs.
    static constexpr std::int64_t kMaxSpan = 0xFFFFFFFF;

  private:
    // The farthest a record's claim reaches past its header: its data size,
    // or its size code's sector, whichever is larger.
    static constexpr std::int64_t kLongestClaim = kSectorHeaderSize + 0xFFFF;
    static constexpr std::int64_t kPiece = 48 * 1024; // the bytes viewed at once
    using Numbers = std::array<std::uint64_t, 4>;
    // What the pass holds of a candidate while a claim can still reach it.
    // Kept together, as the weighing of a header looks at each of them.
    // Left unset until weighed: the window's ring is only read where the pass has written.
    struct Weighed {
        Worth worth;
        std::uint16_t count;
        bool clean;
        bool sound; // the data sizes alone read on from it to the extent's end
        std::uint32_t back;
        Numbers numbers; // the sector numbers of the best reading on from it
    };
    struct Slot {
        std::uint32_t index = kToEnd;
        std::uint32_t back = 0;
    };
    // A way on: to a candidate, or to the extent's end.
    struct Target {
        std::uint32_t index = kToEnd;
        Worth worth;
        const Numbers* numbers = nullptr;
        std::int32_t count = -1; // -1: agrees with any count
        bool clean = true;
    };

    // The clean candidates a record's claim may be cut at, kept as a chain
    // in which each is better than every one nearer the pass than it: the
    // best of those at most some position is then the farthest of the chain
    // still at most it. Each candidate joins once past the header it would
    // cut (pending_ holds those still too near), and leaves once past the
    // window.
    struct Link {
        std::int64_t pos;
        std::uint32_t index;
    };
    struct Chain {
        std::vector<Link> links;
        std::size_t from = 0;
    };

    void weigh(std::int64_t pos, const RecordHeader& header);
    // Drops the candidates that no claim from `pos` can reach from the window.
    void slide(std::int64_t pos);
    // Makes the window's ring hold at least `live` candidates.
    void grow(std::size_t live);
    const Weighed& weighed(std::uint32_t index) const { return window_[index & (windowSize_ - 1)]; }
    // The way on at candidate `index` (or the extent's end), for a candidate
    // whose claim can reach it.
    Target at(std::uint32_t index) const;
    // The best candidate of `chain` at most `to`, or kToEnd.
    std::uint32_t bestIn(Chain& chain, std::int64_t to);
    void trim(Chain& chain);
    // The nearest sound candidate past `after`, else the nearest clean one,
    // or kToEnd.
    std::uint32_t nearestOn(std::int64_t after) const;
    bool better(std::uint32_t a, std::uint32_t b) const;
    void join(Chain& chain, std::uint32_t index);
    // Lets the pending candidates at least a header past `pos` join.
    void admit(std::int64_t pos);

    FileWindow& file_;
    std::int64_t end_ = 0;
    std::int64_t covered_ = 0; // weighed from here to end_
    std::vector<Candidate> candidates_;
    // The candidates a record's claim can still reach (those since
    // windowBase_), by index modulo its size (a power of two); the nearest
    // clean candidate beyond them; the extent's end, as the way on from a
    // track's last record: its count is to agree with the track's first
    // record's, when there is one.
    std::unique_ptr<Weighed[]> window_;
    std::size_t windowSize_ = 0;
    std::size_t windowBase_ = 0;
    std::int64_t windowLimit_ = 0; // the farthest position still in the window
    Target beyond_, beyondSound_;
    Numbers beyondNumbers_{}, beyondSoundNumbers_{};
    Target end_target_;
    Numbers none_{};
    // Every clean and every sound candidate by descending position; the clean
    // ones the chains are yet to take; the chain of all and those of each
    // sector count: the best way on may be one whose count agrees with the
    // record's.
    std::vector<Slot> clean_, sound_;
    std::size_t pending_ = 0;
    Chain chain_;
    std::unordered_map<std::uint16_t, Chain> chainByCount_;
};

} // namespace d88

#endif
