// The reading of one extent (the rule is record_map.h's): the backward pass
// weighs every candidate header (extent_pass.h); the reading is then taken
// from the extent's start, as the strict walk goes while it finds sectors in
// plausible records, and the best way on after that.
#include "reading.h"

#include "extent_pass.h"

#include <algorithm>
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

std::uint32_t idKey(const SectorId& id)
{
    return static_cast<std::uint32_t>(id.c) | static_cast<std::uint32_t>(id.h) << 8 |
           static_cast<std::uint32_t>(id.r) << 16 | static_cast<std::uint32_t>(id.n) << 24;
}

// Where the count of candidates a reading weighs is reached, walking forward
// from `start`: the end of the extent that is read. `end` when fewer.
std::int64_t candidatesEnd(FileWindow& file, std::int64_t start, std::int64_t end)
{
    constexpr std::int64_t kPiece = 48 * 1024;
    std::int64_t found = 0;
    for (std::int64_t lo = start; lo < end - kSectorHeaderSize + 1; lo += kPiece) {
        const std::int64_t hi = std::min(lo + kPiece, end - kSectorHeaderSize + 1);
        const std::int64_t seen = hi - lo + kSectorHeaderSize - 1;
        const std::uint8_t* bytes = nullptr;
        if (file.view(lo, static_cast<std::int32_t>(seen), &bytes) < seen)
            return end;
        for (std::int64_t pos = lo; pos < hi; ++pos)
            if (RecordHeader::parse(bytes + (pos - lo)).plausible() && ++found == RecordMap::kMaxCandidates)
                return pos;
    }
    return end;
}

// A record the strict walk finds in plausible records: its header is a
// candidate, and its data ends on a candidate, at the extent's end, or at the
// count's last record (its index `i`).
bool inPlausibleRecords(const ExtentPass& pass, const RecordHeader& h, std::int64_t pos, std::int32_t i,
                        std::int64_t end, std::int64_t fileSize)
{
    if (h.sectorCount == 0 || pass.indexAt(pos) < 0)
        return false;
    const std::int64_t stepped = sizeStep(pos, h, end, fileSize);
    return i == h.sectorCount - 1 || stepped == end || (stepped < end && pass.indexAt(stepped) >= 0);
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
    for (std::int32_t i = 0; i < kMaxRecordsPerTrack && pos < reading->end && pos + kSectorHeaderSize <= file.size();
         ++i) {
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
                   std::int32_t track)
{
    Reading reading;
    reading.start = start;
    reading.end = end;
    std::fill(std::begin(reading.sectorFirst), std::end(reading.sectorFirst), -1);
    try {
        // An extent that may hold more candidates than a reading weighs is
        // read up to where they run out.
        if (end - start > RecordMap::kMaxCandidates) {
            reading.end = candidatesEnd(file, start, end);
            reading.cut = reading.end < end;
        }
        ExtentPass pass(file, start, reading.end);
        if (!pass.run() || file.error() != 0) {
            reading.failed = true;
            return reading;
        }
        const std::vector<Candidate>& cands = pass.candidates();
        const std::int64_t startIndex = pass.indexAt(start);
        const std::int64_t firstIndex = startIndex >= 0 ? startIndex : pass.firstAfterStart();
        reading.recordsEnd = start;
        if (firstIndex < 0) {
            reading.skipped = reading.end - start;
            return reading;
        }
        reading.first = cands[static_cast<std::size_t>(firstIndex)].pos;
        reading.skipped = reading.first - start;
        const std::int64_t fileSize = file.size();
        bool strictly = reading.first == start && strict.start == start;
        bool ok = true;
        for (std::int64_t pos = reading.first, index = firstIndex; index >= 0;) {
            const Candidate& c = cands[static_cast<std::size_t>(index)];
            const RecordHeader h = headerAt(file, pos, &ok);
            if (!ok)
                break;
            const std::int32_t i = reading.records++;
            std::int64_t next = c.next == kToEnd ? reading.end : cands[c.next].pos;
            bool bySize = c.bySize;
            // As the strict walk goes, while the record it steps to is one
            // it finds in plausible records.
            if (strictly && h.sectorCount != 0 && i != h.sectorCount - 1) {
                const std::int64_t stepped = sizeStep(pos, h, reading.end, fileSize);
                strictly = stepped == reading.end;
                if (!strictly && stepped < reading.end && pass.indexAt(stepped) >= 0) {
                    const RecordHeader after = headerAt(file, stepped, &ok);
                    strictly = ok && inPlausibleRecords(pass, after, stepped, i + 1, reading.end, fileSize);
                }
                if (strictly)
                    next = stepped, bySize = true;
            } else {
                strictly = false;
            }
            const std::int32_t given = givenBytes(pos, h, next, bySize, fileSize);
            if (!bySize) {
                reading.jumps.emplace_back(pos, next);
                reading.lies += given != h.dataSize;
            }
            reading.skipped += next - pos - kSectorHeaderSize - given;
            reading.recordsEnd = pos + kSectorHeaderSize + given;
            if (reading.sectorCount[h.id.r]++ == 0) {
                reading.sectorFirst[h.id.r] = i;
                reading.sectorPos[h.id.r] = pos;
            }
            reading.sectorCount[h.id.r] = std::min<std::uint8_t>(reading.sectorCount[h.id.r], 2);
            // Uncertain: its bytes hold a header from which records, each
            // stepping by its data size, reach the reading's next record just
            // as well. Each such walk stays inside this record's bytes.
            const auto inside = std::partition_point(cands.begin(), cands.end(), [&](const Candidate& k) {
                return k.pos >= pos + kSectorHeaderSize + given;
            });
            for (auto it = inside; it != cands.end() && it->pos >= pos + kSectorHeaderSize; ++it) {
                std::uint32_t walk = static_cast<std::uint32_t>(it - cands.begin());
                while (walk < kToEnd - 1 && cands[walk].pos < next)
                    walk = cands[walk].sizeNext;
                if ((walk == kToEnd && next == reading.end) ||
                    (walk < kToEnd - 1 && cands[walk].pos == next)) {
                    reading.uncertain.push_back(i);
                    break;
                }
            }
            if (!ok || next >= reading.end)
                break;
            pos = next;
            index = pass.indexAt(next);
        }
        if (!ok || file.error() != 0 || !compareStrict(file, strict, track, &reading) || file.error() != 0)
            reading.failed = true;
    } catch (const std::bad_alloc&) {
        file.noteError(ENOMEM);
        reading.failed = true;
    }
    return reading;
}

} // namespace d88
