// Looking a sector up by its ID in a track as the record map reads it.
#include "d88/record_map.h"

#include "file_window.h"
#include "reading.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace d88 {

namespace {

// Fills the reading's index of IDs; false when a header cannot be read or
// memory runs out (the window holds which).
bool indexIds(FileWindow& file, Reading* reading)
{
    try {
        std::vector<Reading::FirstOfId> ids;
        Record record;
        ReadingCursor cursor(file, *reading);
        for (; !cursor.done() && cursor.record(&record); cursor.next())
            ids.push_back({idKey(record.header.id), cursor.index(), record.headerPos});
        if (file.error() != 0)
            return false;
        // Stable: of the records of one ID, the first stays first.
        std::stable_sort(ids.begin(), ids.end(), [](const auto& a, const auto& b) { return a.id < b.id; });
        ids.erase(std::unique(ids.begin(), ids.end(), [](const auto& a, const auto& b) { return a.id == b.id; }),
                  ids.end());
        ids.shrink_to_fit();
        reading->firstOfId = std::move(ids);
        return true;
    } catch (const std::bad_alloc&) {
        file.noteError(ENOMEM);
        return false;
    }
}

} // namespace

Outcome RecordMap::findSector(const SectorPlace& at, std::span<std::uint8_t> dest, Record* record,
                              std::int32_t* copied)
{
    *copied = 0;
    Reading* reading = readingOf(at.track);
    if (!reading || reading->sectorCount[at.id.r] == 0)
        return image_->settle(false);
    FileWindow& file = *image_->file_;
    std::int32_t index = reading->sectorFirst[at.id.r];
    std::int64_t pos = reading->sectorPos[at.id.r];
    if (reading->sectorCount[at.id.r] > 1) {
        if (reading->firstOfId.empty() && !indexIds(file, reading))
            return image_->settle(false);
        const auto& ids = reading->firstOfId;
        const auto it = std::lower_bound(ids.begin(), ids.end(), idKey(at.id),
                                         [](const Reading::FirstOfId& f, std::uint32_t key) { return f.id < key; });
        if (it == ids.end() || it->id != idKey(at.id))
            return image_->settle(false);
        index = it->index, pos = it->pos;
    }
    ReadingCursor cursor(file, *reading, index, pos);
    if (cursor.done() || !cursor.record(record) || !(record->header.id == at.id))
        return image_->settle(false);
    record->pastLie.track = at.track;
    const auto want = static_cast<std::int32_t>(
        std::min<std::size_t>(dest.size(), static_cast<std::size_t>(record->available)));
    const std::uint8_t* data = nullptr;
    const std::int32_t got = want > 0 ? file.view(record->dataPos(), want, &data) : 0;
    if (got > 0)
        std::memcpy(dest.data(), data, static_cast<std::size_t>(got));
    *copied = std::max(got, 0);
    return image_->settle(true);
}

} // namespace d88
