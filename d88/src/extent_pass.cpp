#include "extent_pass.h"

#include "d88/record_map.h"
#include "reading.h"

#include <algorithm>

namespace d88 {

namespace {

// The farthest a record's claim reaches past its header: its data size, or
// its size code's sector, whichever is larger.
constexpr std::int64_t kLongestClaim = kSectorHeaderSize + 0xFFFF;

std::uint16_t plus16(std::uint16_t a, std::uint32_t b)
{
    return static_cast<std::uint16_t>(std::min<std::uint32_t>(a + b, 0xFFFF));
}

} // namespace

std::int64_t ExtentPass::indexAt(std::int64_t pos) const
{
    const auto it = std::lower_bound(candidates_.begin(), candidates_.end(), pos,
                                     [](const Candidate& c, std::int64_t p) { return c.pos > p; });
    return it != candidates_.end() && it->pos == pos ? it - candidates_.begin() : -1;
}

std::int64_t ExtentPass::firstAfterStart() const
{
    if (!clean_.members.empty())
        return clean_.members.back();
    return candidates_.empty() ? -1 : static_cast<std::int64_t>(candidates_.size() - 1);
}

ExtentPass::Target ExtentPass::targetAt(std::uint32_t index) const
{
    const Candidate& c = candidates_[index];
    return Target{index, c.worth, numbers_[index - numbersBase_], c.count, c.clean};
}

bool ExtentPass::better(std::uint32_t a, std::uint32_t b) const
{
    if (a == kToEnd || b == kToEnd)
        return b == kToEnd;
    const Candidate &x = candidates_[a], &y = candidates_[b];
    if (x.worth.before(y.worth) || y.worth.before(x.worth))
        return x.worth.before(y.worth);
    return x.pos < y.pos;
}

void ExtentPass::add(CleanSet& set, std::uint32_t index)
{
    set.members.push_back(index);
    const auto pick = [this](std::uint32_t a, std::uint32_t b) { return better(a, b) ? a : b; };
    if (set.members.size() > set.leaves) {
        set.leaves = std::max<std::size_t>(16, 2 * set.leaves);
        set.tree.assign(2 * set.leaves, kToEnd);
        std::copy(set.members.begin(), set.members.end(),
                  set.tree.begin() + static_cast<std::ptrdiff_t>(set.leaves));
        for (std::size_t i = set.leaves - 1; i > 0; --i)
            set.tree[i] = pick(set.tree[2 * i], set.tree[2 * i + 1]);
        return;
    }
    std::size_t i = set.leaves + set.members.size() - 1;
    set.tree[i] = index;
    for (i /= 2; i > 0; i /= 2)
        set.tree[i] = pick(set.tree[2 * i], set.tree[2 * i + 1]);
}

std::uint32_t ExtentPass::bestIn(const CleanSet& set, std::int64_t from, std::int64_t to) const
{
    if (from > to)
        return kToEnd;
    // Members descend: [lo, hi) are those at most `to` and at least `from`.
    const auto first = [&](auto keep) {
        return static_cast<std::size_t>(std::partition_point(set.members.begin(), set.members.end(), keep) -
                                        set.members.begin());
    };
    const std::size_t lo = first([&](std::uint32_t i) { return candidates_[i].pos > to; });
    const std::size_t hi = first([&](std::uint32_t i) { return candidates_[i].pos >= from; });
    std::uint32_t best = kToEnd;
    for (std::size_t l = lo + set.leaves, h = hi + set.leaves; l < h; l /= 2, h /= 2) {
        if (l & 1) {
            if (better(set.tree[l], best))
                best = set.tree[l];
            ++l;
        }
        if (h & 1) {
            --h;
            if (better(set.tree[h], best))
                best = set.tree[h];
        }
    }
    return best;
}

std::uint32_t ExtentPass::nearestClean(std::int64_t after) const
{
    const auto& members = clean_.members;
    const auto it = std::partition_point(members.begin(), members.end(),
                                         [&](std::uint32_t i) { return candidates_[i].pos > after; });
    return it == members.begin() ? kToEnd : *(it - 1);
}

void ExtentPass::weigh(std::int64_t pos, const std::uint8_t* bytes)
{
    const RecordHeader header = RecordHeader::parse(bytes);
    // Sector numbers are kept only as far as a claim from here reaches, and
    // for the nearest clean candidate beyond.
    for (; numbersBase_ < candidates_.size() && candidates_[numbersBase_].pos > pos + kLongestClaim;
         ++numbersBase_) {
        if (candidates_[numbersBase_].clean)
            beyond_ = targetAt(static_cast<std::uint32_t>(numbersBase_));
        numbers_.pop_front();
    }
    const auto at = [this](std::uint32_t index) {
        if (index == kToEnd)
            return end_target_;
        return index >= numbersBase_ ? targetAt(index) : beyond_;
    };
    const std::int64_t data = pos + kSectorHeaderSize;
    const std::int64_t stepped = data + header.dataSize;
    const std::int64_t nominal = nominalSectorSize(header.id.n);

    Target bySize = end_target_;
    bool sizeGoes = sizeStep(pos, header, end_, file_.size()) == end_;
    if (!sizeGoes && stepped < end_) {
        const std::int64_t index = indexAt(stepped);
        if ((sizeGoes = index >= 0))
            bySize = targetAt(static_cast<std::uint32_t>(index));
    }
    const auto step = [&](const Target& to, bool size) {
        Worth worth = to.worth;
        worth.lies += size ? 0 : 1;
        worth.changes = plus16(worth.changes, to.count >= 0 && to.count != header.sectorCount ? 1 : 0);
        const bool again = (to.numbers[header.id.r >> 6] >> (header.id.r & 63)) & 1;
        worth.repeats = plus16(worth.repeats, again ? 1 : 0);
        return worth;
    };
    const auto atEnd = [&](std::int64_t q) {
        return q == end_ ? end_target_ : at(static_cast<std::uint32_t>(indexAt(q)));
    };
    // Read otherwise: cut at the best clean header inside its data (of all,
    // or of those whose count agrees with this record's, as the step there
    // weighs), or at the extent's end there; or read to its size code's
    // length when a clean header, or the end, stands exactly there.
    const std::int64_t inside = std::min(stepped, end_) - 1;
    std::uint32_t best = kToEnd;
    const auto weighs = [&](std::uint32_t index) { return step(at(index), false); };
    const auto agreeing = cleanByCount_.find(header.sectorCount);
    const CleanSet* sets[] = {&clean_, agreeing == cleanByCount_.end() ? nullptr : &agreeing->second};
    for (const CleanSet* set : sets) {
        if (!set)
            continue;
        const std::uint32_t found = bestIn(*set, data, inside);
        if (found != kToEnd &&
            (best == kToEnd || weighs(found).before(weighs(best)) ||
             (!weighs(best).before(weighs(found)) && candidates_[found].pos < candidates_[best].pos)))
            best = found;
    }
    std::int64_t next = best == kToEnd ? -1 : candidates_[best].pos;
    const auto offer = [&](std::int64_t q) {
        if (next < 0 || step(atEnd(q), false).before(step(atEnd(next), false)))
            next = q;
    };
    if (end_ < stepped)
        offer(end_);
    const std::int64_t byCode = data + nominal;
    if (nominal != header.dataSize && byCode <= end_ &&
        (byCode == end_ ||
         (indexAt(byCode) >= 0 && candidates_[static_cast<std::size_t>(indexAt(byCode))].clean)))
        offer(byCode);
    // Else on to the nearest clean header past its data: what lies past its
    // data size and its size code's length before that header is no record.
    std::int64_t skipped = 0;
    if (next < 0) {
        const std::uint32_t nearest = nearestClean(std::min(stepped, end_));
        next = nearest == kToEnd ? end_ : candidates_[nearest].pos;
        skipped = std::max<std::int64_t>(next - (data + std::max<std::int64_t>(header.dataSize, nominal)), 0);
    }
    const Target other = atEnd(next);
    Candidate c{pos,
                step(other, false),
                other.index,
                sizeGoes ? bySize.index : kNowhere,
                header.sectorCount,
                false,
                skipped == 0 && other.clean};
    const Target* taken = &other;
    if (sizeGoes) {
        const Worth worth = step(bySize, true);
        if (!c.worth.before(worth)) {
            c = Candidate{pos, worth, bySize.index, bySize.index, header.sectorCount, true, bySize.clean};
            taken = &bySize;
        }
        c.clean = c.clean || bySize.clean;
    }
    Numbers mine = taken->numbers;
    mine[header.id.r >> 6] |= std::uint64_t{1} << (header.id.r & 63);
    candidates_.push_back(c);
    numbers_.push_back(mine);
    if (c.clean) {
        const auto index = static_cast<std::uint32_t>(candidates_.size() - 1);
        add(clean_, index);
        add(cleanByCount_[c.count], index);
    }
}

bool ExtentPass::run()
{
    // A track's counts agree around its reading: the last record's with
    // the first's.
    const std::uint8_t* first = nullptr;
    if (start_ + kSectorHeaderSize <= end_ &&
        file_.view(start_, kSectorHeaderSize, &first) == kSectorHeaderSize) {
        const RecordHeader header = RecordHeader::parse(first);
        if (header.plausible())
            end_target_.count = header.sectorCount;
    }
    // Backwards through the extent a piece at a time, each piece seen with the
    // header that may start at its last byte.
    constexpr std::int64_t kPiece = 48 * 1024;
    for (std::int64_t hi = end_; hi > start_;) {
        const std::int64_t lo = std::max(start_, hi - kPiece);
        const std::int64_t seen = std::min(hi + kSectorHeaderSize - 1, end_) - lo;
        const std::uint8_t* bytes = nullptr;
        if (seen > 0 && file_.view(lo, static_cast<std::int32_t>(seen), &bytes) < seen)
            return false;
        for (std::int64_t pos = std::min(hi, end_ - kSectorHeaderSize + 1) - 1; pos >= lo; --pos) {
            const std::uint8_t* at = bytes + (pos - lo);
            // The quick tests first: most bytes of data fail them.
            if ((at[kDensityOffset] != 0x00 && at[kDensityOffset] != 0x40) || at[3] > kMaxStorableSizeCode)
                continue;
            if (!RecordHeader::parse(at).plausible())
                continue;
            if (candidates_.size() >= static_cast<std::size_t>(RecordMap::kMaxCandidates))
                return false;
            weigh(pos, at);
            // Weighing looks at no other bytes: the piece stays in view.
        }
        hi = lo;
    }
    return true;
}

} // namespace d88
