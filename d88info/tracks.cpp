#include "recovery_text.h"
#include "report.h"

#include <string>

namespace d88info {

namespace {

char otherSizeMark(int n)
{
    return n < 10 ? static_cast<char>('0' + n) : '+';
}

// " 5.0.7.1" and, for a flagged record, "[status B0]", "[deleted]" or both.
void printRecord(std::FILE* out, const SectorRecord& record)
{
    std::fprintf(out, " %d.%d.%d.%d", record.id.c, record.id.h, record.id.r, record.id.n);
    const bool deleted = (record.deletedMark & d88::kDeletedDataMark) != 0;
    if (deleted && record.status != 0)
        std::fprintf(out, "[deleted, status %02X]", record.status);
    else if (deleted)
        std::fprintf(out, "[deleted]");
    else if (record.status != 0)
        std::fprintf(out, "[status %02X]", record.status);
}

// What the statuses seen on the disk mean, for the listing's last line.
void printFlagMeanings(std::FILE* out, const DiskFacts& disk)
{
    std::string meanings;
    for (int status = 1; status < 256; ++status) {
        if (disk.statuses[status] == 0)
            continue;
        zanvo::Text text;
        zanvo::describeStatus(static_cast<std::uint8_t>(status), &text);
        char hex[8];
        std::snprintf(hex, sizeof hex, "%02X", status);
        meanings += (meanings.empty() ? "" : "; ") + std::string("status ") + hex + ": " + text.c_str();
    }
    if (disk.deleted > 0)
        meanings += (meanings.empty() ? "" : "; ") + std::string("deleted: a deleted-data address mark");
    if (!meanings.empty())
        std::fprintf(out, "flags, as the dumper recorded them: %s\n", meanings.c_str());
}

void printMap(std::FILE* out, d88::D88Image& image, TrackScan& scan, const DiskFacts& disk)
{
    if (disk.highR < 0) {
        std::fprintf(out, "\nmap: no records\n");
        return;
    }
    std::fprintf(out,
                 "\nmap of sector numbers %d-%d: '%c' present, '%c' missing, '%c' duplicated, "
                 "'%c' C/H of another track, '%c' flagged by the dumper, a digit: size code other than %d\n",
                 disk.lowR, disk.highR, kPresent, kMissing, kDuplicated, kForeign, kFlagged,
                 disk.commonSizeCode);
    for (const int divisor : {100, 10, 1}) {
        if (divisor > disk.highR)
            continue;
        std::string header(10, ' ');
        for (int r = disk.lowR; r <= disk.highR; ++r)
            header += static_cast<char>('0' + r / divisor % 10);
        std::fprintf(out, "%s\n", header.c_str());
    }
    const int lastTrack = std::max(disk.highest(TrackState::Present), disk.highest(TrackState::PastEnd));
    for (int t = 0; t <= lastTrack; ++t) {
        if (disk.tracks[t] == TrackState::Absent)
            std::fprintf(out, "track %3d absent\n", t);
        else if (disk.tracks[t] == TrackState::PastEnd)
            std::fprintf(out, "track %3d past the end of the file\n", t);
        else
            std::fprintf(out, "track %3d %s\n", t, mapRow(disk, t, scan.scan(image, t)).c_str());
    }
}

} // namespace

std::string mapRow(const DiskFacts& disk, int track, std::span<const SectorRecord> records)
{
    if (disk.highR < disk.lowR)
        return "";
    std::string row(static_cast<std::size_t>(disk.highR - disk.lowR + 1), kMissing);
    for (const SectorRecord& record : records) {
        if (record.id.r < disk.lowR || record.id.r > disk.highR)
            continue;
        char& cell = row[static_cast<std::size_t>(record.id.r - disk.lowR)];
        char mark = kPresent;
        if (record.id.c != track / 2 || record.id.h != track % 2)
            mark = kForeign;
        else if (isFlagged(record))
            mark = kFlagged;
        else if (record.id.n != disk.commonSizeCode)
            mark = otherSizeMark(record.id.n);
        cell = cell == kMissing ? mark : kDuplicated;
    }
    return row;
}

void printTracks(std::FILE* out, d88::D88Image& image, TrackScan& scan, const DiskFacts& disk)
{
    std::fprintf(out, "disk %d: %d tracks present; record IDs as C.H.R.N in stored order\n", disk.index,
                 disk.count(TrackState::Present));
    if (!image.selectDisk(disk.index))
        return;
    for (int t = 0; t < d88::kMaxTracks; ++t) {
        if (disk.tracks[t] == TrackState::Absent)
            continue;
        std::fprintf(out, "track %3d (C %d H %d) at 0x%x: ", t, t / 2, t % 2,
                     static_cast<unsigned>(disk.trackOffsets[t]));
        if (disk.tracks[t] == TrackState::PastEnd) {
            std::fprintf(out, "past the end of the file\n");
            continue;
        }
        const std::span<const SectorRecord> records = scan.scan(image, t);
        std::fprintf(out, "%zu record%s:", records.size(), records.size() == 1 ? "" : "s");
        for (const SectorRecord& record : records)
            printRecord(out, record);
        std::fprintf(out, "\n");
    }
    printFlagMeanings(out, disk);
    if (disk.count(TrackState::Present) + disk.count(TrackState::PastEnd) > 0)
        printMap(out, image, scan, disk);
}

} // namespace d88info
