#include "track_index.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <new>

namespace d88 {

namespace {

constexpr std::size_t kScanned = 32; // shorter walks are quicker to scan than to hash

constexpr std::uint32_t idOf(const std::uint8_t* header)
{
    return static_cast<std::uint32_t>(header[0]) | (static_cast<std::uint32_t>(header[1]) << 8) |
           (static_cast<std::uint32_t>(header[2]) << 16) | (static_cast<std::uint32_t>(header[3]) << 24);
}

constexpr std::int32_t sizeCodeOf(std::uint32_t id)
{
    return static_cast<std::int32_t>(id >> 24);
}

const std::uint8_t* headerAt(FileWindow& file, std::int64_t pos)
{
    const std::uint8_t* bytes = nullptr;
    return file.view(pos, kSectorHeaderSize, &bytes) == kSectorHeaderSize ? bytes : nullptr;
}

WalkedRecord parse(const Walk& walk, std::int64_t pos, const std::uint8_t* header)
{
    return WalkedRecord{static_cast<std::uint32_t>(pos - walk.start),
                        idOf(header),
                        static_cast<std::uint16_t>(readLE16(header + kSectorCountOffset)),
                        static_cast<std::uint16_t>(readLE16(header + kDataSizeOffset)),
                        header[kDensityOffset],
                        header[kDeletedMarkOffset],
                        header[kStatusOffset],
                        Step::End};
}

// Whether the header at `pos` may follow `prev` in a track whose extent ends
// at `end`: the same cylinder and head, a size code a record can hold, a
// density byte the format knows, and the record within the extent (by the
// smaller of its data size and its nominal size, so that a lying size alone
// does not make it implausible). Sixteen zero bytes describe no record
// (sector 0, a count of 0, no data): zero-filled space after a track of
// cylinder 0 and head 0 is not read as records.
bool plausible(FileWindow& file, std::int64_t pos, const WalkedRecord& prev, std::int64_t end)
{
    if (pos + kSectorHeaderSize > end)
        return false;
    const std::uint8_t* header = headerAt(file, pos);
    if (!header || (idOf(header) & 0xFFFF) != (prev.id & 0xFFFF) || header[3] > kMaxStorableSizeCode)
        return false;
    if (std::all_of(header, header + kSectorHeaderSize, [](std::uint8_t b) { return b == 0; }))
        return false;
    if (header[kDensityOffset] != 0x00 && header[kDensityOffset] != 0x40)
        return false;
    const std::int32_t smaller = std::min(readLE16(header + kDataSizeOffset), nominalSectorSize(header[3]));
    return pos + kSectorHeaderSize + smaller <= end;
}

// How the walk goes on from `rec`, record `index` of its walk at `pos`, in a
// track whose extent ends at `end`; `next` is where. Steps by the counts are
// left out when only the plausible steps are asked for.
Step decide(FileWindow& file, const WalkedRecord& rec, std::int64_t pos, std::int32_t index, std::int64_t end,
            bool byCount, std::int64_t* next)
{
    const std::int64_t data = pos + kSectorHeaderSize + rec.size;
    if (data == end || plausible(file, data, rec, end)) {
        *next = data;
        return Step::BySize;
    }
    const std::int32_t nominal = nominalSectorSize(sizeCodeOf(rec.id));
    if (nominal > 0) {
        const std::int64_t stepped = pos + kSectorHeaderSize + nominal;
        if (stepped == end || plausible(file, stepped, rec, end)) {
            *next = stepped;
            return Step::ByNominal;
        }
    }
    // Where no header is plausible, the counts are the hint the strict rule
    // follows: a decoy run that the counts carry on through is walked.
    if (byCount && rec.count != 0 && index < rec.count - 1 && data + kSectorHeaderSize <= end) {
        *next = data;
        return Step::ByCount;
    }
    return Step::End;
}

// Walks on from the walk's last record (from its start when it has none) to
// the end of its extent.
void walkOn(FileWindow& file, Walk& walk)
{
    if (walk.records.empty()) {
        const std::uint8_t* header =
            walk.start + kSectorHeaderSize <= walk.end ? headerAt(file, walk.start) : nullptr;
        if (!header)
            return;
        walk.records.push_back(parse(walk, walk.start, header));
    }
    for (;;) {
        const auto index = static_cast<std::int32_t>(walk.records.size() - 1);
        std::int64_t next = 0;
        const Step step =
            decide(file, walk.records.back(), walk.posOf(walk.records.back()), index, walk.end, true, &next);
        walk.records.back().step = step;
        if (step == Step::End || next >= walk.end)
            return;
        const std::uint8_t* header = headerAt(file, next);
        if (!header || walk.records.size() >= static_cast<std::size_t>(kMaxRecordsPerTrack)) {
            walk.records.back().step = Step::End;
            return;
        }
        walk.records.push_back(parse(walk, next, header));
    }
}

// Whether the walk's last record, in an extent ending at `wider`, would step
// on to a plausible header: then the start where its extent ends now lies
// inside this track's records.
bool goesOnPast(FileWindow& file, const Walk& walk, std::int64_t wider)
{
    if (walk.records.empty() || walk.records.size() >= static_cast<std::size_t>(kMaxRecordsPerTrack))
        return false;
    std::int64_t next = 0;
    const auto index = static_cast<std::int32_t>(walk.records.size() - 1);
    const Step step =
        decide(file, walk.records.back(), walk.posOf(walk.records.back()), index, wider, false, &next);
    return step == Step::BySize || step == Step::ByNominal;
}

// Where an ID's search starts in a table of `slots` (a power of two) slots:
// the top bits of its product with 2^32 / phi, which every bit of the ID
// moves (a track's IDs often differ only in R and N, the top bytes).
std::size_t slotOf(std::uint32_t id, std::size_t slots)
{
    int bits = 0;
    while ((std::size_t{1} << bits) < slots)
        ++bits;
    return static_cast<std::size_t>((id * 0x9E3779B1u) >> (32 - bits));
}

// A table of each ID's first record, for walks too long to scan on every
// lookup: open addressing, twice as many slots as records.
void buildIds(Walk& walk)
{
    std::size_t slots = 64;
    while (slots < 2 * walk.records.size())
        slots *= 2;
    walk.ids.assign(slots, 0);
    const std::size_t mask = slots - 1;
    for (std::size_t i = 0; i < walk.records.size(); ++i) {
        const std::uint32_t id = walk.records[i].id;
        std::size_t slot = slotOf(id, slots);
        while (walk.ids[slot] != 0 && walk.records[walk.ids[slot] - 1].id != id)
            slot = (slot + 1) & mask;
        if (walk.ids[slot] == 0)
            walk.ids[slot] = static_cast<std::uint32_t>(i + 1);
    }
}

// Where the strict rule parts from the walk. It examines the same records
// while they step by their data sizes, up to the record whose count ends it,
// or to the end of the file when none does.
void finish(Walk& walk, std::int64_t fileSize)
{
    const auto count = static_cast<std::int32_t>(walk.records.size());
    for (std::int32_t i = 0; i < count && walk.firstNominal < 0; ++i)
        if (walk.records[static_cast<std::size_t>(i)].step == Step::ByNominal)
            walk.firstNominal = i;
    // The strict walk shares the records up to the first that lied about its
    // size, and steps from there by the size that lied: unless it ends
    // there, it leaves the walk.
    const std::int32_t shared = walk.firstNominal >= 0 ? walk.firstNominal + 1 : count;
    std::int32_t seen = -1;
    for (std::int32_t i = 0; i < shared; ++i) {
        const std::int32_t recordCount = walk.records[static_cast<std::size_t>(i)].count;
        if (recordCount == 0 || i == recordCount - 1) {
            walk.countEnd = i;
            seen = recordCount == 0 ? i : i + 1;
            break;
        }
        if (i == kMaxRecordsPerTrack - 1) {
            seen = kMaxRecordsPerTrack;
            break;
        }
    }
    if (seen < 0 && count > 0 && shared == count) {
        const WalkedRecord& last = walk.records.back();
        if (walk.posOf(last) + 2 * kSectorHeaderSize + last.size > fileSize)
            seen = count;
    }
    walk.strictSeen = seen;
    walk.records.shrink_to_fit();
    if (walk.records.size() > kScanned)
        buildIds(walk);
}

std::int64_t memoryOf(const Walk& walk)
{
    return static_cast<std::int64_t>(sizeof(Walk) + walk.records.capacity() * sizeof(WalkedRecord) +
                                     walk.ids.capacity() * sizeof(std::uint32_t));
}

} // namespace

void TrackIndex::forget()
{
    dropWalks();
    starts_.clear();
    extents_.clear();
    laidOut_ = 0;
    covered_ = 0;
    std::fill(std::begin(standing_), std::end(standing_), TrackStanding::Absent);
}

void TrackIndex::dropWalks()
{
    walks_.clear();
    byKey_.clear();
    memory_ = 0;
}

void TrackIndex::layOut(const DiskFrame& frame)
{
    frame_ = frame;
    const std::int64_t diskEnd = frame.base + frame.diskSize;
    bound_ = frame.diskSize > 0 && diskEnd <= frame.fileSize ? diskEnd : frame.fileSize;
    diskSizeLies_ = frame.diskSize <= 0;
    const std::int64_t headerEnd = kTrackTableOffset + 4 * static_cast<std::int64_t>(frame.entries);
    starts_.clear();
    for (std::int32_t t = 0; t < kMaxTracks; ++t) {
        const std::int32_t offset = frame.offsets[t];
        TrackStanding& standing = standing_[t];
        start_[t] = frame.base + offset;
        if (t >= frame.entries || offset <= 0 || (frame.diskSize > 0 && offset >= frame.diskSize))
            standing = TrackStanding::Absent;
        else if (offset < headerEnd)
            standing = TrackStanding::IntoHeader;
        else if (start_[t] >= frame.fileSize)
            standing = TrackStanding::PastEnd;
        else
            standing = TrackStanding::Present;
        if (standing == TrackStanding::Present)
            starts_.push_back(start_[t]);
    }
    std::sort(starts_.begin(), starts_.end());
    starts_.erase(std::unique(starts_.begin(), starts_.end()), starts_.end());
    extents_.assign(starts_.size(), -1);
    laidOut_ = 0;
    covered_ = 0;
}

TrackStanding TrackIndex::standing(std::int32_t track) const
{
    return track >= 0 && track < kMaxTracks ? standing_[track] : TrackStanding::Absent;
}

std::int32_t TrackIndex::firstWithSameStart(std::int32_t track) const
{
    for (std::int32_t t = 0; t < track; ++t)
        if (standing_[t] == TrackStanding::Present && start_[t] == start_[track])
            return t;
    return track;
}

// Extents are laid out from the lowest start up: a start that lies inside an
// earlier track's records shares that track's extent; any other start's
// extent reaches to the next start its records do not go on past.
std::int64_t TrackIndex::extentOf(FileWindow& file, std::int32_t track)
{
    const auto at = static_cast<std::size_t>(std::lower_bound(starts_.begin(), starts_.end(), start_[track]) -
                                             starts_.begin());
    const std::size_t count = starts_.size();
    const auto endAt = [&](std::size_t i) { return i < count ? starts_[i] : bound_; };
    while (laidOut_ <= at) {
        if (starts_[laidOut_] < covered_) {
            extents_[laidOut_++] = covered_;
            continue;
        }
        std::size_t next = laidOut_ + 1;
        Walk walk;
        walk.start = starts_[laidOut_];
        walk.end = endAt(next);
        walkOn(file, walk);
        while (next < count && goesOnPast(file, walk, endAt(next + 1))) {
            walk.end = endAt(++next);
            walkOn(file, walk);
        }
        covered_ = extents_[laidOut_++] = walk.end;
        keep(file, std::move(walk));
    }
    return extents_[at];
}

const Walk* TrackIndex::walk(FileWindow& file, std::int32_t track)
{
    if (standing(track) != TrackStanding::Present)
        return nullptr;
    // Allocation is the only thing here that can fail by throwing; the reader
    // reports it as it reports a read that failed.
    try {
        const Key key{start_[track], extentOf(file, track)};
        if (const auto it = byKey_.find(key); it != byKey_.end())
            return &walks_[it->second];
        Walk fresh;
        fresh.start = key.start;
        fresh.end = key.end;
        walkOn(file, fresh);
        return keep(file, std::move(fresh));
    } catch (const std::bad_alloc&) {
        file.noteError(ENOMEM);
        return nullptr;
    }
}

const Walk* TrackIndex::keep(FileWindow& file, Walk&& walk)
{
    finish(walk, file.size());
    const std::int64_t need = memoryOf(walk);
    // Nothing read while a read has failed is kept; and past the cap, walks
    // already kept make room for this one.
    if (file.error() != 0 || need > kMemoryCap) {
        scratch_ = std::move(walk);
        return &scratch_;
    }
    if (memory_ + need > kMemoryCap)
        dropWalks();
    byKey_.emplace(Key{walk.start, walk.end}, walks_.size());
    walks_.push_back(std::move(walk));
    memory_ += need;
    return &walks_.back();
}

std::int32_t TrackIndex::find(const Walk& walk, std::uint32_t id)
{
    if (walk.ids.empty()) {
        for (std::size_t i = 0; i < walk.records.size(); ++i)
            if (walk.records[i].id == id)
                return static_cast<std::int32_t>(i);
        return -1;
    }
    const std::size_t mask = walk.ids.size() - 1;
    for (std::size_t slot = slotOf(id, walk.ids.size());; slot = (slot + 1) & mask) {
        const std::uint32_t entry = walk.ids[slot];
        if (entry == 0)
            return -1;
        if (walk.records[entry - 1].id == id)
            return static_cast<std::int32_t>(entry - 1);
    }
}

Lie TrackIndex::lieBefore(const Walk& walk, std::int32_t track, std::int32_t index) const
{
    Lie lie;
    if (diskSizeLies_) {
        lie.field = LyingField::DiskSize;
        lie.says = frame_.diskSize;
        return lie;
    }
    constexpr std::int32_t kNever = std::numeric_limits<std::int32_t>::max();
    const WalkedRecord* ender =
        walk.countEnd >= 0 ? &walk.records[static_cast<std::size_t>(walk.countEnd)] : nullptr;
    const std::int32_t seen = !ender ? kNever : ender->count == 0 ? walk.countEnd : walk.countEnd + 1;
    const std::int32_t nominalAt = walk.firstNominal >= 0 ? walk.firstNominal : kNever;
    const auto at = [&](std::int32_t i, LyingField field, std::int32_t says, std::int32_t stored) {
        const std::uint32_t id = walk.records[static_cast<std::size_t>(i)].id;
        lie = Lie{field, track,
                  SectorId{static_cast<std::uint8_t>(id), static_cast<std::uint8_t>(id >> 8),
                           static_cast<std::uint8_t>(id >> 16), static_cast<std::uint8_t>(id >> 24)},
                  says, stored};
    };
    if (index >= seen && (nominalAt == kNever || seen <= nominalAt + 1)) {
        at(walk.countEnd, LyingField::SectorCount, ender->count,
           static_cast<std::int32_t>(walk.records.size()));
    } else if (nominalAt < index ||
               (nominalAt == index &&
                nominalSectorSize(sizeCodeOf(walk.records[static_cast<std::size_t>(index)].id)) >
                    walk.records[static_cast<std::size_t>(index)].size)) {
        const WalkedRecord& liar = walk.records[static_cast<std::size_t>(nominalAt)];
        at(nominalAt, LyingField::DataSize, liar.size, nominalSectorSize(sizeCodeOf(liar.id)));
    }
    return lie;
}

} // namespace d88
