// The record map: every record of a disk's area walked once and kept once.
// Byte layout of a record (integers little-endian):
//
//   record := 0  C, H, R, N (u8 each)  cylinder, head, sector number, size code
//             4  sector count (16)     records in this track
//             6  density (u8)          0x00 double, 0x40 single
//             7  deleted mark (u8)     0x10: deleted-data address mark
//             8  status (u8)           controller status when dumped
//             9  reserved[5]
//             14 data size (16)        bytes of data following the header
//             16 data[data size]
//
// and of the disk header at a disk size's end, which is read to tell
// whether the size lies: its track table at 0x20, 164 entries of 32 bits.
#include "record_map.h"

#include <algorithm>
#include <cstring>
#include <cerrno>
#include <limits>
#include <new>

namespace d88 {

namespace {

// Resynchronisation looks into a record's claimed data for a header the
// walk can go on from; crafted data can offer a candidate at every byte, and
// chains from candidates that resynchronise again. The bytes all of a disk's
// resynchronisations may look through are bounded, so that no image costs
// more than a fixed amount past its size; past that, records are left
// "size unverified".
constexpr std::int64_t kResyncBudget = 16 << 20;
// A run's records can be named by a 16-bit ordinal.
static_assert(kMaxRecordsPerTrack <= 0xFFFF);

constexpr std::uint32_t idOf(const std::uint8_t* header)
{
    return static_cast<std::uint32_t>(header[0]) | (static_cast<std::uint32_t>(header[1]) << 8) |
           (static_cast<std::uint32_t>(header[2]) << 16) | (static_cast<std::uint32_t>(header[3]) << 24);
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

// The parts of plausibility a header has on its own, as record `index` of
// its track: a size code a record can hold, a density byte the format
// knows, not sixteen zero bytes (sector 0, a count of 0, no data:
// zero-filled space is not read as records), and the record within the
// extent by the smaller of its data size and its nominal size (so that a
// lying size alone does not make it implausible); or, for the record its
// count says is the track's last, its header within the extent (a last
// sector stored short ends where the track does).
bool plausibleAlone(const std::uint8_t* header, std::int64_t pos, std::int64_t end, std::int32_t index)
{
    if (pos + kSectorHeaderSize > end || header[3] > kMaxStorableSizeCode)
        return false;
    if (header[kDensityOffset] != 0x00 && header[kDensityOffset] != 0x40)
        return false;
    if (std::all_of(header, header + kSectorHeaderSize, [](std::uint8_t b) { return b == 0; }))
        return false;
    const std::int32_t smaller = std::min(readLE16(header + kDataSizeOffset), nominalSectorSize(header[3]));
    return pos + kSectorHeaderSize + smaller <= end || readLE16(header + kSectorCountOffset) == index + 1;
}

// Whether the header at `pos` may follow `prev` (record `index` - 1) in a
// track whose extent ends at `end`: plausible on its own, and of the same
// cylinder and head.
bool plausible(FileWindow& file, std::int64_t pos, std::uint32_t prevId, std::int64_t end, std::int32_t index)
{
    if (pos + kSectorHeaderSize > end)
        return false;
    const std::uint8_t* header = headerAt(file, pos);
    return header && (idOf(header) & 0xFFFF) == (prevId & 0xFFFF) && plausibleAlone(header, pos, end, index);
}

// The plausible step on from record `index`, at `pos`: by its data size,
// else by its nominal size, landing on a plausible header or exactly on the
// end.
Step plausibleStep(FileWindow& file, const WalkedRecord& rec, std::int64_t pos, std::int32_t index,
                   std::int64_t end, std::int64_t* next)
{
    const std::int64_t data = pos + kSectorHeaderSize + rec.size;
    if (data == end || plausible(file, data, rec.id, end, index + 1)) {
        *next = data;
        return Step::BySize;
    }
    const std::int32_t nominal = nominalSectorSize(sizeCodeOf(rec.id));
    if (nominal > 0) {
        const std::int64_t stepped = pos + kSectorHeaderSize + nominal;
        if (stepped == end || plausible(file, stepped, rec.id, end, index + 1)) {
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

void markR(std::uint8_t* seen, std::uint8_t r)
{
    seen[r >> 3] = static_cast<std::uint8_t>(seen[r >> 3] | (1 << (r & 7)));
}

// A record's slot: its offset mixed so that every bit moves every bit of the
// slot. Offsets of a track come in steps of a record's length, and a plain
// multiplicative hash lays such steps out in runs that linear probing then
// walks end to end.
std::size_t slotOf(std::uint32_t key, std::size_t slots)
{
    std::uint64_t mixed = key;
    mixed ^= mixed >> 33;
    mixed *= 0xFF51AFD7ED558CCDull;
    mixed ^= mixed >> 33;
    mixed *= 0xC4CEB9FE1A85EC53ull;
    mixed ^= mixed >> 33;
    return static_cast<std::size_t>(mixed) & (slots - 1);
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
    tables_.clear();
    tablesMade_ = false;
    loneStart_ = -1;
}

// The resynchronisation: neither step from `rec` (record `index`, at `pos`)
// landed. The record is stored short when a header lies inside its claimed
// data, at the first position after its own header that holds the record's
// C, H and N, a known density, an R the track has not shown yet, and from
// which plausible records chain to the extent's end or to the record whose
// count says it is the track's last.
bool RecordMap::resync(FileWindow& file, const WalkedRecord& rec, std::int32_t index, std::int64_t end,
                       const std::uint8_t* seen, std::int64_t* next, int depth)
{
    // A track may hold several records stored short: the chain from a
    // candidate may itself need to resynchronise, a few times over.
    constexpr int kMaxDepth = 16;
    const std::int64_t pos = frame_.base + rec.offset;
    const std::int64_t claimed = std::max<std::int64_t>(rec.size, nominalSectorSize(sizeCodeOf(rec.id)));
    const std::int64_t claimedEnd = std::min(pos + kSectorHeaderSize + claimed, end - kSectorHeaderSize + 1);
    const std::int64_t from = pos + kSectorHeaderSize;
    if (claimedEnd <= from)
        return false;
    // The claimed data and the header that may start at its last byte, seen
    // at once: candidates are found by their cylinder byte.
    const std::uint8_t* bytes = nullptr;
    const std::int64_t span = file.view(from, static_cast<std::int32_t>(std::min<std::int64_t>(
                                                  claimedEnd - from + kSectorHeaderSize - 1, FileWindow::kMaxView)),
                                        &bytes);
    const std::int64_t last = std::min(claimedEnd, from + span - kSectorHeaderSize + 1);
    // Each look costs at least a record's worth, however little it sees.
    resyncBudget_ -= std::max<std::int64_t>(last - from, 256);
    if (resyncBudget_ < 0)
        return false;
    for (std::int64_t at = from; at < last; ++at) {
        const void* c = std::memchr(bytes + (at - from), static_cast<int>(rec.id & 0xFF),
                                    static_cast<std::size_t>(last - at));
        if (!c)
            break;
        at = from + (static_cast<const std::uint8_t*>(c) - bytes);
        const std::uint8_t* header = bytes + (at - from);
        if (header[1] != ((rec.id >> 8) & 0xFF) || header[3] != (rec.id >> 24))
            continue;
        if (--resyncBudget_ < 0)
            return false;
        const std::uint32_t id = idOf(header);
        if ((id & 0xFF00FFFF) != (rec.id & 0xFF00FFFF) || seenR(seen, sectorOf(id)) ||
            !plausibleAlone(header, at, end, index + 1))
            continue;
        // Does a plausible chain lead from it to the end?
        WalkedRecord probe = parse(frame_.base, at, header);
        std::int64_t probePos = at;
        std::uint8_t probeSeen[32];
        std::copy(seen, seen + 32, probeSeen);
        for (std::int32_t i = index + 1; i < kMaxRecordsPerTrack; ++i) {
            markR(probeSeen, sectorOf(probe.id));
            if (probe.count != 0 && i == probe.count - 1) {
                *next = at;
                return true;
            }
            std::int64_t stepTo = 0;
            if (--resyncBudget_ < 0)
                break;
            if (plausibleStep(file, probe, probePos, i, end, &stepTo) == Step::End &&
                (depth >= kMaxDepth || !resync(file, probe, i, end, probeSeen, &stepTo, depth + 1)))
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
        // The chain's reads may have moved the window: see the data again.
        if (file.view(from, static_cast<std::int32_t>(span), &bytes) < span)
            return false;
    }
    return false;
}

// Walks run `runIndex` on from its last record to the extent's end. With
// `share`, a step onto a record another run holds ends the walk there: the
// run goes on as that run does.
void RecordMap::walkOn(FileWindow& file, std::int32_t runIndex, std::int64_t end, bool share)
{
    Run& run = runs_[static_cast<std::size_t>(runIndex)];
    run.end = end;
    std::uint8_t seen[32] = {};
    for (const WalkedRecord& rec : run.records)
        markR(seen, sectorOf(rec.id));
    const std::size_t kept = run.records.size();
    for (;;) {
        WalkedRecord& rec = run.records.back();
        const auto index = static_cast<std::int32_t>(run.records.size() - 1);
        const std::int64_t pos = frame_.base + rec.offset;
        std::int64_t next = 0;
        Step step = plausibleStep(file, rec, pos, index, end, &next);
        rec.how = static_cast<std::uint8_t>(rec.how & ~WalkedRecord::kUnverified);
        if (step == Step::End && resync(file, rec, index, end, seen, &next, 0))
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
        // What a kept record costs at most, in its run (which grows by
        // doubling), the position table (kept half empty, and doubled by
        // copying) and the indexes a view is read by.
        constexpr std::int64_t kBytesPerRecord = 80;
        if (share && static_cast<std::int64_t>(positionCount_ + run.records.size() - kept + 1) * kBytesPerRecord >
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
        markR(seen, sectorOf(following.id));
        run.records.push_back(following);
    }
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
    if (!plausibleAlone(header, start, end, 0))
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
    return plausibleStep(file, last, frame_.base + last.offset, static_cast<std::int32_t>(run.records.size() - 1),
                         wider, &next) != Step::End;
}

void RecordMap::keepPositions(std::int32_t runIndex, std::size_t from)
{
    const Run& run = runs_[static_cast<std::size_t>(runIndex)];
    for (std::size_t i = from; i < run.records.size(); ++i) {
        if ((positionCount_ + 1) * 2 > positions_.size())
            growPositions();
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

void RecordMap::growPositions()
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
    positions_ = std::move(grown);
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

// Whether a disk header at `at` names a present track whose first record is
// plausible: then a disk really starts there.
static bool diskHeaderAt(FileWindow& file, std::int64_t at, std::int64_t fileSize)
{
    const std::uint8_t* header = nullptr;
    if (at + kDiskHeaderSize > fileSize || file.view(at, kDiskHeaderSize, &header) < kDiskHeaderSize)
        return false;
    for (std::int32_t t = 0; t < kMaxTracks; ++t) {
        const std::int32_t offset = readLE32(header + kTrackTableOffset + 4 * t);
        if (offset < kTrackTableOffset + 4 * (t + 1) || at + offset + kSectorHeaderSize > fileSize)
            continue;
        const std::uint8_t* first = nullptr;
        if (file.view(at + offset, kSectorHeaderSize, &first) == kSectorHeaderSize &&
            plausibleAlone(first, at + offset, fileSize, 0))
            return true;
        // The look at the record may have moved the window.
        if (file.view(at, kDiskHeaderSize, &header) < kDiskHeaderSize)
            return false;
    }
    return false;
}

// Whether the disk size field lies: the disk's end by it falls before or
// inside the records of a track its own table names, and no disk header
// that names a plausible track stands there. The header is looked at first:
// where disks follow one another, that settles it without a walk.
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
    if (claimedEnd >= frame_.fileSize || diskHeaderAt(file, claimedEnd, frame_.fileSize))
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
        const Run& run = runs_[static_cast<std::size_t>(probe)];
        for (const WalkedRecord& rec : run.records)
            hides = hides || (!rec.counted() && frame_.base + rec.offset >= claimedEnd);
        if (!run.records.empty()) {
            const WalkedRecord& last = run.records.back();
            hides = hides || (!last.counted() && frame_.base + last.offset < claimedEnd &&
                              frame_.base + last.offset + kSectorHeaderSize + last.size > claimedEnd);
        }
        runs_.pop_back();
    }
    return hides;
}

std::int64_t RecordMap::bound(FileWindow& file)
{
    if (!liesKnown_) {
        liesKnown_ = true;
        sizeLies_ = lieCheck(file);
        if (sizeLies_)
            bound_ = limit_;
    }
    return bound_;
}

bool RecordMap::diskSizeLies(FileWindow& file)
{
    bound(file);
    return sizeLies_;
}

void RecordMap::layOut(FileWindow& file, const DiskFrame& frame)
{
    frame_ = frame;
    dropRuns();
    resyncBudget_ = kResyncBudget;
    lone_ = false;
    diskEnd_ = -1;
    // Positions are kept as 32-bit offsets from the disk's start: no extent
    // reaches 4 GiB past it.
    const std::int64_t limit = std::min<std::int64_t>(frame.fileSize, frame.base + 0xFFFFFFF0ll);
    const auto size = static_cast<std::uint32_t>(frame.diskSize);
    const std::int64_t claimedEnd = frame.base + size;
    // Whether the size lies decides which tracks are present only when the
    // table names one at or past it, or the size is small, negative or past
    // the file. Otherwise it decides only where the last track may end, and
    // is told when that is first asked (a cut of one file of one of many
    // disks never asks).
    bool now = size < static_cast<std::uint32_t>(kDiskHeaderSize) || frame.diskSize < 0 || claimedEnd >= limit;
    for (std::int32_t t = 0; t < frame.entries && !now; ++t)
        now = frame.offsets[t] > 0 && static_cast<std::uint32_t>(frame.offsets[t]) >= size;
    sizeLies_ = now && lieCheck(file);
    liesKnown_ = now;
    bound_ = !sizeLies_ && size > 0 && claimedEnd <= limit ? claimedEnd : limit;
    limit_ = limit;
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

// The lowest present track that starts at `start`; -1 when none does.
std::int32_t RecordMap::firstTrackAt(std::int64_t start) const
{
    for (std::int32_t t = 0; t < kMaxTracks; ++t)
        if (standing_[t] == TrackStanding::Present && start_[t] == start)
            return t;
    return -1;
}

std::int32_t RecordMap::firstWithSameStart(std::int32_t track) const
{
    const std::int32_t first = firstTrackAt(start_[track]);
    return first >= 0 && first < track ? first : track;
}

std::int32_t RecordMap::ownerTrack(std::int32_t index) const
{
    const std::int32_t owner = run(index).owner;
    return owner >= 0 ? firstTrackAt(starts_[static_cast<std::size_t>(owner)]) : -1;
}

// Extents are laid out from the lowest start up: a start that lies inside an
// earlier track's records shares that track's extent, and its view is that
// track's records from there on when it is one of them; any other start's
// extent reaches to the next start its records do not go on past.
std::int64_t RecordMap::extentOf(FileWindow& file, std::size_t at)
{
    const std::size_t count = starts_.size();
    const auto endAt = [&](std::size_t i) { return i < count ? starts_[i] : bound(file); };
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
            // The track walked last is kept until another is asked for.
            if (loneStart_ != static_cast<std::int64_t>(at) || runs_.empty()) {
                const std::int64_t end = extentOf(file, at);
                dropRuns();
                loneView_ = TrackView{};
                loneView_.run = walkRun(file, starts_[at], end, false);
                finishView(&loneView_);
                loneStart_ = static_cast<std::int64_t>(at);
            }
            *out = loneView_;
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

} // namespace d88
