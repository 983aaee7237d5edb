// The reading of one extent (the rule is record_map.h's): the backward pass
// weighs every candidate header (extent_pass.h); the reading is then taken
// from the extent's start, as the strict walk goes while it finds sectors in
// plausible records, and the best way on after that.
#include "reading.h"

#include "extent_pass.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <new>
#include <unordered_map>
#include <unordered_set>

namespace d88 {

namespace {

RecordHeader headerAt(FileWindow& file, std::int64_t pos, bool* ok)
{
    const std::uint8_t* bytes = nullptr;
    *ok = file.view(pos, kSectorHeaderSize, &bytes) == kSectorHeaderSize;
    return *ok ? RecordHeader::parse(bytes) : RecordHeader{};
}

// A candidate header at `pos`: plausible, and whole inside the extent.
bool candidateAt(FileWindow& file, std::int64_t pos, std::int64_t end, RecordHeader* h)
{
    const std::uint8_t* bytes = nullptr;
    if (pos + kSectorHeaderSize > end || file.view(pos, kSectorHeaderSize, &bytes) != kSectorHeaderSize)
        return false;
    *h = RecordHeader::parse(bytes);
    return h->plausible();
}

// A record the strict walk finds in plausible records: its header is a
// candidate, and its data ends on a candidate, at the extent's end, or at the
// count's last record (its index `i`).
bool inPlausibleRecords(FileWindow& file, std::int64_t pos, std::int32_t i, std::int64_t end)
{
    RecordHeader h, after;
    if (!candidateAt(file, pos, end, &h) || h.sectorCount == 0)
        return false;
    const std::int64_t stepped = sizeStep(pos, h.dataSize, end, file.size());
    return i == h.sectorCount - 1 || stepped == end ||
           (stepped < end && candidateAt(file, stepped, end, &after));
}

// The extent read by data sizes alone: from a candidate at its start each
// step lands on a candidate or the extent's end, and every record has the
// same sector count. No reading is better (any other way on is a lie), so no
// pass is needed to find it.
bool readsBySize(FileWindow& file, std::int64_t start, std::int64_t end)
{
    RecordHeader first, h;
    if (!candidateAt(file, start, end, &first))
        return false;
    h = first;
    // Each step moves at least a header forward.
    for (std::int64_t pos = start;;) {
        const std::int64_t stepped = sizeStep(pos, h.dataSize, end, file.size());
        if (stepped == end)
            return true;
        if (stepped > end || !candidateAt(file, stepped, end, &h) || h.sectorCount != first.sectorCount)
            return false;
        pos = stepped;
    }
}

// Whether the bytes of the record at `pos` (`given` of them, the next header
// at `next`) hold a header from which whole records, each with the data size
// of its size code and stepping by it, land exactly on `next` (or the
// extent's end) just as well: the record is then uncertain. Only whole
// records count: sector data often ends in sixteen bytes that look like a
// header of no data, or holds one whose data would run past the file's end,
// and neither is another reading of a clean dump. The walks move forward and
// end at `next`; a header already seen to fall short is not walked from
// again (`seen` is scratch space, a bit for each position up to `next`).
// Headers among the record's bytes are read where those are viewed; a view
// past them may move the window, so they are viewed again after one.
bool holdsAnotherWay(FileWindow& file, std::int64_t pos, std::int32_t given, std::int64_t next,
                     std::int64_t end, std::vector<std::uint64_t>& seen)
{
    const std::int64_t from = pos + kSectorHeaderSize;
    const std::int64_t last = std::min(from + given, end - kSectorHeaderSize + 1); // past the last start
    const std::int64_t len = last - from + kSectorHeaderSize - 1;
    const std::uint8_t* bytes = nullptr;
    const auto view = [&] { return file.view(from, static_cast<std::int32_t>(len), &bytes) == len; };
    if (last <= from || !view())
        return false;
    seen.assign(static_cast<std::size_t>(next - from + 63) / 64, 0);
    for (std::int64_t block = from; block < last; block += 8)
        for (std::uint64_t m = ExtentPass::quickMask(bytes + (block - from), last - block); m != 0;
             m &= m - 1) {
            std::int64_t walk = block + std::countr_zero(m) / 8;
            bool moved = false;
            RecordHeader h;
            for (; walk < next; walk += kSectorHeaderSize + h.dataSize) {
                const auto at = static_cast<std::size_t>(walk - from);
                if ((seen[at / 64] >> (at % 64)) & 1)
                    break;
                seen[at / 64] |= std::uint64_t{1} << (at % 64);
                const bool held = walk < last; // a header among the bytes viewed
                if (held)
                    h = RecordHeader::parse(bytes + (walk - from));
                moved = moved || !held;
                if (!(held ? h.plausible() : candidateAt(file, walk, end, &h)) ||
                    h.dataSize != nominalSectorSize(h.id.n))
                    break;
            }
            if (walk == next)
                return true;
            if (moved && !view())
                return false;
        }
    return false;
}

// Which of the reading's records the strict rule gives as the reading does,
// and what keeps it from the others: the first place where the strict walk
// from the track's start parts from the reading.
bool compareStrict(FileWindow& file, const StrictStart& strict, std::int32_t track, Reading* reading)
{
    if (strict.start != reading->start) {
        reading->lie = Lie{LyingField::DiskSize, track, SectorId{}, strict.diskSize, 0};
        return true;
    }
    // The strict walk up to the extent's end: the first record of each ID.
    std::unordered_map<std::uint32_t, std::int64_t> firstOf;
    bool ok = true;
    std::int64_t pos = reading->start;
    for (std::int32_t i = 0;
         i < kMaxRecordsPerTrack && pos < reading->end && pos + kSectorHeaderSize <= file.size(); ++i) {
        const RecordHeader h = headerAt(file, pos, &ok);
        if (!ok || h.sectorCount == 0)
            break;
        firstOf.emplace(idKey(h.id), pos);
        if (i == h.sectorCount - 1)
            break;
        pos += kSectorHeaderSize + h.dataSize;
    }
    const std::int64_t fileSize = file.size();
    // Lockstep with the strict walk until it parts from the reading: the
    // first place it parts names what keeps it from the records after.
    bool parted = false, strictGoes = true;
    std::unordered_set<std::uint32_t> seen;
    std::int64_t strictPos = reading->start;
    ReadingCursor cursor(file, *reading);
    for (Record rec; ok && !cursor.done() && (ok = cursor.record(&rec)); cursor.next()) {
        const RecordHeader& h = rec.header;
        const std::int32_t i = cursor.index();
        const auto it = firstOf.find(idKey(h.id));
        const std::int64_t strictBytes = std::min<std::int64_t>(h.dataSize, fileSize - rec.dataPos());
        // A second record of an ID is found by no lookup, the reading's
        // included: a copy, not bytes a lie hides.
        const bool copy = !seen.insert(idKey(h.id)).second;
        if (copy || (it != firstOf.end() && it->second == rec.headerPos && rec.available <= strictBytes)) {
            if (reading->strict.empty() || reading->strict.back().second != i)
                reading->strict.emplace_back(i, i + 1);
            else
                ++reading->strict.back().second;
        }
        if (parted || (parted = !strictGoes || strictPos != rec.headerPos))
            continue;
        if (h.sectorCount == 0) {
            parted = true;
            reading->lie = Lie{LyingField::SectorCount, track, h.id, 0, reading->records};
            continue;
        }
        if (i == h.sectorCount - 1) {
            strictGoes = false;
            if (i + 1 < reading->records)
                reading->lie = Lie{LyingField::SectorCount, track, h.id, h.sectorCount, reading->records};
        } else if (!rec.bySize) {
            parted = true;
            reading->lie = rec.available != h.dataSize
                               ? Lie{LyingField::DataSize, track, h.id, h.dataSize, rec.available}
                               : Lie{LyingField::NoRecord, track, h.id, 0, rec.skipped};
        }
        strictPos = rec.headerPos + kSectorHeaderSize + h.dataSize;
    }
    if (reading->first > reading->start && reading->lie.field == LyingField::None)
        reading->lie = Lie{LyingField::NoRecord, track, SectorId{}, 0,
                           static_cast<std::int32_t>(reading->first - reading->start)};
    return ok;
}

} // namespace

Reading readExtent(FileWindow& file, std::int64_t start, std::int64_t end, const StrictStart& strict,
                   std::int32_t track, std::unique_ptr<ExtentPass>& kept)
{
    Reading reading;
    reading.start = start;
    reading.end = end;
    try {
        // An extent that holds more candidates than a reading weighs is read
        // up to where they run out; one with fewer bytes cannot.
        std::int64_t count = -1;
        if (end - start > RecordMap::kMaxCandidates)
            reading.end = ExtentPass::count(file, start, std::min(end, start + ExtentPass::kMaxSpan), &count);
        reading.cut = reading.end < end;
        if (reading.end < 0 || file.error() != 0) {
            reading.failed = true;
            return reading;
        }
        RecordHeader first;
        const bool firstIsCandidate = candidateAt(file, start, reading.end, &first);
        // The pass, unless the data sizes read the extent; the last one serves
        // again when it ends where this extent does, with the same count. It
        // weighs only what the strict walk does not read: from the first
        // record where it parts from that walk.
        ExtentPass* pass = nullptr;
        if (!readsBySize(file, start, reading.end)) {
            // The count the track's last record is to agree with (-1: none).
            const std::int32_t endCount = firstIsCandidate ? first.sectorCount : -1;
            if (!kept)
                kept = std::make_unique<ExtentPass>(file, reading.end, endCount);
            else if (kept->end() != reading.end || kept->endCount() != endCount)
                kept->restart(reading.end, endCount);
            pass = kept.get();
        }
        // Counted, the pass takes its memory in one go. A small region is
        // not: growing as it fills costs less than reading it twice.
        const auto cover = [&](std::int64_t from) {
            std::int64_t n = count;
            const bool done =
                from >= pass->covered() || ((n >= 0 || pass->covered() - from <= ExtentPass::kUncounted ||
                                             ExtentPass::count(file, from, pass->covered(), &n) >= 0) &&
                                            pass->cover(from, n) && file.error() == 0);
            if (!done)
                kept.reset();
            return done;
        };
        bool strictly = strict.start == start && firstIsCandidate;
        std::int64_t index = 0;
        if (pass && !strictly && (!cover(start) || (index = pass->indexAt(start)) < 0)) {
            if (!kept) {
                reading.failed = true;
                return reading;
            }
            index = pass->firstAfter(start);
        }
        reading.recordsEnd = start;
        if (index < 0) {
            reading.skipped = reading.end - start;
            return reading;
        }
        reading.first = pass && !strictly ? pass->pos(static_cast<std::uint32_t>(index)) : start;
        reading.skipped = reading.first - start;
        const std::int64_t fileSize = file.size();
        bool ok = true;
        std::vector<std::uint64_t> seen;
        for (std::int64_t pos = reading.first;;) {
            const RecordHeader h = headerAt(file, pos, &ok);
            if (!ok)
                break;
            const std::int32_t i = reading.records++;
            std::int64_t next = sizeStep(pos, h.dataSize, reading.end, fileSize);
            bool bySize = true;
            // As the strict walk goes, while the record it steps to is one
            // it finds in plausible records; then the best way on.
            strictly = strictly && h.sectorCount != 0 && i != h.sectorCount - 1 &&
                       (next == reading.end ||
                        (next < reading.end && inPlausibleRecords(file, next, i + 1, reading.end)));
            if (!strictly && pass) {
                if (!cover(pos)) {
                    reading.failed = true;
                    return reading;
                }
                // Every header the reading stands on is a candidate.
                const Candidate& c = pass->candidates()[static_cast<std::size_t>(pass->indexAt(pos))];
                next = c.next == kToEnd ? reading.end : pass->pos(c.next);
                bySize = c.bySize;
            }
            const std::int32_t given = givenBytes(pos, h, next, bySize, fileSize);
            if (!bySize) {
                reading.jumps.emplace_back(pos, next);
                reading.lies += given != h.dataSize;
            }
            reading.skipped += next - pos - kSectorHeaderSize - given;
            reading.recordsEnd = pos + kSectorHeaderSize + given;
            if (holdsAnotherWay(file, pos, given, next, reading.end, seen))
                reading.uncertain.push_back(i);
            if (next >= reading.end)
                break;
            pos = next;
        }
        if (!ok || file.error() != 0 || !compareStrict(file, strict, track, &reading) || file.error() != 0)
            reading.failed = true;
    } catch (const std::bad_alloc&) {
        kept.reset(); // it may have been left half-weighed
        file.noteError(ENOMEM);
        reading.failed = true;
    }
    return reading;
}

} // namespace d88
