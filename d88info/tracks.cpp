#include "report.h"

#include <string>

namespace d88info {

namespace {

char otherSizeMark(int n)
{
    return kOtherSizeCodes[n < 10 ? n : 10];
}

// The mark of one record on track `track`'s row: another track's C/H,
// flagged, read past a lie, another size code, stored short or present.
char mapMark(const DiskFacts& disk, int track, const FoundRecord& record)
{
    if (record.id.c != d88::cylinderOf(track) || record.id.h != d88::headOf(track))
        return kForeign;
    if (record.flags.any())
        return flagMark(record.flags.first());
    if (record.pastLie.field != d88::LyingField::None)
        return kPastLie;
    if (record.id.n != disk.commonSizeCode)
        return otherSizeMark(record.id.n);
    if (isShort(record))
        return kShort;
    return kPresent;
}

// " 5.0.7.1", a '~' after a record read past a field that lied, and in
// brackets what else there is to say of it: "[data CRC error]", "[data size
// field says 0, 256 bytes stored]", "[stored short, 100 of 256 bytes]".
void printRecord(std::FILE* out, const FoundRecord& record)
{
    std::fprintf(out, " %d.%d.%d.%d%s", record.id.c, record.id.h, record.id.r, record.id.n,
                 record.pastLie.field != d88::LyingField::None ? "~" : "");
    std::string words;
    const auto say = [&words]() -> std::string& { return words += words.empty() ? "[" : ", "; };
    for (const d88::SectorFlag flag : d88::kEverySectorFlag)
        if (record.flags.has(flag))
            d88::appendFlagWords(say(), flag, record.flags.status());
    if (record.nominalStep)
        say() += "data size field says " + std::to_string(record.dataSize) + ", " +
                 std::to_string(d88::nominalSectorSize(record.id.n)) + " bytes stored";
    if (record.storedShort)
        say() += "data size field says " + std::to_string(record.dataSize) +
                 ", the next record starts after " + std::to_string(record.available) + " bytes";
    if (isShort(record))
        say() += "stored short, " + std::to_string(record.available) + " of " +
                 std::to_string(d88::nominalSectorSize(record.id.n)) + " bytes";
    if (record.sizeUnverified)
        say() += "size unverified";
    if (!words.empty())
        std::fprintf(out, "%s]", words.c_str());
}

// After a track's records, each field that lied and was read past, once.
void printLies(std::FILE* out, std::span<const FoundRecord> records)
{
    const d88::Lie* last = nullptr;
    for (const FoundRecord& record : records) {
        if (record.pastLie.field == d88::LyingField::None || (last && *last == record.pastLie))
            continue;
        last = &record.pastLie;
        std::string words;
        d88::appendLieWords(words, record.pastLie);
        std::fprintf(out, "          ~ read past a field that lied: %s\n", words.c_str());
    }
}

// The map, rows read afresh: 0, or the reader's error.
int printMap(std::FILE* out, d88::D88Image& image, TrackScan& scan, const DiskFacts& disk)
{
    if (disk.highR < 0) {
        std::fprintf(out, "\nmap: no records\n");
        return 0;
    }
    std::string legend;
    for (const MapMark& mark : mapLegend(disk)) {
        legend += legend.empty() ? "" : ", ";
        legend += mark.marks.size() == 1 ? "'" + mark.marks + "' " : std::string("a digit: ");
        legend += mark.words;
    }
    std::fprintf(out, "\nmap of sector numbers %d-%d: %s\n", disk.lowR, disk.highR, legend.c_str());
    for (const int divisor : {100, 10, 1}) {
        if (divisor > disk.highR)
            continue;
        std::string header(10, ' ');
        for (int r = disk.lowR; r <= disk.highR; ++r)
            header += static_cast<char>('0' + r / divisor % 10);
        std::fprintf(out, "%s\n", header.c_str());
    }
    // No row is shown from reads that failed.
    std::vector<MapRow> rows;
    if (const int error = mapRows(image, scan, disk, &rows))
        return error;
    for (const MapRow& row : rows) {
        if (row.state == TrackState::Absent)
            std::fprintf(out, "track %3d absent\n", row.track);
        else if (row.state == TrackState::PastEnd)
            std::fprintf(out, "track %3d past the end of the file\n", row.track);
        else
            std::fprintf(out, "track %3d %s\n", row.track, row.marks.c_str());
    }
    return 0;
}

std::string thousands(std::int64_t value)
{
    const std::string digits = std::to_string(value);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        const std::size_t left = digits.size() - i;
        if (i > 0 && digits[i - 1] != '-' && left % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return out;
}

} // namespace

std::string countedWords(std::int64_t from, std::int64_t to, int track)
{
    return "bytes " + thousands(from) + "-" + thousands(to) + " of track " + std::to_string(track) +
           ": walked by the sector counts, not plausible records";
}

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

std::vector<MapMark> mapLegend(const DiskFacts& disk)
{
    std::vector<MapMark> legend = {
        {std::string(1, kPresent), "present"},
        {std::string(1, kMissing), "missing"},
        {std::string(1, kDuplicated), "duplicated"},
        {std::string(1, kForeign), "C/H of another track"},
        {kOtherSizeCodes, "size code other than " + std::to_string(disk.commonSizeCode)},
    };
    if (disk.pastLies > 0)
        legend.push_back({std::string(1, kPastLie), "read past a field that lied"});
    if (disk.stubby > 0)
        legend.push_back({std::string(1, kShort), "stored short"});
    for (const d88::SectorFlag flag : d88::kEverySectorFlag) {
        if (disk.flags[static_cast<int>(flag)] == 0)
            continue;
        MapMark mark{std::string(1, flagMark(flag)), ""};
        if (flag != d88::SectorFlag::OtherStatus)
            d88::appendFlagWords(mark.words, flag, 0);
        // Every other status shares one mark; its words name each value seen.
        for (int status = 0; status < 256 && flag == d88::SectorFlag::OtherStatus; ++status) {
            if (disk.otherStatuses[status] == 0)
                continue;
            mark.words += mark.words.empty() ? "" : ", ";
            d88::appendFlagWords(mark.words, flag, static_cast<std::uint8_t>(status));
        }
        legend.push_back(std::move(mark));
    }
    return legend;
}

int mapRows(d88::D88Image& image, TrackScan& scan, const DiskFacts& disk, std::vector<MapRow>* rows)
{
    rows->clear();
    if (const d88::Outcome selected = image.loadDisk(disk.index); !selected.done())
        return selected.error;
    const int lastTrack = std::max(disk.highest(TrackState::Present), disk.highest(TrackState::PastEnd));
    for (int t = 0; t <= lastTrack; ++t)
        rows->push_back(
            MapRow{t, disk.tracks[t] == TrackState::IntoHeader ? TrackState::Absent : disk.tracks[t], ""});
    // Each row from the sector numbers of the track's records and the one
    // record behind each cell that one record fills: however many tracks
    // share records, no track's records are walked for its row.
    std::uint8_t count[256];
    std::int32_t first[256];
    for (int t = 0; t <= lastTrack; ++t) {
        if (disk.tracks[t] != TrackState::Present)
            continue;
        if (const d88::Outcome told = image.sectorNumbers(t, count, first); !told.done()) {
            if (told.failed())
                return told.error;
            continue;
        }
        std::string& marks = (*rows)[static_cast<std::size_t>(t)].marks;
        marks.assign(static_cast<std::size_t>(std::max(disk.highR - disk.lowR + 1, 0)), kMissing);
        for (int r = std::max(disk.lowR, 0); r <= disk.highR; ++r) {
            char& cell = marks[static_cast<std::size_t>(r - disk.lowR)];
            if (count[r] > 1) {
                cell = kDuplicated;
            } else if (count[r] == 1) {
                std::span<const FoundRecord> one;
                if (const d88::Outcome read = scan.scan(image, t, &one, first[r], 1); read.failed())
                    return read.error;
                if (!one.empty())
                    cell = mapMark(disk, t, one.front());
            }
        }
    }
    return 0;
}

int printTracks(std::FILE* out, d88::D88Image& image, TrackScan& scan, const DiskFacts& disk)
{
    std::fprintf(out, "disk %d: %d tracks present; record IDs as C.H.R.N in stored order\n", disk.index,
                 disk.count(TrackState::Present));
    if (const d88::Outcome selected = image.loadDisk(disk.index); !selected.done())
        return selected.error;
    for (int t = 0; t < d88::kMaxTracks; ++t) {
        if (disk.tracks[t] == TrackState::Absent)
            continue;
        std::fprintf(out, "track %3d (C %d H %d) at 0x%x: ", t, d88::cylinderOf(t), d88::headOf(t),
                     static_cast<unsigned>(disk.trackOffsets[t]));
        if (disk.tracks[t] != TrackState::Present || disk.sameAs[t] != t) {
            if (disk.tracks[t] == TrackState::PastEnd)
                std::fprintf(out, "past the end of the file\n");
            else if (disk.tracks[t] == TrackState::IntoHeader)
                std::fprintf(out, "points into the disk header, so it names no track\n");
            else
                std::fprintf(out, "same records as track %d\n", disk.sameAs[t]);
            continue;
        }
        // Its own records, then those it shares with the track that reached
        // them first, by reference: each record is listed once.
        const d88::TrackShare& share = disk.shares[t];
        std::span<const FoundRecord> records;
        if (const d88::Outcome read = scan.scan(image, t, &records, 0, share.own); read.failed())
            return read.error;
        std::fprintf(out, "%d record%s:", share.records, share.records == 1 ? "" : "s");
        forEachListed(
            records, disk.fileOffset + disk.trackOffsets[t],
            [out](const FoundRecord& record) { printRecord(out, record); },
            [out, t](std::int64_t from, std::int64_t to) {
                std::fprintf(out, " [%s]", countedWords(from, to, t).c_str());
            });
        if (share.with >= 0)
            std::fprintf(out, "%s records %d-%d as track %d", records.empty() ? "" : " then", share.from,
                         share.from + share.records - share.own - 1, share.with);
        std::fprintf(out, "\n");
        printLies(out, records);
    }
    if (disk.count(TrackState::Present) + disk.count(TrackState::PastEnd) == 0)
        return 0;
    return printMap(out, image, scan, disk);
}

} // namespace d88info
