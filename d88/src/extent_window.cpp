// What a pass keeps of the candidates it has weighed: where each stands,
// the window of those a claim can still reach (their worth and sector
// numbers), the chains of the best clean ones a record may be cut at, and
// the lists of clean and sound ones a skip may go to.
#include "extent_pass.h"

#include <algorithm>

namespace d88 {

std::int64_t ExtentPass::indexAt(std::int64_t pos, std::size_t from) const
{
    if (pos > end_ || end_ - pos > kMaxSpan)
        return -1;
    const auto back = static_cast<std::uint32_t>(end_ - pos);
    const auto it =
        std::lower_bound(candidates_.begin() + static_cast<std::ptrdiff_t>(from), candidates_.end(), back,
                         [](const Candidate& c, std::uint32_t b) { return c.back < b; });
    return it != candidates_.end() && it->back == back ? it - candidates_.begin() : -1;
}

std::int64_t ExtentPass::firstAfter(std::int64_t start) const
{
    if (const std::uint32_t on = nearestOn(start - 1); on != kToEnd)
        return on;
    const auto it = std::partition_point(candidates_.begin(), candidates_.end(),
                                         [&](const Candidate& c) { return end_ - c.back >= start; });
    return it == candidates_.begin() ? -1 : it - candidates_.begin() - 1;
}

ExtentPass::Target ExtentPass::at(std::uint32_t index) const
{
    if (index == kToEnd)
        return end_target_;
    if (index < windowBase_)
        return index == beyondSound_.index ? beyondSound_ : beyond_;
    const Weighed& w = weighed(index);
    return Target{index, w.worth, &w.numbers, w.count, w.clean};
}

bool ExtentPass::better(std::uint32_t a, std::uint32_t b) const
{
    if (a == kToEnd || b == kToEnd)
        return b == kToEnd;
    const Weighed &x = weighed(a), &y = weighed(b);
    return x.worth.beforeOther(y.worth) || (!y.worth.beforeOther(x.worth) && x.back > y.back);
}

void ExtentPass::trim(Chain& chain)
{
    while (chain.from < chain.links.size() && chain.links[chain.from].pos > windowLimit_)
        ++chain.from;
    if (chain.from > 64 && chain.from > chain.links.size() / 2) {
        chain.links.erase(chain.links.begin(), chain.links.begin() + static_cast<std::ptrdiff_t>(chain.from));
        chain.from = 0;
    }
}

void ExtentPass::join(Chain& chain, std::uint32_t index)
{
    trim(chain);
    // Those nearer the pass that are no better than the newcomer can never be
    // the best again: it is nearer still.
    while (chain.links.size() > chain.from && !better(chain.links.back().index, index))
        chain.links.pop_back();
    chain.links.push_back(Link{pos(index), index});
}

void ExtentPass::admit(std::int64_t at)
{
    for (; pending_ < clean_.size() && end_ - clean_[pending_].back >= at + kSectorHeaderSize; ++pending_) {
        const std::uint32_t index = clean_[pending_].index;
        if (index < windowBase_)
            continue; // past the window: no claim reaches it
        join(chain_, index);
        join(chainByCount_[weighed(index).count], index);
    }
}

std::uint32_t ExtentPass::bestIn(Chain& chain, std::int64_t to)
{
    trim(chain);
    const auto it = std::partition_point(chain.links.begin() + static_cast<std::ptrdiff_t>(chain.from),
                                         chain.links.end(), [&](const Link& link) { return link.pos > to; });
    return it == chain.links.end() ? kToEnd : it->index;
}

std::uint32_t ExtentPass::nearestOn(std::int64_t after) const
{
    // Lists of ascending distance back from the end: the nearest past
    // `after` is the last closer to the end than it.
    const std::int64_t limit = end_ - after;
    for (const auto* list : {&sound_, &clean_}) {
        const auto it =
            std::partition_point(list->begin(), list->end(), [&](const Slot& x) { return x.back < limit; });
        if (it != list->begin())
            return (it - 1)->index;
    }
    return kToEnd;
}

void ExtentPass::restart(std::int64_t end, std::int32_t endCount)
{
    end_ = covered_ = end;
    candidates_.clear();
    clean_.clear();
    sound_.clear();
    chain_ = Chain{};
    chainByCount_.clear();
    windowBase_ = pending_ = 0;
    windowLimit_ = 0;
    beyondNumbers_ = beyondSoundNumbers_ = Numbers{};
    beyond_ = Target{kToEnd, Worth{}, &beyondNumbers_, -1, true};
    beyondSound_ = Target{kToEnd, Worth{}, &beyondSoundNumbers_, -1, true};
    end_target_ = Target{kToEnd, Worth{}, &none_, endCount, true};
}

void ExtentPass::slide(std::int64_t at)
{
    windowLimit_ = at + kLongestClaim;
    // The nearest clean and sound candidates among those that leave are
    // kept, once each.
    std::size_t clean = kToEnd, sound = kToEnd;
    for (; windowBase_ < candidates_.size() && pos(static_cast<std::uint32_t>(windowBase_)) > windowLimit_;
         ++windowBase_) {
        const Weighed& w = weighed(static_cast<std::uint32_t>(windowBase_));
        clean = w.clean ? windowBase_ : clean;
        sound = w.sound ? windowBase_ : sound;
    }
    const auto keep = [&](std::size_t index, Target& target, Numbers& numbers) {
        if (index == kToEnd)
            return;
        const Weighed& w = weighed(static_cast<std::uint32_t>(index));
        numbers = w.numbers;
        target = Target{static_cast<std::uint32_t>(index), w.worth, &numbers, w.count, true};
    };
    keep(clean, beyond_, beyondNumbers_);
    keep(sound, beyondSound_, beyondSoundNumbers_);
    // The window's ring holds every candidate in it.
    grow(candidates_.size() - windowBase_ + 1);
}

void ExtentPass::grow(std::size_t live)
{
    if (live <= windowSize_)
        return;
    std::size_t size = std::max<std::size_t>(64, windowSize_);
    while (size < live)
        size *= 2;
    std::unique_ptr<Weighed[]> grown(new Weighed[size]); // default-initialised: not cleared
    for (std::size_t i = windowBase_; i < candidates_.size(); ++i)
        grown[i & (size - 1)] = window_[i & (windowSize_ - 1)];
    window_ = std::move(grown);
    windowSize_ = size;
}

} // namespace d88
