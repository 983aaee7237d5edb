// The map of sector numbers: one row a track, one column a sector number,
// and for each cell the mark of what the track holds there. The marks have
// one order, written once here: a cell shows the first that applies.
#include "report.h"

#include "d88_words.h"

#include <algorithm>
#include <cerrno>
#include <new>
#include <utility>

namespace d88info {

namespace {

constexpr char kForeign = 'x';
constexpr char kOtherSizeCodes[] = "0123456789+";
constexpr char kShort = 's';
constexpr char kUncertain = '?';
constexpr char kPastLie = '~';

// The mark of a record flagged by the dumper, one for each flag.
char flagMark(d88::SectorFlag flag)
{
    switch (flag) {
    case d88::SectorFlag::IdCrcError:
        return 'i';
    case d88::SectorFlag::DataCrcError:
        return 'c';
    case d88::SectorFlag::NoAddressMark:
        return 'a';
    case d88::SectorFlag::NoDataMark:
        return 'm';
    case d88::SectorFlag::DeletedData:
        return 'e';
    case d88::SectorFlag::OtherStatus:
        break;
    }
    return '!';
}

// What keeps the record from giving the sector whole comes first, then what
// the dumper said of it, then how it was read.
enum class Kind { Foreign, SizeCode, Short, Uncertain, Flag, PastLie, Present };

Kind kindOf(const Record& record, int track, int commonSizeCode)
{
    const d88::SectorId& id = record.header.id;
    if (id.c != d88::cylinderOf(track) || id.h != d88::headOf(track))
        return Kind::Foreign;
    if (id.n != commonSizeCode)
        return Kind::SizeCode;
    if (record.storedShort())
        return Kind::Short;
    if (record.uncertain)
        return Kind::Uncertain;
    if (record.flags().any())
        return Kind::Flag;
    if (record.pastLie.field != d88::LyingField::None)
        return Kind::PastLie;
    return Kind::Present;
}

// One walk of track `track` into `cells`.
d88::Outcome walkCells(d88::RecordMap& map, int track, int commonSizeCode, MapCells* cells)
{
    *cells = MapCells{};
    return map.eachRecord(track, [&](const Record& record, std::int32_t) {
        const d88::SectorId& id = record.header.id;
        if (cells->count[id.r]++ == 0) {
            d88::Record own = record;
            own.header.id.c = static_cast<std::uint8_t>(d88::cylinderOf(track));
            own.header.id.h = static_cast<std::uint8_t>(d88::headOf(track));
            cells->mark[id.r] = markOf(own, track, commonSizeCode);
            cells->c[id.r] = id.c;
            cells->h[id.r] = id.h;
        }
        cells->count[id.r] = std::min<std::uint8_t>(cells->count[id.r], 2);
        return true;
    });
}

bool keepCells(SharedCells* shared, const std::pair<std::int32_t, int>& key, const MapCells& cells)
{
    try {
        shared->emplace(key, cells);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

} // namespace

char markOf(const Record& record, int track, int commonSizeCode)
{
    switch (kindOf(record, track, commonSizeCode)) {
    case Kind::Foreign:
        return kForeign;
    case Kind::SizeCode:
        return kOtherSizeCodes[record.header.id.n < 10 ? record.header.id.n : 10];
    case Kind::Short:
        return kShort;
    case Kind::Uncertain:
        return kUncertain;
    case Kind::Flag:
        return flagMark(record.flags().first());
    case Kind::PastLie:
        return kPastLie;
    case Kind::Present:
        break;
    }
    return kPresent;
}

std::vector<MapMark> mapLegend(const DiskFacts& disk)
{
    std::vector<MapMark> legend = {
        {std::string(1, kPresent), "present"},
        {std::string(1, kMissing), "missing"},
        {std::string(1, kDuplicated), "duplicated"},
        {std::string(1, kForeign), "C/H of another track"},
        {kOtherSizeCodes, "size code other than " + std::to_string(disk.commonSizeCode)},
    };
    if (disk.stubby > 0)
        legend.push_back({std::string(1, kShort), "stored short"});
    if (disk.uncertain > 0)
        legend.push_back({std::string(1, kUncertain), "uncertain"});
    for (const d88::SectorFlag flag : d88::kEverySectorFlag) {
        if (disk.flags[static_cast<int>(flag)] == 0)
            continue;
        MapMark mark{std::string(1, flagMark(flag)), ""};
        // Every other status shares one mark; its words name each value seen.
        for (int status = 0; status < (flag == d88::SectorFlag::OtherStatus ? 256 : 1); ++status) {
            if (flag == d88::SectorFlag::OtherStatus && disk.otherStatuses[status] == 0)
                continue;
            mark.words +=
                (mark.words.empty() ? "" : ", ") + zanvo::flagWords(flag, static_cast<std::uint8_t>(status));
        }
        legend.push_back(std::move(mark));
    }
    if (disk.pastLies > 0)
        legend.push_back({std::string(1, kPastLie), "read past a field that lied"});
    return legend;
}

int mapRows(d88::RecordMap& map, const DiskFacts& disk, std::vector<MapRow>* rows, SharedCells* shared)
{
    rows->clear();
    if (const d88::Outcome loaded = map.loadDisk(disk.index); !loaded.done())
        return loaded.failed() ? loaded.error : 0;
    const int lastTrack = std::max(disk.highest(TrackState::Present), disk.highest(TrackState::PastEnd));
    const int width = std::max(disk.highR - disk.lowR + 1, 0);
    // A track that reads the same records as a lower one takes their cells
    // from there: only the C/H mark depends on which track reads them.
    // Only a track whose records a higher one reads keeps its cells; the
    // others share one, so the map takes no memory by the track.
    std::vector<int> keptAt(static_cast<std::size_t>(std::max(lastTrack + 1, 0)), -1);
    std::size_t kept = 0;
    for (int t = 0; t <= lastTrack; ++t) {
        const TrackInfo& info = disk.tracks[t];
        if (info.state == TrackState::Present && info.facts.sameAs != t &&
            keptAt[static_cast<std::size_t>(info.facts.sameAs)] < 0)
            keptAt[static_cast<std::size_t>(info.facts.sameAs)] = static_cast<int>(kept++);
    }
    std::vector<MapCells> walked(kept + 1);
    for (int t = 0; t <= lastTrack; ++t) {
        const TrackInfo& info = disk.tracks[t];
        MapRow row{t, info.state == TrackState::IntoHeader ? TrackState::Absent : info.state, ""};
        if (info.state != TrackState::Present) {
            rows->push_back(std::move(row));
            continue;
        }
        const int slot = keptAt[static_cast<std::size_t>(info.facts.sameAs)];
        MapCells& cells = walked[slot >= 0 ? static_cast<std::size_t>(slot) : kept];
        if (info.facts.sameAs == t) {
            // Only the cells of a reading an earlier disk reads too are kept.
            const bool keep = shared && info.otherDisk >= 0;
            const std::pair key{info.facts.reading, disk.commonSizeCode};
            const auto known = keep ? shared->find(key) : SharedCells::iterator{};
            if (keep && known != shared->end()) {
                cells = known->second;
            } else if (const d88::Outcome read = walkCells(map, t, disk.commonSizeCode, &cells);
                       read.failed()) {
                return read.error;
            } else if (keep && !keepCells(shared, key, cells)) {
                return ENOMEM;
            }
        }
        row.marks.assign(static_cast<std::size_t>(width), kMissing);
        for (int r = std::max(disk.lowR, 0); r <= disk.highR; ++r) {
            const auto at = static_cast<std::size_t>(r);
            if (cells.count[at] == 0)
                continue;
            const bool own = cells.c[at] == d88::cylinderOf(t) && cells.h[at] == d88::headOf(t);
            row.marks[static_cast<std::size_t>(r - disk.lowR)] = cells.count[at] > 1 ? kDuplicated
                                                                 : own               ? cells.mark[at]
                                                                                     : kForeign;
        }
        rows->push_back(std::move(row));
    }
    return 0;
}

} // namespace d88info
