#include "early_end.h"

#include "d88/layout.h"

#include <cstdio>

namespace zanvo {

namespace {

// Whether a plan's file has a sector past the file's end: its run of 256-byte
// sectors goes through sectors 1-16 of a track and on to the next.
bool reachesPast(const CutEntry& row, const EarlyEnd& end)
{
    constexpr std::int32_t kPerTrack = kLastSector - kFirstSector + 1;
    const std::int32_t sectors = (row.length + 255) / 256;
    for (std::int32_t k = 0; k < sectors; ++k) {
        const std::int32_t at = row.sector - kFirstSector + k;
        const std::int32_t track = row.track + at / kPerTrack, r = kFirstSector + at % kPerTrack;
        if (track >= d88::kMaxTracks)
            return false;
        if (end.pastEnd.test(static_cast<std::size_t>(track)) ||
            (track == end.cutShort && !end.wholeOnCut.test(static_cast<std::size_t>(r))))
            return true;
    }
    return false;
}

// Whether present track `t`, whose extent runs to the file's end, lost its
// tail with the file: its last record stored short, or fewer records than
// its first record's sector count.
d88::Outcome cutShort(d88::RecordMap& map, std::int32_t t, const d88::TrackFacts& facts, bool* cut)
{
    *cut = false;
    if (facts.records == 0) {
        *cut = true; // the file ends before its first record is whole
        return d88::Outcome{};
    }
    d88::Record first, last;
    std::int32_t seen = 0;
    const d88::Outcome read = map.eachRecord(t, [&](const d88::Record& record, std::int32_t) {
        if (seen++ == 0)
            first = record;
        last = record;
        return true;
    });
    if (read.failed() || seen < facts.records)
        return read;
    *cut = last.storedShort() || facts.records < first.header.sectorCount;
    return d88::Outcome{};
}

// Whether the table names a track that starts at or past the file's end.
bool tracksPastEnd(const d88::DiskLayout& disk)
{
    for (const d88::TrackStanding standing : disk.standing)
        if (standing == d88::TrackStanding::PastEnd)
            return true;
    return false;
}

} // namespace

d88::Outcome findEarlyEnd(d88::RecordMap& map, EarlyEnd* out)
{
    *out = EarlyEnd{};
    const d88::DiskLayout& disk = map.disk();
    out->fileEnd = map.image().fileSize();
    if (!disk.sizeLies && disk.claimedEnd > out->fileEnd && disk.claimedEnd > disk.offset)
        out->shortBy = disk.claimedEnd - out->fileEnd;
    for (std::int32_t t = 0; t < d88::kMaxTracks; ++t) {
        if (disk.standing[t] == d88::TrackStanding::PastEnd) {
            out->pastEnd.set(static_cast<std::size_t>(t));
            continue;
        }
        if (disk.standing[t] != d88::TrackStanding::Present || out->cutShort >= 0)
            continue;
        // The file's end cuts a track short only where something says the
        // disk goes on: its size, or tracks its table names past the end.
        // A last track that holds fewer records than a count claims is
        // otherwise a field that lies, not a file that ends early.
        // Nor is a track whose extent ends before the file does: it is not
        // read for this.
        if ((out->shortBy == 0 && !tracksPastEnd(disk)) || map.extentEnd(t) < out->fileEnd)
            continue;
        d88::TrackFacts facts;
        if (const d88::Outcome told = map.track(t, &facts); told.failed())
            return told;
        if (facts.end < out->fileEnd)
            continue;
        bool cut = false;
        if (const d88::Outcome read = cutShort(map, t, facts, &cut); read.failed())
            return read;
        if (!cut)
            continue;
        out->cutShort = t;
        const d88::Outcome walked = map.eachRecord(t, [&](const d88::Record& record, std::int32_t) {
            if (!record.storedShort())
                out->wholeOnCut.set(record.header.id.r);
            return true;
        });
        if (walked.failed())
            return walked;
    }
    return d88::Outcome{};
}

std::string trackList(const std::bitset<d88::kMaxTracks>& tracks)
{
    std::string out = tracks.count() == 1 ? "track " : "tracks ";
    bool first = true;
    for (std::int32_t t = 0; t < d88::kMaxTracks; ++t) {
        if (!tracks.test(static_cast<std::size_t>(t)))
            continue;
        std::int32_t last = t;
        while (last + 1 < d88::kMaxTracks && tracks.test(static_cast<std::size_t>(last + 1)))
            ++last;
        out += first ? "" : ", ";
        out += std::to_string(t);
        if (last > t)
            out += '-' + std::to_string(last);
        first = false;
        t = last;
    }
    return out;
}

std::string earlyEndWords(const EarlyEnd& end, std::int32_t disk, const CutEntry* plan)
{
    char at[64];
    std::snprintf(at, sizeof at, "%lld (0x%llx)", static_cast<long long>(end.fileEnd),
                  static_cast<unsigned long long>(end.fileEnd));
    std::string out = std::string("the file ends early, at offset ") + at;
    const std::string which = "disk " + std::to_string(disk);
    out += end.shortBy > 0 ? ", " + std::to_string(end.shortBy) + " bytes before the end of " + which
                           : " inside " + which;
    out += ": ";
    if (end.cutShort >= 0)
        out += "track " + std::to_string(end.cutShort) + " is cut short";
    if (end.pastEnd.any())
        out += (end.cutShort >= 0 ? " and " : "") + trackList(end.pastEnd) +
               (end.pastEnd.count() == 1 ? " is" : " are") + " past it";

    std::int32_t files = 0, reaching = 0;
    const char* firstName = nullptr;
    for (const CutEntry* row = plan; row->sector != 0; ++row) {
        ++files;
        if (reachesPast(*row, end) && reaching++ == 0)
            firstName = row->name;
    }
    const std::string ofFiles =
        files == 1 ? "the file to cut" : "the " + std::to_string(files) + " files to cut";
    if (reaching == 0)
        return out + "; " +
               (files == 1 ? "the file to cut lies before it" : "none of " + ofFiles + " lies past it");
    if (reaching == 1)
        return out + "; " + firstName + " lies partly or wholly past it";
    return out + "; " + std::to_string(reaching) + " of " + ofFiles +
           " lie partly or wholly past it, the first " + firstName;
}

} // namespace zanvo
