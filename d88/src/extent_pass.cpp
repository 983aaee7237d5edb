// Weighing each candidate header of an extent, from its end back.
#include "extent_pass.h"

#include "d88/record_map.h"
#include "reading.h"

#include <algorithm>
#include <bit>

namespace d88 {

std::int64_t ExtentPass::count(FileWindow& file, std::int64_t start, std::int64_t end, std::int64_t* found)
{
    *found = 0;
    for (std::int64_t lo = start; lo < end - kSectorHeaderSize + 1; lo += kPiece) {
        const std::int64_t hi = std::min(lo + kPiece, end - kSectorHeaderSize + 1);
        const std::int64_t seen = hi - lo + kSectorHeaderSize - 1;
        const std::uint8_t* bytes = nullptr;
        if (file.view(lo, static_cast<std::int32_t>(seen), &bytes) < seen)
            return -1;
        for (std::int64_t block = lo; block < hi; block += 8)
            for (std::uint64_t m = quickMask(bytes + (block - lo), hi - block); m != 0; m &= m - 1) {
                const std::int64_t pos = block + std::countr_zero(m) / 8;
                if (RecordHeader::parse(bytes + (pos - lo)).plausible() &&
                    ++*found == RecordMap::kMaxCandidates)
                    return pos;
            }
    }
    return end;
}

void ExtentPass::weigh(std::int64_t pos, const RecordHeader& header)
{
    slide(pos);
    const std::int64_t data = pos + kSectorHeaderSize;
    const std::int64_t stepped = data + header.dataSize;
    const std::int64_t nominal = nominalSectorSize(header.id.n);
    const auto step = [&](const Target& to, bool size) {
        Worth worth = to.worth;
        const bool again = ((*to.numbers)[header.id.r >> 6] >> (header.id.r & 63)) & 1;
        worth.cost +=
            (size ? 0 : 1) + (to.count >= 0 && to.count != header.sectorCount ? 1 : 0) - (again ? 0 : 1);
        // Repeats are told up to 0x7FFF: past that, no reading is better for fewer.
        worth.repeats =
            static_cast<std::uint16_t>(std::min<std::uint32_t>(worth.repeats + (again ? 1U : 0U), 0x7FFF));
        worth.sectors = static_cast<std::uint16_t>(worth.sectors + (again ? 0 : 1));
        return worth;
    };
    // A way on that is not by the data size: where it goes and what it is worth.
    struct Way {
        std::int64_t pos = -1;
        std::uint32_t index = kToEnd;
        Worth worth;
    };
    Way way;
    bool cleanWay = false; // a way on that skips no bytes to a clean header or the end
    const auto offer = [&](std::int64_t q, std::uint32_t index, bool nearerWins, std::int64_t skipped = 0) {
        const Target to = at(index);
        const Worth worth = step(to, false);
        cleanWay = cleanWay || (skipped == 0 && to.clean);
        if (way.pos < 0 || worth.beforeOther(way.worth) ||
            (nearerWins && !way.worth.beforeOther(worth) && q < way.pos))
            way = Way{q, index, worth};
    };
    // Cut at the best clean header inside its data (of all, or of those
    // whose count agrees with this record's, as the step there weighs), or
    // at the extent's end there; or read to its size code's length when a
    // clean header, or the end, stands exactly there.
    const std::int64_t inside = std::min(stepped, end_) - 1;
    admit(pos);
    if (inside >= data) {
        const auto agreeing = chainByCount_.find(header.sectorCount);
        Chain* chains[] = {&chain_, agreeing == chainByCount_.end() ? nullptr : &agreeing->second};
        for (Chain* chain : chains)
            if (const std::uint32_t found = chain ? bestIn(*chain, inside) : kToEnd; found != kToEnd)
                offer(this->pos(found), found, true);
    }
    if (end_ < stepped)
        offer(end_, kToEnd, false);
    const std::int64_t byCode = data + nominal;
    if (nominal != header.dataSize && byCode <= end_) {
        const std::int64_t index = byCode == end_ ? -1 : indexAt(byCode, windowBase_);
        if (byCode == end_)
            offer(end_, kToEnd, false);
        else if (index >= 0 && weighed(static_cast<std::uint32_t>(index)).clean)
            offer(byCode, static_cast<std::uint32_t>(index), false);
    }
    // Or on to the nearest header past its data from which the data sizes
    // read to the extent's end (or, when none does, from which the track
    // reads on): what lies past its data size and its size code's length
    // before that header is no record.
    const std::uint32_t nearest = nearestOn(std::min(stepped, end_));
    const std::int64_t past = nearest == kToEnd ? end_ : this->pos(nearest);
    offer(past, nearest, false,
          std::max<std::int64_t>(past - (data + std::max<std::int64_t>(header.dataSize, nominal)), 0));
    const Target other = at(way.index);
    Target taken = other;
    Worth worth = way.worth;
    bool bySize = false, clean = cleanWay, sound = false;
    // By its data size, when that lands on a candidate or the extent's end.
    std::int64_t sized = sizeStep(pos, header.dataSize, end_, file_.size()) == end_ ? -2 : -1;
    if (sized == -1 && stepped < end_)
        sized = indexAt(stepped, windowBase_);
    if (sized != -1) {
        const Target target = sized == -2 ? end_target_ : at(static_cast<std::uint32_t>(sized));
        sound = sized == -2 || weighed(static_cast<std::uint32_t>(sized)).sound;
        const Worth stepping = step(target, true);
        if (!worth.before(stepping))
            worth = stepping, taken = target, bySize = true;
        clean = clean || target.clean;
    }
    const auto index = static_cast<std::uint32_t>(candidates_.size());
    const auto back = static_cast<std::uint32_t>(end_ - pos);
    Weighed mine{worth, header.sectorCount, clean, sound, back, *taken.numbers};
    mine.numbers[header.id.r >> 6] |= std::uint64_t{1} << (header.id.r & 63);
    candidates_.push_back(Candidate{back, taken.index & kToEnd, bySize});
    window_[index & (windowSize_ - 1)] = mine;
    if (clean)
        clean_.push_back(Slot{index, back});
    if (sound)
        sound_.push_back(Slot{index, back});
}

bool ExtentPass::cover(std::int64_t start, std::int64_t count)
{
    if (count > RecordMap::kMaxCandidates)
        return false;
    if (start >= covered_)
        return true;
    // Room for what the extent holds, touched only as it fills; the window
    // sized for as many candidates as a claim's reach holds at their density.
    // Uncounted (count < 0), they grow as they fill.
    if (count >= 0) {
        for (auto* list : {&clean_, &sound_})
            list->reserve(list->size() + static_cast<std::size_t>(count));
        candidates_.reserve(candidates_.size() + static_cast<std::size_t>(count));
        const std::int64_t span = std::max<std::int64_t>(end_ - start, 1);
        grow(static_cast<std::size_t>(std::min(count, count * (kLongestClaim + 1) / span + 1)));
    }
    // Backwards a piece at a time, each piece seen with the header that may
    // start at its last byte.
    for (std::int64_t hi = covered_; hi > start;) {
        const std::int64_t lo = std::max(start, hi - kPiece);
        const std::int64_t seen = std::min(hi + kSectorHeaderSize - 1, end_) - lo;
        const std::uint8_t* bytes = nullptr;
        if (seen > 0 && file_.view(lo, static_cast<std::int32_t>(seen), &bytes) < seen)
            return false;
        // Eight positions a block, from the last down.
        const std::int64_t top = std::min(hi, end_ - kSectorHeaderSize + 1); // past the last start
        for (std::int64_t block = lo + (top - lo - 1) / 8 * 8; top > lo && block >= lo; block -= 8)
            for (std::uint64_t m = quickMask(bytes + (block - lo), top - block); m != 0;) {
                const std::int32_t k = (63 - std::countl_zero(m)) / 8;
                m &= ~(0xFFULL << (8 * k));
                const RecordHeader header = RecordHeader::parse(bytes + (block + k - lo));
                if (!header.plausible())
                    continue;
                if (candidates_.size() >= static_cast<std::size_t>(RecordMap::kMaxCandidates))
                    return false;
                weigh(block + k, header);
            }
        hi = covered_ = lo;
    }
    return true;
}

} // namespace d88
