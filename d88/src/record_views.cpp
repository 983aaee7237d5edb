// The views of the record map: a track's records read run by run, the
// strict rule's facts and the sector numbers of each view, told from small
// indexes of each run rather than by walking its records again.
#include "record_map.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <new>

namespace d88 {

namespace {

constexpr std::size_t kScanned = 32; // shorter runs are quicker to scan than to sort

} // namespace

void RecordMap::indexRun(Run& run)
{
    if (run.indexed)
        return;
    for (std::size_t i = 0; i < run.records.size(); ++i) {
        const WalkedRecord& rec = run.records[i];
        const auto ordinal = static_cast<std::int32_t>(i);
        if (rec.step() == Step::ByNominal || rec.step() == Step::Resync)
            run.nominals.push_back(ordinal);
        if (rec.count == 0)
            run.zeros.push_back(ordinal);
        else
            run.enders.emplace_back(ordinal - rec.count + 1, ordinal);
    }
    std::sort(run.enders.begin(), run.enders.end());
    run.indexed = true;
}

std::int32_t RecordMap::chainLength(std::int32_t index)
{
    Run& run = runs_[static_cast<std::size_t>(index)];
    if (run.chainLength < 0) {
        const auto own = static_cast<std::int32_t>(run.records.size());
        run.chainLength = own + (run.tailRun >= 0 ? chainLength(run.tailRun) - run.tailFrom : 0);
    }
    return run.chainLength;
}

// Finds along the view what the strict rule would see from the track's
// first record: it examines the same records while they step by their data
// sizes, up to the record whose count ends it (a count of 0, or the record
// whose index is its count - 1), or to the end of the file when none does;
// a record whose data size lied sends it elsewhere. Each run keeps where
// those records are, so that a view is told in a few steps a run, however
// long.
void RecordMap::finishView(TrackView* view)
{
    constexpr std::int32_t kNone = std::numeric_limits<std::int32_t>::max();
    std::int32_t before = 0, countEnd = kNone, nominal = kNone;
    const WalkedRecord* last = nullptr;
    for (std::int32_t r = view->run, from = view->from; r >= 0;) {
        Run& run = runs_[static_cast<std::size_t>(r)];
        indexRun(run);
        const auto size = static_cast<std::int32_t>(run.records.size());
        if (from < size) {
            last = &run.records.back();
            if (nominal == kNone) {
                const auto it = std::lower_bound(run.nominals.begin(), run.nominals.end(), from);
                if (it != run.nominals.end()) {
                    nominal = before + *it - from;
                    view->liar = run.records[static_cast<std::size_t>(*it)];
                    const std::int64_t next = ViewCursor(*this, r, *it).nextOffset();
                    view->liarStored = view->liar.step() == Step::ByNominal || next < 0
                                           ? nominalSectorSize(sizeCodeOf(view->liar.id))
                                           : static_cast<std::int32_t>(next - view->liar.offset - kSectorHeaderSize);
                }
            }
            if (countEnd == kNone) {
                std::int32_t at = kNone;
                const auto zero = std::lower_bound(run.zeros.begin(), run.zeros.end(), from);
                if (zero != run.zeros.end())
                    at = *zero;
                const auto ender = std::lower_bound(run.enders.begin(), run.enders.end(),
                                                    std::pair<std::int32_t, std::int32_t>{from - before, from});
                if (ender != run.enders.end() && ender->first == from - before)
                    at = std::min(at, ender->second);
                if (at != kNone) {
                    countEnd = before + at - from;
                    view->ender = run.records[static_cast<std::size_t>(at)];
                }
            }
        }
        before += std::max(size - from, 0);
        from = run.tailFrom;
        r = run.tailRun;
    }
    view->length = before;
    std::int32_t seen = -1;
    bool leaves = false;
    view->countEnd = view->firstNominal = -1;
    if (nominal != kNone)
        view->firstNominal = nominal;
    if (countEnd != kNone && countEnd <= nominal && countEnd < kMaxRecordsPerTrack) {
        view->countEnd = countEnd;
        seen = view->ender.count == 0 ? countEnd : countEnd + 1;
    } else if (nominal < kMaxRecordsPerTrack - 1) {
        leaves = true;
    } else if (before >= kMaxRecordsPerTrack) {
        seen = kMaxRecordsPerTrack;
    }
    if (seen < 0 && !leaves && last &&
        frame_.base + last->offset + 2 * kSectorHeaderSize + last->size > frame_.fileSize)
        seen = before;
    view->strictSeen = leaves ? -1 : seen;
}

ViewCursor RecordMap::seek(const TrackView& view, std::int32_t index)
{
    std::int32_t r = view.run, from = view.from;
    while (r >= 0) {
        const Run& run = runs_[static_cast<std::size_t>(r)];
        const std::int32_t here = static_cast<std::int32_t>(run.records.size()) - from;
        if (index < here)
            return ViewCursor(*this, r, from + index);
        index -= std::max(here, 0);
        from = run.tailFrom;
        r = run.tailRun;
    }
    return ViewCursor(*this, -1, 0);
}

// Every start's table, made run by run from the last record back: a run's
// tables start from its tail's, so each record is counted once.
void RecordMap::buildTables(FileWindow& file)
{
    tables_.assign(starts_.size(), SectorTable{});
    std::vector<std::pair<std::int32_t, TrackView>> views; // (start, its view)
    for (std::size_t at = 0; at < starts_.size(); ++at) {
        TrackView v;
        const std::int32_t track = firstTrackAt(starts_[at]);
        if (track >= 0 && view(file, track, &v) && v.run >= 0)
            views.emplace_back(static_cast<std::int32_t>(at), v);
    }
    if (lone_)
        return;
    // (from, start) for each view of a run, and (from, -2 - other) where run
    // `other`'s tail starts; runs refer to runs made before them.
    std::vector<std::vector<std::pair<std::int32_t, std::int32_t>>> wanted(runs_.size());
    for (const auto& [at, v] : views)
        wanted[static_cast<std::size_t>(v.run)].emplace_back(v.from, at);
    for (std::size_t other = 0; other < runs_.size(); ++other)
        if (runs_[other].tailRun >= 0)
            wanted[static_cast<std::size_t>(runs_[other].tailRun)].emplace_back(
                runs_[other].tailFrom, -2 - static_cast<std::int32_t>(other));
    std::vector<SectorTable> atTail(runs_.size()); // each run's tail's table, by distance from the end
    for (std::size_t r = 0; r < runs_.size(); ++r) {
        const Run& run = runs_[r];
        SectorTable table{};
        std::int32_t length = 0;
        if (run.tailRun >= 0) {
            table = atTail[r];
            length = chainLength(run.tailRun) - run.tailFrom;
        }
        // first[] holds distances from the chain's end while counting back.
        auto& want = wanted[r];
        std::sort(want.begin(), want.end());
        auto next = want.rbegin();
        const auto snapshot = [&](std::int32_t from) {
            for (; next != want.rend() && next->first == from; ++next) {
                if (next->second < 0) { // another run's tail starts here: kept by distance
                    atTail[static_cast<std::size_t>(-2 - next->second)] = table;
                    continue;
                }
                SectorTable& out = tables_[static_cast<std::size_t>(next->second)];
                out = table;
                for (int i = 0; i < 256; ++i)
                    out.first[i] = out.count[i] ? length - out.first[i] : 0;
            }
        };
        for (auto o = static_cast<std::int32_t>(run.records.size()); o >= 0; --o) {
            while (next != want.rend() && next->first > o)
                ++next;
            snapshot(o);
            if (o == 0)
                break;
            const std::uint8_t sector = sectorOf(run.records[static_cast<std::size_t>(o - 1)].id);
            ++length;
            table.count[sector] = static_cast<std::uint8_t>(std::min(table.count[sector] + 1, 2));
            table.first[sector] = length;
        }
    }
}

bool RecordMap::sectorTable(FileWindow& file, std::int32_t track, SectorTable* out)
{
    TrackView v;
    if (!view(file, track, &v))
        return false;
    const auto at = static_cast<std::size_t>(std::lower_bound(starts_.begin(), starts_.end(), start_[track]) -
                                             starts_.begin());
    if (!lone_ && !tablesMade_) {
        try {
            buildTables(file);
        } catch (const std::bad_alloc&) {
            file.noteError(ENOMEM);
            tables_.clear();
            return false;
        }
        tablesMade_ = !lone_;
    }
    if (!lone_ && tablesMade_) {
        *out = tables_[at];
        return true;
    }
    // Past the cap: counted along the view itself.
    *out = SectorTable{};
    std::int32_t index = 0;
    for (ViewCursor c(*this, v.run, v.from); !c.done(); c.next(), ++index) {
        const std::uint8_t sector = sectorOf(c.record().id);
        if (out->count[sector]++ == 0)
            out->first[sector] = index;
        out->count[sector] = std::min<std::uint8_t>(out->count[sector], 2);
    }
    return true;
}

std::int64_t RecordMap::diskEnd(FileWindow& file)
{
    if (diskEnd_ >= 0)
        return diskEnd_;
    const auto size = static_cast<std::uint32_t>(frame_.diskSize);
    if (!diskSizeLies(file)) {
        diskEnd_ = std::min<std::int64_t>(frame_.base + size, frame_.fileSize);
        return diskEnd_;
    }
    // Where the records of its tracks end, at least past its header: every
    // track laid out, then each record once.
    std::int64_t end = std::min<std::int64_t>(frame_.base + kDiskHeaderSize, frame_.fileSize);
    for (std::int32_t t = 0; t < kMaxTracks; ++t) {
        TrackView v;
        if (standing(t) != TrackStanding::Present || firstWithSameStart(t) != t || !view(file, t, &v))
            continue;
        if (lone_)
            for (ViewCursor at(*this, v.run, v.from); !at.done(); at.next())
                end = std::max(end, base() + at.record().offset + kSectorHeaderSize + available(at));
    }
    for (std::size_t r = 0; !lone_ && r < runs_.size(); ++r)
        for (std::size_t o = 0; o < runs_[r].records.size(); ++o) {
            const ViewCursor at(*this, static_cast<std::int32_t>(r), static_cast<std::int32_t>(o));
            end = std::max(end, base() + at.record().offset + kSectorHeaderSize + available(at));
        }
    diskEnd_ = std::min(end, frame_.fileSize);
    return diskEnd_;
}

Lie RecordMap::lieBefore(const TrackView& view, std::int32_t track, std::int32_t index,
                         const WalkedRecord& rec) const
{
    Lie lie;
    // The strict rule reads no track past the disk size field.
    if (sizeLies_ && (frame_.offsets[track] > frame_.diskSize || frame_.diskSize <= 0)) {
        lie.field = LyingField::DiskSize;
        lie.says = frame_.diskSize;
        return lie;
    }
    constexpr std::int32_t kNever = std::numeric_limits<std::int32_t>::max();
    const std::int32_t nominalAt = view.firstNominal >= 0 ? view.firstNominal : kNever;
    const std::int32_t seen =
        view.countEnd < 0 ? kNever : view.ender.count == 0 ? view.countEnd : view.countEnd + 1;
    const auto at = [&](const WalkedRecord& which, LyingField field, std::int32_t says, std::int32_t stored) {
        lie = Lie{field, track,
                  unpackedId(which.id),
                  says, stored};
    };
    if (index >= seen && (nominalAt == kNever || seen <= nominalAt + 1)) {
        at(view.ender, LyingField::SectorCount, view.ender.count, view.length);
    } else if (nominalAt < index || (nominalAt == index && rec.step() == Step::ByNominal &&
                                     nominalSectorSize(sizeCodeOf(rec.id)) > rec.size)) {
        at(view.liar, LyingField::DataSize, view.liar.size, view.liarStored);
    }
    return lie;
}

void RecordMap::sortIds(Run& run)
{
    if (run.ids.size() == run.records.size())
        return;
    run.ids.resize(run.records.size());
    for (std::size_t i = 0; i < run.records.size(); ++i)
        run.ids[i] = static_cast<std::uint64_t>(run.records[i].id) << 32 | i;
    std::sort(run.ids.begin(), run.ids.end());
}

bool RecordMap::find(const TrackView& view, std::uint32_t id, std::int32_t* index, ViewCursor* at)
{
    std::int32_t before = 0;
    for (std::int32_t r = view.run, from = view.from; r >= 0;) {
        Run& run = runs_[static_cast<std::size_t>(r)];
        const auto size = static_cast<std::int32_t>(run.records.size());
        std::int32_t found = -1;
        if (run.records.size() > kScanned) {
            sortIds(run);
            const std::uint64_t key = static_cast<std::uint64_t>(id) << 32 | static_cast<std::uint32_t>(from);
            const auto it = std::lower_bound(run.ids.begin(), run.ids.end(), key);
            if (it != run.ids.end() && (*it >> 32) == id)
                found = static_cast<std::int32_t>(*it & 0xFFFFFFFF);
        } else {
            for (std::int32_t i = from; i < size && found < 0; ++i)
                if (run.records[static_cast<std::size_t>(i)].id == id)
                    found = i;
        }
        if (found >= 0) {
            *index = before + found - from;
            *at = ViewCursor(*this, r, found);
            return true;
        }
        before += std::max(size - from, 0);
        from = run.tailFrom;
        r = run.tailRun;
    }
    return false;
}

std::int32_t RecordMap::available(const ViewCursor& at) const
{
    const WalkedRecord& rec = at.record();
    std::int64_t stored = rec.size;
    if (rec.step() == Step::ByNominal)
        stored = nominalSectorSize(sizeCodeOf(rec.id));
    else if (rec.step() == Step::Resync && at.nextOffset() >= 0)
        stored = at.nextOffset() - rec.offset - kSectorHeaderSize;
    const std::int64_t data = frame_.base + rec.offset + kSectorHeaderSize;
    // A track's last record ends where its extent does: past it lies the
    // next track, or the next disk.
    const std::int64_t end = rec.step() == Step::End ? run(at.run()).end : frame_.fileSize;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(std::min(end, frame_.fileSize) - data, 0, stored));
}

bool RecordMap::storedShort(const ViewCursor& at) const
{
    const WalkedRecord& rec = at.record();
    if (rec.step() == Step::Resync)
        return true;
    const std::int64_t data = frame_.base + rec.offset + kSectorHeaderSize;
    return rec.step() == Step::End && run(at.run()).end < frame_.fileSize && data + rec.size > run(at.run()).end;
}

ViewCursor::ViewCursor(const RecordMap& map, std::int32_t run, std::int32_t from) : map_(&map), run_(run), at_(from)
{
    settle();
}

const WalkedRecord& ViewCursor::record() const
{
    return map_->run(run_).records[static_cast<std::size_t>(at_)];
}

void ViewCursor::settle()
{
    while (run_ >= 0 && static_cast<std::size_t>(at_) >= map_->run(run_).records.size()) {
        const Run& run = map_->run(run_);
        run_ = run.tailRun;
        at_ = run.tailFrom;
    }
}

void ViewCursor::next()
{
    ++at_;
    settle();
}

std::int64_t ViewCursor::nextOffset() const
{
    ViewCursor after = *this;
    after.next();
    return after.done() ? -1 : static_cast<std::int64_t>(after.record().offset);
}

} // namespace d88
