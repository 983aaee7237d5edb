#include "record_map.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <new>

namespace d88 {

namespace {

constexpr std::size_t kScanned = 32; // shorter runs are quicker to scan than to sort
// Resynchronisation looks into a record's claimed data for a header the
// walk can go on from; crafted data can offer a candidate at every byte.
// What all of a map's resynchronisations may read is bounded, so that no
// image costs more than a fixed multiple of its size.
constexpr std::int64_t kResyncBudget = 16 << 20;
// A run's records can be named by a 16-bit ordinal.
static_assert(kMaxRecordsPerTrack <= 0xFFFF);

constexpr std::uint32_t idOf(const std::uint8_t* header)
{
    return static_cast<std::uint32_t>(header[0]) | (static_cast<std::uint32_t>(header[1]) << 8) |
           (static_cast<std::uint32_t>(header[2]) << 16) | (static_cast<std::uint32_t>(header[3]) << 24);
}

constexpr std::int32_t sizeCodeOf(std::uint32_t id)
{
    return static_cast<std::int32_t>(id >> 24);
}

constexpr std::uint8_t sectorOf(std::uint32_t id)
{
    return static_cast<std::uint8_t>(id >> 16);
}

const std::uint8_t* headerAt(FileWindow& file, std::int64_t pos)
{
    const std::uint8_t* bytes = nullptr;
    return file.view(pos, kSectorHeaderSize, &bytes) == kSectorHeaderSize ? bytes : nullptr;
}

WalkedRecord parse(std::int64_t base, std::int64_t pos, const std::uint8_t* header)
{
    return WalkedRecord{static_cast<std::uint32_t>(pos - base),
                        idOf(header),
                        static_cast<std::uint16_t>(readLE16(header + kSectorCountOffset)),
                        static_cast<std::uint16_t>(readLE16(header + kDataSizeOffset)),
                        header[kDensityOffset],
                        header[kDeletedMarkOffset],
                        header[kStatusOffset],
                        static_cast<std::uint8_t>(Step::End)};
}

// The parts of plausibility a header has on its own: a size code a record
// can hold, a density byte the format knows, not sixteen zero bytes (sector
// 0, a count of 0, no data: zero-filled space is not read as records), and
// the record within the extent by the smaller of its data size and its
// nominal size (so that a lying size alone does not make it implausible).
bool plausibleAlone(const std::uint8_t* header, std::int64_t pos, std::int64_t end)
{
    if (pos + kSectorHeaderSize > end || header[3] > kMaxStorableSizeCode)
        return false;
    if (header[kDensityOffset] != 0x00 && header[kDensityOffset] != 0x40)
        return false;
    if (std::all_of(header, header + kSectorHeaderSize, [](std::uint8_t b) { return b == 0; }))
        return false;
    const std::int32_t smaller = std::min(readLE16(header + kDataSizeOffset), nominalSectorSize(header[3]));
    return pos + kSectorHeaderSize + smaller <= end;
}

// Whether the header at `pos` may follow `prev` in a track whose extent
// ends at `end`: plausible on its own, and of the same cylinder and head.
bool plausible(FileWindow& file, std::int64_t pos, std::uint32_t prevId, std::int64_t end)
{
    if (pos + kSectorHeaderSize > end)
        return false;
    const std::uint8_t* header = headerAt(file, pos);
    return header && (idOf(header) & 0xFFFF) == (prevId & 0xFFFF) && plausibleAlone(header, pos, end);
}

// The plausible step on from the record at `pos`: by its data size, else by
// its nominal size, landing on a plausible header or exactly on the end.
Step plausibleStep(FileWindow& file, const WalkedRecord& rec, std::int64_t pos, std::int64_t end,
                   std::int64_t* next)
{
    const std::int64_t data = pos + kSectorHeaderSize + rec.size;
    if (data == end || plausible(file, data, rec.id, end)) {
        *next = data;
        return Step::BySize;
    }
    const std::int32_t nominal = nominalSectorSize(sizeCodeOf(rec.id));
    if (nominal > 0) {
        const std::int64_t stepped = pos + kSectorHeaderSize + nominal;
        if (stepped == end || plausible(file, stepped, rec.id, end)) {
            *next = stepped;
            return Step::ByNominal;
        }
    }
    return Step::End;
}

// Whether the count of a record at `index` of its track says more follow.
bool countGoesOn(const WalkedRecord& rec, std::int32_t index)
{
    return rec.count != 0 && index < rec.count - 1;
}

bool seenR(const std::uint8_t* seen, std::uint8_t r)
{
    return (seen[r >> 3] >> (r & 7)) & 1;
}

std::size_t slotOf(std::uint32_t key, std::size_t slots)
{
    return static_cast<std::size_t>((static_cast<std::uint64_t>(key) * 0x9E3779B97F4A7C15ull) >> 32) &
           (slots - 1);
}

} // namespace

void RecordMap::forget()
{
    dropRuns();
    starts_.clear();
    extents_.clear();
    startViews_.clear();
    laidOut_ = 0;
    covered_ = 0;
    lone_ = false;
    frame_ = DiskFrame{};
    std::fill(std::begin(standing_), std::end(standing_), TrackStanding::Absent);
}

void RecordMap::dropRuns()
{
    runs_.clear();
    positions_.clear();
    positions_.shrink_to_fit();
    positionCount_ = 0;
    memory_ = 0;
    resyncBudget_ = kResyncBudget;
    tables_.clear();
    tablesMade_ = false;
}

// The resynchronisation: neither step from `rec` (record `index`, at `pos`)
// landed. The record is stored short when a header lies inside its claimed
// data, at the first position after its own header that holds the record's
// C, H and N, a known density, an R the track has not shown yet, and from
// which plausible records chain to the extent's end or to the record whose
// count says it is the track's last.
bool RecordMap::resync(FileWindow& file, const WalkedRecord& rec, std::int32_t index, std::int64_t end,
                       const std::uint8_t* seen, std::int64_t* next)
{
    const std::int64_t pos = frame_.base + rec.offset;
    const std::int64_t claimed = std::max<std::int64_t>(rec.size, nominalSectorSize(sizeCodeOf(rec.id)));
    const std::int64_t claimedEnd = pos + kSectorHeaderSize + claimed;
    for (std::int64_t at = pos + kSectorHeaderSize; at < claimedEnd && at + kSectorHeaderSize <= end; ++at) {
        if (--resyncBudget_ < 0)
            return false;
        const std::uint8_t* header = headerAt(file, at);
        if (!header)
            return false;
        const std::uint32_t id = idOf(header);
        if ((id & 0xFF00FFFF) != (rec.id & 0xFF00FFFF) || seenR(seen, sectorOf(id)) ||
            !plausibleAlone(header, at, end))
            continue;
        // Does a plausible chain lead from it to the end?
        WalkedRecord probe = parse(frame_.base, at, header);
        std::int64_t probePos = at;
        for (std::int32_t i = index + 1; i < kMaxRecordsPerTrack; ++i) {
            if (probe.count != 0 && i == probe.count - 1) {
                *next = at;
                return true;
            }
            std::int64_t stepTo = 0;
            if (--resyncBudget_ < 0 || plausibleStep(file, probe, probePos, end, &stepTo) == Step::End)
                break;
            if (stepTo == end) {
                *next = at;
                return true;
            }
            const std::uint8_t* following = headerAt(file, stepTo);
            if (!following)
                break;
            probe = parse(frame_.base, stepTo, following);
            probePos = stepTo;
        }
    }
    return false;
}

// Walks run `runIndex` on from its last record to the extent's end. With
// `share`, a step onto a record another run holds ends the walk there: the
// run goes on as that run does.
void RecordMap::walkOn(FileWindow& file, std::int32_t runIndex, std::int64_t end, bool share)
{
    Run& run = runs_[static_cast<std::size_t>(runIndex)];
    std::uint8_t seen[32] = {};
    for (const WalkedRecord& rec : run.records)
        seen[sectorOf(rec.id) >> 3] = static_cast<std::uint8_t>(seen[sectorOf(rec.id) >> 3] | (1 << (sectorOf(rec.id) & 7)));
    const std::size_t kept = run.records.size();
    for (;;) {
        WalkedRecord& rec = run.records.back();
        const auto index = static_cast<std::int32_t>(run.records.size() - 1);
        const std::int64_t pos = frame_.base + rec.offset;
        std::int64_t next = 0;
        Step step = plausibleStep(file, rec, pos, end, &next);
        rec.how = static_cast<std::uint8_t>(rec.how & ~WalkedRecord::kUnverified);
        if (step == Step::End && resync(file, rec, index, end, seen, &next))
            step = Step::Resync;
        const std::int64_t data = pos + kSectorHeaderSize + rec.size;
        if (step == Step::End && countGoesOn(rec, index)) {
            // No header is plausible, and the counts say the track goes on:
            // its size is unverified, and what the counts walk through is
            // kept as walked by them, as the strict rule reads it.
            rec.how |= WalkedRecord::kUnverified;
            if (data + kSectorHeaderSize <= end) {
                step = Step::ByCount;
                next = data;
            }
        }
        rec.setStep(step);
        if (step == Step::End || next >= end)
            break;
        if (share) {
            std::uint32_t value = 0;
            if (findPosition(next, &value)) {
                run.tailRun = static_cast<std::int32_t>(value >> 16);
                run.tailFrom = static_cast<std::int32_t>(value & 0xFFFF);
                // A plausible step reaches it: it is a record, whatever
                // reached it first.
                WalkedRecord& joined =
                    runs_[static_cast<std::size_t>(run.tailRun)].records[static_cast<std::size_t>(run.tailFrom)];
                if (step != Step::ByCount)
                    joined.how = static_cast<std::uint8_t>(joined.how & ~WalkedRecord::kCounted);
                break;
            }
        }
        const std::uint8_t* header = headerAt(file, next);
        if (share && memory_ + static_cast<std::int64_t>((run.records.size() - kept) * sizeof(WalkedRecord)) >
                         kMemoryCap) {
            overCap_ = true;
            break;
        }
        if (!header || run.records.size() >= static_cast<std::size_t>(kMaxRecordsPerTrack)) {
            run.records.back().setStep(Step::End);
            break;
        }
        WalkedRecord following = parse(frame_.base, next, header);
        if (step == Step::ByCount)
            following.how |= WalkedRecord::kCounted;
        seen[sectorOf(following.id) >> 3] =
            static_cast<std::uint8_t>(seen[sectorOf(following.id) >> 3] | (1 << (sectorOf(following.id) & 7)));
        run.records.push_back(following);
    }
    memory_ += static_cast<std::int64_t>((run.records.size() - kept) * sizeof(WalkedRecord));
    if (share)
        keepPositions(runIndex, kept == 0 ? 0 : kept - 1);
}

std::int32_t RecordMap::walkRun(FileWindow& file, std::int64_t start, std::int64_t end, bool share)
{
    runs_.emplace_back();
    const auto index = static_cast<std::int32_t>(runs_.size() - 1);
    const std::uint8_t* header = start + kSectorHeaderSize <= end ? headerAt(file, start) : nullptr;
    if (!header)
        return index;
    WalkedRecord first = parse(frame_.base, start, header);
    // A first header that is not plausible on its own is read only because
    // the table points at it: what follows is walked as the counts say.
    if (!plausibleAlone(header, start, end))
        first.how |= WalkedRecord::kCounted;
    runs_.back().records.push_back(first);
    walkOn(file, index, end, share);
    return index;
}

// Whether the run's last record, in an extent ending at `wider`, would step
// on to a plausible header: then the start where its extent ends now lies
// inside this track's records.
bool RecordMap::goesOnPast(FileWindow& file, const Run& run, std::int64_t wider)
{
    if (run.records.empty() || run.records.size() >= static_cast<std::size_t>(kMaxRecordsPerTrack))
        return false;
    std::int64_t next = 0;
    const WalkedRecord& last = run.records.back();
    return plausibleStep(file, last, frame_.base + last.offset, wider, &next) != Step::End;
}

void RecordMap::keepPositions(std::int32_t runIndex, std::size_t from)
{
    const Run& run = runs_[static_cast<std::size_t>(runIndex)];
    for (std::size_t i = from; i < run.records.size(); ++i) {
        if ((positionCount_ + 1) * 2 > positions_.size() && !growPositions())
            return;
        const std::uint32_t key = run.records[i].offset + 1;
        const std::size_t mask = positions_.size() - 1;
        std::size_t slot = slotOf(key, positions_.size());
        while (positions_[slot].key != 0 && positions_[slot].key != key)
            slot = (slot + 1) & mask;
        if (positions_[slot].key == 0) {
            positions_[slot] = Slot{key, static_cast<std::uint32_t>(runIndex) << 16 | static_cast<std::uint32_t>(i)};
            ++positionCount_;
        }
    }
}

bool RecordMap::growPositions()
{
    std::vector<Slot> grown(std::max<std::size_t>(64, positions_.size() * 2));
    const std::size_t mask = grown.size() - 1;
    for (const Slot& slot : positions_) {
        if (slot.key == 0)
            continue;
        std::size_t at = slotOf(slot.key, grown.size());
        while (grown[at].key != 0)
            at = (at + 1) & mask;
        grown[at] = slot;
    }
    memory_ += static_cast<std::int64_t>((grown.size() - positions_.size()) * sizeof(Slot));
    positions_ = std::move(grown);
    return true;
}

bool RecordMap::findPosition(std::int64_t pos, std::uint32_t* value) const
{
    if (positions_.empty())
        return false;
    const auto key = static_cast<std::uint32_t>(pos - frame_.base + 1);
    const std::size_t mask = positions_.size() - 1;
    for (std::size_t slot = slotOf(key, positions_.size());; slot = (slot + 1) & mask) {
        if (positions_[slot].key == 0)
            return false;
        if (positions_[slot].key == key) {
            *value = positions_[slot].value;
            return true;
        }
    }
}

// Whether the disk size field lies: the disk's end by it falls before or
// inside the records of a track its own table names, and no disk header
// that names a plausible track stands there.
bool RecordMap::lieCheck(FileWindow& file)
{
    const auto size = static_cast<std::uint32_t>(frame_.diskSize);
    bool names = false;
    for (std::int32_t t = 0; t < frame_.entries; ++t)
        names = names || frame_.offsets[t] > 0;
    if (!names)
        return false;
    if (size < static_cast<std::uint32_t>(kDiskHeaderSize) || frame_.diskSize < 0)
        return true;
    const std::int64_t claimedEnd = frame_.base + size;
    if (claimedEnd >= frame_.fileSize)
        return false;
    bool hides = false;
    std::int64_t lastBelow = -1;
    for (std::int32_t t = 0; t < frame_.entries; ++t) {
        const std::int32_t offset = frame_.offsets[t];
        if (offset <= 0 || offset < kTrackTableOffset + 4 * (t + 1))
            continue;
        const std::int64_t start = frame_.base + offset;
        if (static_cast<std::uint32_t>(offset) > size && start < frame_.fileSize)
            hides = true;
        else if (static_cast<std::uint32_t>(offset) < size)
            lastBelow = std::max(lastBelow, start);
    }
    if (!hides && lastBelow >= 0) {
        // Inside the records of the last track below it?
        const std::int32_t probe = walkRun(file, lastBelow, frame_.fileSize, false);
        for (const WalkedRecord& rec : runs_[static_cast<std::size_t>(probe)].records)
            if (rec.counted() ? false : frame_.base + rec.offset >= claimedEnd)
                hides = true;
        const Run& run = runs_[static_cast<std::size_t>(probe)];
        if (!run.records.empty()) {
            const WalkedRecord& last = run.records.back();
            hides = hides || (!last.counted() && frame_.base + last.offset < claimedEnd &&
                              frame_.base + last.offset + kSectorHeaderSize + last.size > claimedEnd);
        }
        dropRuns();
    }
    if (!hides)
        return false;
    // A disk header there that names a present track with a plausible first
    // record: the size told the truth, and that is the next disk.
    const std::uint8_t* header = nullptr;
    if (claimedEnd + kDiskHeaderSize > frame_.fileSize ||
        file.view(claimedEnd, kDiskHeaderSize, &header) < kDiskHeaderSize)
        return true;
    for (std::int32_t t = 0; t < kMaxTracks; ++t) {
        const std::int32_t offset = readLE32(header + kTrackTableOffset + 4 * t);
        if (offset < kTrackTableOffset + 4 * (t + 1) || claimedEnd + offset + kSectorHeaderSize > frame_.fileSize)
            continue;
        const std::uint8_t* first = nullptr;
        if (file.view(claimedEnd + offset, kSectorHeaderSize, &first) == kSectorHeaderSize &&
            plausibleAlone(first, claimedEnd + offset, frame_.fileSize))
            return false;
        if (file.view(claimedEnd, kDiskHeaderSize, &header) < kDiskHeaderSize)
            return true;
    }
    return true;
}

void RecordMap::layOut(FileWindow& file, const DiskFrame& frame)
{
    frame_ = frame;
    dropRuns();
    lone_ = false;
    diskEnd_ = -1;
    // Positions are kept as 32-bit offsets from the disk's start: no extent
    // reaches 4 GiB past it.
    const std::int64_t limit = std::min<std::int64_t>(frame.fileSize, frame.base + 0xFFFFFFF0ll);
    sizeLies_ = lieCheck(file);
    const auto size = static_cast<std::uint32_t>(frame.diskSize);
    const std::int64_t claimedEnd = frame.base + size;
    bound_ = !sizeLies_ && size > 0 && claimedEnd <= limit ? claimedEnd : limit;
    const std::int64_t headerEnd = kTrackTableOffset + 4 * static_cast<std::int64_t>(frame.entries);
    starts_.clear();
    for (std::int32_t t = 0; t < kMaxTracks; ++t) {
        const std::int32_t offset = frame.offsets[t];
        TrackStanding& standing = standing_[t];
        start_[t] = frame.base + offset;
        // An entry equal to a disk size that tells the truth is the disk's
        // end: it names no track.
        const bool pastSize = !sizeLies_ && size > 0 && static_cast<std::uint32_t>(offset) >= size;
        if (t >= frame.entries || offset <= 0 || pastSize)
            standing = TrackStanding::Absent;
        else if (offset < headerEnd)
            standing = TrackStanding::IntoHeader;
        else if (start_[t] >= bound_)
            standing = TrackStanding::PastEnd;
        else
            standing = TrackStanding::Present;
        if (standing == TrackStanding::Present)
            starts_.push_back(start_[t]);
    }
    std::sort(starts_.begin(), starts_.end());
    starts_.erase(std::unique(starts_.begin(), starts_.end()), starts_.end());
    extents_.assign(starts_.size(), -1);
    startViews_.assign(starts_.size(), TrackView{});
    laidOut_ = 0;
    covered_ = 0;
}

TrackStanding RecordMap::standing(std::int32_t track) const
{
    return track >= 0 && track < kMaxTracks ? standing_[track] : TrackStanding::Absent;
}

std::int32_t RecordMap::firstWithSameStart(std::int32_t track) const
{
    for (std::int32_t t = 0; t < track; ++t)
        if (standing_[t] == TrackStanding::Present && start_[t] == start_[track])
            return t;
    return track;
}

// Extents are laid out from the lowest start up: a start that lies inside an
// earlier track's records shares that track's extent, and its view is that
// track's records from there on when it is one of them; any other start's
// extent reaches to the next start its records do not go on past.
std::int64_t RecordMap::extentOf(FileWindow& file, std::size_t at)
{
    const std::size_t count = starts_.size();
    const auto endAt = [&](std::size_t i) { return i < count ? starts_[i] : bound_; };
    while (laidOut_ <= at) {
        const std::size_t i = laidOut_++;
        if (starts_[i] < covered_) {
            extents_[i] = covered_;
            if (lone_)
                continue;
            std::uint32_t value = 0;
            if (findPosition(starts_[i], &value)) {
                startViews_[i].run = static_cast<std::int32_t>(value >> 16);
                startViews_[i].from = static_cast<std::int32_t>(value & 0xFFFF);
            } else {
                startViews_[i].run = walkRun(file, starts_[i], covered_, true);
                runs_[static_cast<std::size_t>(startViews_[i].run)].owner = static_cast<std::int32_t>(i);
            }
            if (overCap_)
                return -1;
            continue;
        }
        std::size_t next = i + 1;
        const std::int32_t runIndex = walkRun(file, starts_[i], endAt(next), !lone_);
        while (!overCap_ && next < count &&
               goesOnPast(file, runs_[static_cast<std::size_t>(runIndex)], endAt(next + 1)))
            walkOn(file, runIndex, endAt(++next), !lone_);
        if (overCap_)
            return -1;
        covered_ = extents_[i] = endAt(next);
        if (lone_) {
            runs_.pop_back();
        } else {
            startViews_[i].run = runIndex;
            runs_[static_cast<std::size_t>(runIndex)].owner = static_cast<std::int32_t>(i);
        }
    }
    return extents_[at];
}

bool RecordMap::view(FileWindow& file, std::int32_t track, TrackView* out)
{
    if (standing(track) != TrackStanding::Present)
        return false;
    const auto at = static_cast<std::size_t>(std::lower_bound(starts_.begin(), starts_.end(), start_[track]) -
                                             starts_.begin());
    // Allocation is the only thing here that can fail by throwing; the reader
    // reports it as it reports a read that failed.
    try {
        if (!lone_) {
            extentOf(file, at);
            if (overCap_) {
                // Past the cap nothing is kept: the extents are laid out
                // afresh and each track is walked alone.
                dropRuns();
                lone_ = true;
                overCap_ = false;
                laidOut_ = 0;
                covered_ = 0;
                startViews_.assign(starts_.size(), TrackView{});
            }
        }
        if (lone_) {
            const std::int64_t end = extentOf(file, at);
            dropRuns();
            *out = TrackView{};
            out->run = walkRun(file, starts_[at], end, false);
            finishView(out);
        } else {
            if (startViews_[at].length < 0)
                finishView(&startViews_[at]);
            *out = startViews_[at];
        }
        return file.error() == 0;
    } catch (const std::bad_alloc&) {
        file.noteError(ENOMEM);
        dropRuns();
        startViews_.assign(starts_.size(), TrackView{});
        laidOut_ = 0;
        covered_ = 0;
        return false;
    }
}

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
    memory_ += static_cast<std::int64_t>(run.nominals.size() * 4 + run.zeros.size() * 4 + run.enders.size() * 8);
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
        std::int32_t track = 0;
        while (track < kMaxTracks && (standing_[track] != TrackStanding::Present || start_[track] != starts_[at]))
            ++track;
        if (track < kMaxTracks && view(file, track, &v) && v.run >= 0)
            views.emplace_back(static_cast<std::int32_t>(at), v);
    }
    if (lone_)
        return;
    // (from, start) for each view of a run, and (from, -1) where another
    // run's tail starts; runs refer to runs made before them.
    std::vector<std::vector<std::pair<std::int32_t, std::int32_t>>> wanted(runs_.size());
    for (const auto& [at, v] : views)
        wanted[static_cast<std::size_t>(v.run)].emplace_back(v.from, at);
    for (const Run& run : runs_)
        if (run.tailRun >= 0)
            wanted[static_cast<std::size_t>(run.tailRun)].emplace_back(run.tailFrom, -1);
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
                SectorTable out = table;
                for (int i = 0; i < 256; ++i)
                    out.first[i] = out.count[i] ? length - out.first[i] : 0;
                if (next->second >= 0) {
                    tables_[static_cast<std::size_t>(next->second)] = out;
                } else {
                    // Another run's tail starts here: keep it by distance.
                    for (std::size_t other = r + 1; other < runs_.size(); ++other)
                        if (runs_[other].tailRun == static_cast<std::int32_t>(r) && runs_[other].tailFrom == from)
                            atTail[other] = table;
                }
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
        buildTables(file);
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
    if (!sizeLies_) {
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
                  SectorId{static_cast<std::uint8_t>(which.id), static_cast<std::uint8_t>(which.id >> 8),
                           static_cast<std::uint8_t>(which.id >> 16), static_cast<std::uint8_t>(which.id >> 24)},
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
    memory_ -= static_cast<std::int64_t>(run.ids.capacity() * sizeof(std::uint64_t));
    run.ids.resize(run.records.size());
    for (std::size_t i = 0; i < run.records.size(); ++i)
        run.ids[i] = static_cast<std::uint64_t>(run.records[i].id) << 32 | i;
    std::sort(run.ids.begin(), run.ids.end());
    memory_ += static_cast<std::int64_t>(run.ids.capacity() * sizeof(std::uint64_t));
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
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(frame_.fileSize - data, 0, stored));
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
