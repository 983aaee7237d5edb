// The record map: disks laid out as they are selected, each extent read once
// and kept in a few numbers, shared by the tracks (of any disk of the file)
// that have the same extent.
#include "d88/record_map.h"

#include "disk_layout.h"
#include "extent_pass.h"
#include "file_window.h"
#include "reading.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <new>
#include <tuple>

namespace d88 {

struct RecordMap::State {
    std::uint32_t opened = 0; // the image's open the map follows
    DiskExtents disk;
    // Every extent read since the open, by its start, its end, and where the
    // strict walk starts and the disk size it checks.
    using Key = std::tuple<std::int64_t, std::int64_t, std::int64_t, std::int32_t>;
    std::map<Key, Reading> readings;
    std::unique_ptr<ExtentPass> pass; // the last extent's, for those it serves
};

RecordMap::~RecordMap() = default;

void RecordMap::DropState::operator()(State* state) const
{
    delete state;
}

RecordMap::State* RecordMap::state()
{
    if (!image_->file_)
        return nullptr;
    if (!state_) {
        state_.reset(new (std::nothrow) State);
        if (!state_)
            return nullptr;
    }
    // Nothing read from one file answers for another.
    if (state_->opened != image_->opened_) {
        state_->readings.clear();
        state_->pass.reset();
        state_->disk = DiskExtents{};
        state_->opened = image_->opened_;
    }
    return state_.get();
}

const DiskLayout& RecordMap::disk() const
{
    static const DiskLayout none{};
    return state_ && state_->opened == image_->opened_ && image_->file_ ? state_->disk.layout : none;
}

Outcome RecordMap::loadDisk(std::int32_t index)
{
    State* s = state();
    if (!s)
        return image_->file_ ? Outcome::failure(ENOMEM) : Outcome::found(false);
    s->disk = DiskExtents{};
    const Outcome selected = image_->loadDisk(index);
    if (!selected.done())
        return selected;
    // Laying out takes no memory: the extents are fixed arrays.
    if (!layOutDisk(*image_->file_, image_->diskOffset(index), index, &s->disk))
        s->disk = DiskExtents{};
    return image_->settle(s->disk.layout.index >= 0);
}

std::int64_t RecordMap::extentEnd(std::int32_t track)
{
    State* s = state();
    return s && s->disk.layout.index >= 0 && track >= 0 && track < kMaxTracks &&
                   s->disk.layout.standing[track] == TrackStanding::Present
               ? d88::extentEnd(*image_->file_, s->disk, track)
               : -1;
}

// The reading of a present track of the disk laid out; nullptr when the
// track is not present, or it could not be read (the window holds why).
Reading* RecordMap::readingOf(std::int32_t track)
{
    const std::int64_t end = extentEnd(track);
    if (end < 0)
        return nullptr;
    State* s = state_.get();
    FileWindow& file = *image_->file_;
    const State::Key key{s->disk.start[track], end, s->disk.strict[track].start,
                         s->disk.strict[track].diskSize};
    if (const auto it = s->readings.find(key); it != s->readings.end())
        return &it->second;
    Reading reading =
        readExtent(file, s->disk.start[track], s->disk.end[track], s->disk.strict[track], track, s->pass);
    if (reading.failed)
        return nullptr;
    reading.number = static_cast<std::int32_t>(s->readings.size()); // none is dropped while the file is open
    try {
        return &s->readings.emplace(key, std::move(reading)).first->second;
    } catch (const std::bad_alloc&) {
        file.noteError(ENOMEM);
        return nullptr;
    }
}

Outcome RecordMap::track(std::int32_t track, TrackFacts* facts)
{
    *facts = TrackFacts{};
    State* s = state();
    if (s && s->disk.layout.index >= 0 && track >= 0 && track < kMaxTracks)
        facts->standing = s->disk.layout.standing[track];
    const Reading* reading = readingOf(track);
    if (!reading)
        return image_->settle(false);
    facts->start = reading->start;
    facts->end = reading->end;
    facts->recordsEnd = reading->recordsEnd;
    facts->records = reading->records;
    facts->lies = reading->lies;
    facts->uncertain = static_cast<std::int32_t>(reading->uncertain.size());
    std::int32_t same = 0;
    for (const auto& [from, to] : reading->strict)
        same += to - from;
    facts->pastLies = reading->records - same;
    facts->leading = reading->first < 0 ? reading->end - reading->start : reading->first - reading->start;
    facts->skipped = reading->skipped;
    facts->cut = reading->cut;
    facts->reading = reading->number;
    facts->sameAs = track;
    // A track's extent is told by its start alone.
    for (std::int32_t t = 0; t < track; ++t)
        if (s->disk.layout.standing[t] == TrackStanding::Present &&
            s->disk.start[t] == s->disk.start[track]) {
            facts->sameAs = t;
            break;
        }
    return image_->settle(true);
}

Outcome RecordMap::walk(std::int32_t track, std::int32_t first,
                        bool (*fn)(const Record&, std::int32_t, void*), void* context)
{
    const Reading* reading = readingOf(track);
    if (!reading)
        return image_->settle(false);
    Record record;
    for (ReadingCursor cursor(*image_->file_, *reading); !cursor.done(); cursor.next()) {
        if (cursor.index() < first)
            continue;
        if (!cursor.record(&record))
            break;
        record.pastLie.track = track;
        if (!fn(record, cursor.index(), context))
            break;
    }
    return image_->settle(true);
}

Outcome RecordMap::sharedRuns(std::int32_t track, std::span<SharedRun> out, std::int32_t* count)
{
    *count = 0;
    State* s = state();
    FileWindow* file = image_->file_.get();
    const Reading* mine = s ? readingOf(track) : nullptr;
    if (!mine)
        return image_->settle(false);
    std::vector<bool> taken;
    try {
        taken.assign(static_cast<std::size_t>(mine->records), false);
        for (std::int32_t t = 0; t < track && *count < static_cast<std::int32_t>(out.size()); ++t) {
            if (s->disk.layout.standing[t] != TrackStanding::Present ||
                s->disk.start[t] == s->disk.start[track])
                continue;
            const Reading* other = readingOf(t);
            if (!other)
                return image_->settle(false);
            if (other->end <= mine->start || mine->end <= other->start)
                continue;
            // Both readings in file order: records at one position, giving
            // the same bytes, are the same records.
            ReadingCursor a(*file, *mine), b(*file, *other);
            Record ra, rb;
            SharedRun* run = nullptr;
            while (!a.done() && !b.done() && a.record(&ra) && b.record(&rb)) {
                if (ra.headerPos < rb.headerPos) {
                    run = nullptr, a.next();
                } else if (rb.headerPos < ra.headerPos) {
                    run = nullptr, b.next();
                } else {
                    const bool same =
                        ra.available == rb.available && !taken[static_cast<std::size_t>(a.index())];
                    if (same && run && run->first + run->count == a.index() &&
                        run->from + run->count == b.index()) {
                        ++run->count;
                    } else if (same && *count < static_cast<std::int32_t>(out.size())) {
                        run = &out[static_cast<std::size_t>((*count)++)];
                        *run = SharedRun{a.index(), 1, t, b.index()};
                    } else {
                        run = nullptr;
                    }
                    if (same)
                        taken[static_cast<std::size_t>(a.index())] = true;
                    a.next(), b.next();
                }
            }
        }
    } catch (const std::bad_alloc&) {
        file->noteError(ENOMEM);
        return image_->settle(false);
    }
    std::sort(out.begin(), out.begin() + *count,
              [](const SharedRun& x, const SharedRun& y) { return x.first < y.first; });
    return image_->settle(true);
}

} // namespace d88
