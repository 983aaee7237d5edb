// The found records of the selected disk (d88/found_record.h), served from
// the record map, and the strict lookups it can answer.
#include "d88/d88_image.h"

#include "file_window.h"
#include "record_map.h"
#include "span_size.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <utility>

namespace d88 {

namespace {

FoundRecord foundFrom(const RecordMap& map, const ViewCursor& at)
{
    const WalkedRecord& rec = at.record();
    FoundRecord out;
    out.id = unpackedId(rec.id);
    out.sectorCount = rec.count;
    out.dataSize = rec.size;
    out.flags = SectorFlags::of(rec.deleted, rec.status);
    out.density = rec.density;
    out.headerPos = map.base() + rec.offset;
    out.dataPos = out.headerPos + kSectorHeaderSize;
    out.nominalStep = rec.step() == Step::ByNominal;
    out.storedShort = map.storedShort(at);
    out.sizeUnverified = rec.unverified();
    out.counted = rec.counted();
    out.available = map.available(at);
    return out;
}

} // namespace

RecordMap* D88Image::recordMap()
{
    if (!file_ || selectedDisk_ < 0)
        return nullptr;
    if (mapLaidOut_ != selections_) {
        // A disk at the offset of the one mapped is the same disk: the map
        // stays. The map of the disk selected before is kept too, for
        // callers that go back and forth between two disks. A map not yet
        // made has mapBase_ -1, so it is made here.
        if (mapBase_ != diskBase_) {
            std::swap(map_, spareMap_);
            std::swap(mapBase_, spareBase_);
            if (!map_) {
                map_.reset(new (std::nothrow) RecordMap);
                if (!map_) {
                    file_->noteError(ENOMEM);
                    return nullptr;
                }
            }
            if (mapBase_ != diskBase_) {
                // Laying a disk out allocates: memory that cannot be had is
                // told as a read that failed, never thrown to the caller.
                try {
                    map_->layOut(*file_, DiskFrame{diskBase_, diskSize_, file_->size(), trackOffsets_,
                                                   tableEntries()});
                } catch (const std::bad_alloc&) {
                    map_->forget();
                    mapBase_ = -1;
                    file_->noteError(ENOMEM);
                    return nullptr;
                }
                mapBase_ = diskBase_;
            }
        }
        mapLaidOut_ = selections_;
    }
    return map_.get();
}

Outcome D88Image::trackStanding(std::int32_t track, TrackStanding* standing)
{
    RecordMap* map = recordMap();
    *standing = map ? map->standing(track) : TrackStanding::Absent;
    return settle(true);
}

Outcome D88Image::foundRecords(std::int32_t track, std::span<FoundRecord> records, std::int32_t* stored,
                               bool* more, std::int32_t first)
{
    RecordMap* map = recordMap();
    TrackView view;
    *stored = 0;
    if (more)
        *more = false;
    if (!map || first < 0 || !map->view(*file_, track, &view))
        return settle(false);
    std::size_t count = 0;
    std::int32_t index = first;
    ViewCursor at = map->seek(view, first);
    for (; !at.done() && count < records.size(); at.next(), ++index, ++count) {
        records[count] = foundFrom(*map, at);
        records[count].pastLie = map->lieBefore(view, track, index, at.record());
    }
    if (more)
        *more = !at.done();
    *stored = static_cast<std::int32_t>(count);
    return settle(true);
}

Outcome D88Image::trackShares(std::int32_t track, TrackShare* share)
{
    *share = TrackShare{};
    RecordMap* map = recordMap();
    TrackView view;
    if (!map || !map->view(*file_, track, &view))
        return settle(false);
    share->records = view.length;
    // The first track, in table order, whose view holds the record where
    // this one's own records end.
    const Run& own = map->run(view.run);
    share->own = static_cast<std::int32_t>(own.records.size()) - view.from;
    std::int32_t ownerRun = view.run, ownerFrom = view.from;
    if (view.from > 0) {
        share->own = 0;
    } else if (own.tailRun >= 0) {
        ownerRun = own.tailRun;
        ownerFrom = own.tailFrom;
    } else {
        return settle(true);
    }
    // The lowest track whose start made that run views it from its first
    // record: the shared records are that track's from ownerFrom on.
    if (const std::int32_t owner = map->ownerTrack(ownerRun); owner >= 0 && owner != track) {
        share->with = owner;
        share->from = ownerFrom;
        return settle(true);
    }
    // Reached by no other track's first record: shown as its own.
    share->own = view.length;
    return settle(true);
}

Outcome D88Image::sectorNumbers(std::int32_t track, std::span<std::uint8_t, 256> count,
                                std::span<std::int32_t, 256> first)
{
    RecordMap* map = recordMap();
    SectorTable table;
    if (!map || !map->sectorTable(*file_, track, &table))
        return settle(false);
    std::copy(std::begin(table.count), std::end(table.count), count.begin());
    std::copy(std::begin(table.first), std::end(table.first), first.begin());
    return settle(true);
}

Outcome D88Image::sameRecordsAs(std::int32_t track, std::int32_t* lowest)
{
    RecordMap* map = recordMap();
    *lowest = map && map->standing(track) == TrackStanding::Present ? map->firstWithSameStart(track) : track;
    return settle(true);
}

Outcome D88Image::findFoundSector(const SectorPlace& at, std::span<std::uint8_t> dest, FoundRecord* record,
                                  std::int32_t* copied)
{
    *copied = 0;
    RecordMap* map = recordMap();
    TrackView view;
    if (!map || !map->view(*file_, at.track, &view))
        return settle(false);
    std::int32_t index = 0;
    ViewCursor where(*map, -1, 0);
    if (!map->find(view, packedId(at.id), &index, &where))
        return settle(false);
    *record = foundFrom(*map, where);
    record->pastLie = map->lieBefore(view, at.track, index, where.record());
    const std::int32_t want = std::min(record->available, clampedSize(dest.size()));
    const std::uint8_t* data = nullptr;
    const std::int32_t got = want > 0 ? bytesAt(record->dataPos, want, &data) : 0;
    if (got > 0)
        std::memcpy(dest.data(), data, static_cast<std::size_t>(got));
    *copied = std::max(got, 0);
    return settle(true);
}

Outcome D88Image::diskExtent(bool* sizeLies, std::int64_t* end)
{
    RecordMap* map = recordMap();
    *sizeLies = map && map->diskSizeLies(*file_);
    *end = map ? map->diskEnd(*file_) : -1;
    return settle(map != nullptr);
}

} // namespace d88
