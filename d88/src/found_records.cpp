// The found records of the selected disk (d88/found_record.h), served from
// the track index, and the strict lookups it can answer.
#include "d88/d88_image.h"

#include "file_window.h"
#include "span_size.h"
#include "track_index.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace d88 {

namespace {

FoundRecord foundFrom(const Walk& walk, std::int32_t index, std::int64_t fileSize)
{
    const WalkedRecord& rec = walk.records[static_cast<std::size_t>(index)];
    FoundRecord out;
    out.id = SectorId{static_cast<std::uint8_t>(rec.id), static_cast<std::uint8_t>(rec.id >> 8),
                      static_cast<std::uint8_t>(rec.id >> 16), static_cast<std::uint8_t>(rec.id >> 24)};
    out.sectorCount = rec.count;
    out.dataSize = rec.size;
    out.flags = SectorFlags::of(rec.deleted, rec.status);
    out.density = rec.density;
    out.dataPos = walk.posOf(rec) + kSectorHeaderSize;
    out.nominalStep = rec.step == Step::ByNominal;
    const std::int64_t stored = out.nominalStep ? nominalSectorSize(out.id.n) : rec.size;
    out.available = static_cast<std::int32_t>(std::clamp<std::int64_t>(fileSize - out.dataPos, 0, stored));
    return out;
}

} // namespace

TrackIndex* D88Image::foundIndex()
{
    if (!file_ || selectedDisk_ < 0)
        return nullptr;
    if (!index_) {
        index_.reset(new (std::nothrow) TrackIndex);
        if (!index_) {
            file_->noteError(ENOMEM);
            return nullptr;
        }
        indexLaidOut_ = selections_ - 1;
    }
    if (indexLaidOut_ != selections_) {
        index_->layOut(DiskFrame{diskBase_, diskSize_, file_->size(), trackOffsets_, tableEntries()});
        indexLaidOut_ = selections_;
    }
    return index_.get();
}

TrackStanding D88Image::trackStanding(std::int32_t track)
{
    TrackIndex* index = foundIndex();
    return index ? index->standing(track) : TrackStanding::Absent;
}

std::int32_t D88Image::foundRecords(std::int32_t track, std::span<FoundRecord> records, bool* more)
{
    TrackIndex* tracks = foundIndex();
    const Walk* walk = tracks ? tracks->walk(*file_, track) : nullptr;
    const std::size_t held = walk ? walk->records.size() : 0;
    const std::size_t stored = std::min(held, records.size());
    for (std::size_t i = 0; i < stored; ++i) {
        const auto index = static_cast<std::int32_t>(i);
        records[i] = foundFrom(*walk, index, file_->size());
        records[i].pastLie = tracks->lieBefore(*walk, track, index);
    }
    if (more)
        *more = stored < held;
    return static_cast<std::int32_t>(stored);
}

std::int32_t D88Image::sameRecordsAs(std::int32_t track)
{
    TrackIndex* index = foundIndex();
    return index && index->standing(track) == TrackStanding::Present ? index->firstWithSameStart(track)
                                                                     : track;
}

bool D88Image::findFoundSector(const SectorPlace& at, std::span<std::uint8_t> dest, FoundRecord* record,
                               std::int32_t* copied)
{
    *copied = 0;
    TrackIndex* tracks = foundIndex();
    const Walk* walk = tracks ? tracks->walk(*file_, at.track) : nullptr;
    const std::uint32_t id =
        static_cast<std::uint32_t>(at.id.c) | (static_cast<std::uint32_t>(at.id.h) << 8) |
        (static_cast<std::uint32_t>(at.id.r) << 16) | (static_cast<std::uint32_t>(at.id.n) << 24);
    const std::int32_t index = walk ? TrackIndex::find(*walk, id) : -1;
    if (index < 0)
        return false;
    *record = foundFrom(*walk, index, file_->size());
    record->pastLie = tracks->lieBefore(*walk, at.track, index);
    const std::int32_t want = std::min(record->available, clampedSize(dest.size()));
    const std::uint8_t* data = nullptr;
    const std::int32_t got = want > 0 ? bytesAt(record->dataPos, want, &data) : 0;
    if (got > 0)
        std::memcpy(dest.data(), data, static_cast<std::size_t>(got));
    *copied = std::max(got, 0);
    return true;
}

} // namespace d88
