// d88info IMAGE DISK: every track with its records, each record listed once
// (a stretch a lower track lists is named, not listed again), then the map.
#include "report.h"

#include "d88_words.h"

#include <string>

namespace d88info {

void Wrapped::word(const std::string& text)
{
    if (column_ > indent_ && column_ + 1 + text.size() > kWidth) {
        std::fputc('\n', out_);
        column_ = 0;
    }
    if (column_ == 0) {
        std::fprintf(out_, "%*s", static_cast<int>(indent_), "");
        column_ = indent_;
    } else {
        std::fputc(' ', out_);
        ++column_;
    }
    std::fputs(text.c_str(), out_);
    column_ += text.size();
}

void Wrapped::finish()
{
    if (column_ > 0)
        std::fputc('\n', out_);
    column_ = 0;
}

std::string recordWords(const Record& record)
{
    std::string words;
    const auto say = [&words](const std::string& text) { words += (words.empty() ? "[" : ", ") + text; };
    for (const std::string& flag : zanvo::flagWordList(record.flags()))
        say(flag);
    const std::int32_t size = record.header.dataSize;
    if (!record.bySize && record.available > size)
        say("data size field says " + std::to_string(size) + ", " + std::to_string(record.available) +
            " bytes stored");
    else if (!record.bySize && record.available < size)
        say("data size field says " + std::to_string(size) + ", " + std::to_string(record.available) +
            " bytes up to the next record");
    if (record.storedShort())
        say("stored short, " + std::to_string(record.available) + " of " +
            std::to_string(d88::nominalSectorSize(record.header.id.n)) + " bytes");
    if (record.uncertain)
        say("uncertain: a header inside it may start a record");
    return words.empty() ? words : words + "]";
}

namespace {

// "[40 bytes that are no record]", "[1 byte that is no record]".
std::string noRecordWords(std::int64_t bytes)
{
    std::string words = "[";
    words += thousands(bytes);
    words += bytes == 1 ? " byte that is no record]" : " bytes that are no record]";
    return words;
}

// "0.1.3.1~[data size field says 0, 256 bytes stored]", as words that fit a
// line each.
void listRecord(Wrapped& line, const Record& record)
{
    const d88::SectorId& id = record.header.id;
    std::string word = std::to_string(id.c) + "." + std::to_string(id.h) + "." + std::to_string(id.r) + "." +
                       std::to_string(id.n) + (record.pastLie.field != d88::LyingField::None ? "~" : "");
    const std::string words = recordWords(record);
    for (std::size_t at = 0; at <= words.size();) {
        const std::size_t comma = words.find(", ", at);
        const std::size_t end = comma == std::string::npos ? words.size() : comma + 1;
        word += words.substr(at, end - at);
        line.word(word);
        word.clear();
        at = end + 1;
        if (comma == std::string::npos)
            break;
    }
    if (record.skipped > 0)
        line.word(noRecordWords(record.skipped));
}

// After a track's records, what keeps the strict rule from them, once for
// each field.
void printLies(std::FILE* out, d88::RecordMap& map, int track, int* error)
{
    d88::Lie last;
    std::vector<d88::Lie> lies;
    const d88::Outcome walked = map.eachRecord(track, [&](const Record& record, std::int32_t) {
        if (record.pastLie.field != d88::LyingField::None && !(record.pastLie == last))
            lies.push_back(last = record.pastLie);
        return true;
    });
    if ((*error = walked.failed() ? walked.error : 0) != 0)
        return;
    for (const d88::Lie& lie : lies) {
        {
            Wrapped line(out, 4);
            line.word("~ read past a field that lied:");
            const std::string words = zanvo::lieWords(lie);
            for (std::size_t at = 0; at < words.size();) {
                const std::size_t space = words.find(' ', at);
                line.word(words.substr(at, space == std::string::npos ? std::string::npos : space - at));
                at = space == std::string::npos ? words.size() : space + 1;
            }
        }
    }
}

int printTrack(std::FILE* out, d88::RecordMap& map, const DiskFacts& disk, int t)
{
    const TrackInfo& info = disk.tracks[t];
    std::fprintf(out, "track %3d (C %d H %d) at 0x%x: ", t, d88::cylinderOf(t), d88::headOf(t),
                 static_cast<unsigned>(info.offset));
    switch (info.state) {
    case TrackState::PastEnd:
        std::fprintf(out, "past the end of the file\n");
        return 0;
    case TrackState::IntoHeader:
        std::fprintf(out, "points into the disk header, so it names no track\n");
        return 0;
    case TrackState::Absent:
    case TrackState::Present:
        break;
    }
    if (info.facts.sameAs != t) {
        std::fprintf(out, "same records as track %d\n", info.facts.sameAs);
        return 0;
    }
    const std::int32_t records = info.facts.records;
    std::fprintf(out, "%d record%s%s\n", records, records == 1 ? "" : "s",
                 info.facts.cut ? ", read only in part: more candidate headers than a reading weighs" : "");
    std::vector<d88::SharedRun> runs;
    if (const d88::Outcome told = sharedRuns(map, t, records, &runs); told.failed())
        return told.error;
    Wrapped line(out, 4);
    if (info.facts.leading > 0)
        line.word(noRecordWords(info.facts.leading));
    std::size_t next = 0;
    const d88::Outcome walked = map.eachRecord(t, [&](const Record& record, std::int32_t index) {
        while (next < runs.size() && runs[next].first + runs[next].count <= index)
            ++next;
        if (next < runs.size() && runs[next].first <= index) {
            // A stretch a lower track lists is named once, at its start.
            const d88::SharedRun& run = runs[next];
            if (index == run.first)
                line.word("[records " + std::to_string(run.first + 1) + "-" +
                          std::to_string(run.first + run.count) + ": track " + std::to_string(run.track) +
                          "'s " + std::to_string(run.from + 1) + "-" + std::to_string(run.from + run.count) +
                          "]");
            return true;
        }
        listRecord(line, record);
        return true;
    });
    if (walked.failed()) {
        line.abandon();
        return walked.error;
    }
    line.finish();
    int error = 0;
    printLies(out, map, t, &error);
    return error;
}

// The map, its rows read afresh: 0, or the reader's error. Rows wider than
// a line are shown in bands of sector numbers.
int printMap(std::FILE* out, d88::RecordMap& map, const DiskFacts& disk)
{
    if (disk.highR < 0) {
        std::fprintf(out, "\nmap: no records\n");
        return 0;
    }
    std::vector<MapRow> rows;
    if (const int error = mapRows(map, disk, &rows))
        return error;
    std::fprintf(out, "\nmap of sector numbers %d-%d:\n", disk.lowR, disk.highR);
    {
        Wrapped legend(out, 2);
        bool first = true;
        const std::vector<MapMark> marks = mapLegend(disk);
        for (const MapMark& mark : marks) {
            legend.word((mark.marks.size() == 1 ? "'" + mark.marks + "' " : std::string("a digit: ")) +
                        mark.words + (&mark == &marks.back() ? "" : ","));
            if (first && mark.marks == std::string(1, kMissing))
                legend.word("then the first that applies:");
            first = first && mark.marks != std::string(1, kMissing);
        }
    }
    constexpr int kBand = 80;
    for (int low = disk.lowR; low <= disk.highR; low += kBand) {
        const int high = std::min(disk.highR, low + kBand - 1);
        for (const int divisor : {100, 10, 1}) {
            if (divisor > high)
                continue;
            std::string header(10, ' ');
            for (int r = low; r <= high; ++r)
                header += static_cast<char>('0' + r / divisor % 10);
            std::fprintf(out, "%s\n", header.c_str());
        }
        for (const MapRow& row : rows) {
            if (row.state == TrackState::Absent)
                std::fprintf(out, "track %3d absent\n", row.track);
            else if (row.state == TrackState::PastEnd)
                std::fprintf(out, "track %3d past the end of the file\n", row.track);
            else
                std::fprintf(out, "track %3d %s\n", row.track,
                             row.marks
                                 .substr(static_cast<std::size_t>(low - disk.lowR),
                                         static_cast<std::size_t>(high - low + 1))
                                 .c_str());
        }
    }
    return 0;
}

} // namespace

int printTracks(std::FILE* out, d88::RecordMap& map, const DiskFacts& disk)
{
    std::fprintf(out, "disk %d: %d tracks present; record IDs as C.H.R.N in stored order\n", disk.index,
                 disk.count(TrackState::Present));
    if (const d88::Outcome loaded = map.loadDisk(disk.index); !loaded.done())
        return loaded.error;
    for (int t = 0; t < d88::kMaxTracks; ++t) {
        if (disk.tracks[t].state == TrackState::Absent)
            continue;
        if (const int error = printTrack(out, map, disk, t))
            return error;
    }
    if (disk.count(TrackState::Present) + disk.count(TrackState::PastEnd) == 0)
        return 0;
    return printMap(out, map, disk);
}

} // namespace d88info
