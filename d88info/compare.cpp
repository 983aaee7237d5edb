#include "compare.h"

#include <algorithm>
#include <cerrno>
#include <new>

namespace d88info {

int TrackComparison::count(bool (SectorComparison::*is)() const) const
{
    return static_cast<int>(
        std::count_if(sectors.begin(), sectors.end(), [is](const SectorComparison& s) { return (s.*is)(); }));
}

namespace {

// A track's record as the comparison holds it while the track is compared.
struct Held {
    std::uint32_t key = 0; // C, H, R, N from the high byte down: sorts as the IDs do
    std::int32_t index = 0;
    std::int32_t available = 0;
    std::int32_t copies = 1;
    std::uint8_t deletedMark = 0, status = 0;
};

constexpr std::uint32_t keyOf(const d88::SectorId& id)
{
    return std::uint32_t{id.c} << 24 | std::uint32_t{id.h} << 16 | std::uint32_t{id.r} << 8 | id.n;
}

constexpr d88::SectorId idOf(std::uint32_t key)
{
    return {static_cast<std::uint8_t>(key >> 24), static_cast<std::uint8_t>(key >> 16),
            static_cast<std::uint8_t>(key >> 8), static_cast<std::uint8_t>(key)};
}

StoredSector storedOf(const Held& held)
{
    StoredSector s;
    s.id = idOf(held.key);
    s.flags = d88::SectorFlags::of(held.deletedMark, held.status);
    s.nominal = d88::nominalSectorSize(s.id.n);
    // The bytes past its size code's are no part of the sector; a code no
    // record holds whole has only what is stored.
    s.bytes = s.nominal > 0 ? std::min(held.available, s.nominal) : held.available;
    s.copies = held.copies;
    return s;
}

// The track's sectors, one for each ID, in ID order, with their copies
// counted. Absent, past the end or into the header, a track holds none.
d88::Outcome sectorsOf(d88::RecordMap& map, int track, std::vector<Held>* out)
{
    out->clear();
    if (map.disk().standing[track] != d88::TrackStanding::Present)
        return {};
    const d88::Outcome walked = map.eachRecord(track, [out](const d88::Record& record, std::int32_t index) {
        Held held;
        held.key = keyOf(record.header.id);
        held.index = index;
        held.available = record.available;
        held.deletedMark = record.header.deletedMark;
        held.status = record.header.status;
        out->push_back(held);
        return true;
    });
    if (walked.failed())
        return walked;
    // The first copy in stored order is the sector a lookup finds.
    std::stable_sort(out->begin(), out->end(), [](const Held& a, const Held& b) { return a.key < b.key; });
    std::size_t kept = 0;
    for (std::size_t i = 0; i < out->size(); ++i) {
        if (kept > 0 && (*out)[kept - 1].key == (*out)[i].key)
            ++(*out)[kept - 1].copies;
        else
            (*out)[kept++] = (*out)[i];
    }
    out->resize(kept);
    return {};
}

// The same flags in words: a deleted-data mark is the same mark whichever
// byte carries it, and only another status is told by its value.
bool sameFlags(const d88::SectorFlags& a, const d88::SectorFlags& b)
{
    for (const d88::SectorFlag flag : d88::kEverySectorFlag)
        if (a.has(flag) != b.has(flag))
            return false;
    return !a.has(d88::SectorFlag::OtherStatus) || a.status() == b.status();
}

class Comparer {
  public:
    Comparer(d88::RecordMap& first, d88::RecordMap& second) : maps_{&first, &second} {}

    bool run(const std::function<void(const TrackComparison&)>& told, ComparisonTotals* totals,
             CompareError* failed)
    {
        *totals = {};
        for (int t = 0; t < d88::kMaxTracks; ++t) {
            TrackComparison track;
            track.track = t;
            track.firstStanding = maps_[0]->disk().standing[t];
            track.secondStanding = maps_[1]->disk().standing[t];
            for (int side = 0; side < 2; ++side) {
                if (const d88::Outcome read = sectorsOf(*maps_[side], t, &held_[side]); read.failed()) {
                    *failed = {side, read.error};
                    return false;
                }
            }
            track.firstSectors = static_cast<std::int32_t>(held_[0].size());
            track.secondSectors = static_cast<std::int32_t>(held_[1].size());
            if (!compareTrack(&track, failed))
                return false;
            totals->firstSectors += track.firstSectors;
            totals->secondSectors += track.secondSectors;
            if (track.sectors.empty())
                continue;
            const int differing = track.count(&SectorComparison::differs);
            totals->differing += differing;
            totals->tracksDiffering += differing > 0;
            totals->onlyInFirst += track.count(&SectorComparison::onlyInFirst);
            totals->onlyInSecond += track.count(&SectorComparison::onlyInSecond);
            totals->storedDifferently += track.count(&SectorComparison::storedDifferently);
            totals->differentBytes += track.count(&SectorComparison::differentBytes);
            totals->heldMoreThanOnce += track.count(&SectorComparison::heldMoreThanOnce);
            told(track);
        }
        return true;
    }

  private:
    // Pairs the track's sectors by ID; then, of each cylinder, head and
    // sector number, a sector the first dump alone holds with one the
    // second alone holds, where each has one such: the same sector under
    // another size code.
    bool compareTrack(TrackComparison* track, CompareError* failed)
    {
        const std::vector<Held>& a = held_[0];
        const std::vector<Held>& b = held_[1];
        std::vector<SectorComparison>& out = track->sectors;
        std::size_t i = 0, j = 0;
        bool alone = false;
        while (i < a.size() || j < b.size()) {
            SectorComparison s;
            const bool takeA = i < a.size() && (j >= b.size() || a[i].key <= b[j].key);
            const bool takeB = j < b.size() && (i >= a.size() || b[j].key <= a[i].key);
            if (takeA)
                s.inFirst = true, s.first = storedOf(a[i++]);
            if (takeB)
                s.inSecond = true, s.second = storedOf(b[j++]);
            if (s.inFirst && s.inSecond && !weigh(track->track, &s, failed))
                return false;
            alone = alone || !(s.inFirst && s.inSecond);
            if (s.differs() || s.heldMoreThanOnce())
                out.push_back(s);
        }
        if (!alone)
            return true;
        std::size_t kept = 0;
        for (std::size_t from = 0; from < out.size();) {
            std::size_t end = from;
            std::size_t onlyFirst = 0, onlySecond = 0, firsts = 0, seconds = 0;
            while (end < out.size() && chr(out[end]) == chr(out[from])) {
                if (out[end].onlyInFirst())
                    onlyFirst = end, ++firsts;
                if (out[end].onlyInSecond())
                    onlySecond = end, ++seconds;
                ++end;
            }
            const bool pair = firsts == 1 && seconds == 1;
            for (std::size_t k = from; k < end; ++k) {
                if (pair && k == std::max(onlyFirst, onlySecond))
                    continue;
                SectorComparison s = out[k];
                if (pair && k == std::min(onlyFirst, onlySecond)) {
                    const SectorComparison& other = out[std::max(onlyFirst, onlySecond)];
                    if (s.inFirst)
                        s.inSecond = true, s.second = other.second;
                    else
                        s.inFirst = true, s.first = other.first;
                    if (!weigh(track->track, &s, failed))
                        return false;
                }
                out[kept++] = s;
            }
            from = end;
        }
        out.resize(kept);
        return true;
    }

    static std::uint32_t chr(const SectorComparison& s)
    {
        return keyOf(s.inFirst ? s.first.id : s.second.id) >> 8;
    }

    // How a sector both dumps hold is stored in each, and its bytes.
    bool weigh(int track, SectorComparison* s, CompareError* failed)
    {
        s->flagsDiffer = !sameFlags(s->first.flags, s->second.flags);
        s->sizeDiffers = s->first.id.n != s->second.id.n || s->first.bytes != s->second.bytes;
        s->compared = std::min(s->first.bytes, s->second.bytes);
        s->differing = 0;
        if (s->compared == 0)
            return true;
        if (buffer_[0].empty()) {
            try {
                for (std::vector<std::uint8_t>& buffer : buffer_)
                    buffer.resize(kLargestStored);
            } catch (const std::bad_alloc&) {
                *failed = {0, ENOMEM};
                return false;
            }
        }
        for (int side = 0; side < 2; ++side) {
            const StoredSector& stored = side == 0 ? s->first : s->second;
            d88::Record record;
            std::int32_t copied = 0;
            const d88::Outcome found = maps_[side]->findSector(
                {track, stored.id},
                std::span<std::uint8_t>(buffer_[side].data(), static_cast<std::size_t>(s->compared)), &record,
                &copied);
            if (found.failed()) {
                *failed = {side, found.error};
                return false;
            }
            // The map found it a moment ago: a sector that is gone now, or
            // shorter, is a file that changed under the reading.
            if (!found.done() || copied != s->compared) {
                *failed = {side, d88::kErrorImageChanged};
                return false;
            }
        }
        for (std::int32_t k = 0; k < s->compared; ++k) {
            if (buffer_[0][static_cast<std::size_t>(k)] != buffer_[1][static_cast<std::size_t>(k)]) {
                if (s->differing++ == 0)
                    s->firstDiffer = k;
            }
        }
        return true;
    }

    // A record's data size is a 16-bit field.
    static constexpr std::size_t kLargestStored = 0xFFFF;

    d88::RecordMap* maps_[2];
    std::vector<Held> held_[2];
    std::vector<std::uint8_t> buffer_[2];
};

} // namespace

bool compareDisks(d88::RecordMap& first, d88::RecordMap& second,
                  const std::function<void(const TrackComparison&)>& told, ComparisonTotals* totals,
                  CompareError* failed)
{
    try {
        Comparer comparer(first, second);
        return comparer.run(told, totals, failed);
    } catch (const std::bad_alloc&) {
        *failed = {0, ENOMEM};
        return false;
    }
}

} // namespace d88info
