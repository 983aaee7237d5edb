#include "disk_facts.h"

#include "d88_words.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

namespace d88info {

int DiskFacts::count(TrackState state) const
{
    return static_cast<int>(std::count_if(std::begin(tracks), std::end(tracks),
                                          [state](const TrackInfo& t) { return t.state == state; }));
}

int DiskFacts::highest(TrackState state) const
{
    for (int t = d88::kMaxTracks - 1; t >= 0; --t)
        if (tracks[t].state == state)
            return t;
    return -1;
}

namespace {

void countRecords(DiskFacts* facts, std::int32_t records)
{
    int at = 0;
    while (at < facts->recordCountKinds && facts->recordCounts[at].records < records)
        ++at;
    if (at < facts->recordCountKinds && facts->recordCounts[at].records == records) {
        ++facts->recordCounts[at].tracks;
        return;
    }
    std::copy_backward(facts->recordCounts + at, facts->recordCounts + facts->recordCountKinds,
                       facts->recordCounts + facts->recordCountKinds + 1);
    facts->recordCounts[at] = {records, 1};
    ++facts->recordCountKinds;
}

TrackState stateOf(d88::TrackStanding standing)
{
    switch (standing) {
    case d88::TrackStanding::Present:
        return TrackState::Present;
    case d88::TrackStanding::PastEnd:
        return TrackState::PastEnd;
    case d88::TrackStanding::IntoHeader:
        return TrackState::IntoHeader;
    case d88::TrackStanding::Absent:
        break;
    }
    return TrackState::Absent;
}

// Walks a track's own records (those no run of `runs` holds) into `tally`.
d88::Outcome walkTally(d88::RecordMap& map, int track, const std::vector<d88::SharedRun>& runs,
                       TrackTally* tally)
{
    std::int64_t sizeCodes[256] = {}, otherStatuses[256] = {};
    std::size_t next = 0;
    const d88::Outcome walked = map.eachRecord(track, [&](const Record& record, std::int32_t index) {
        while (next < runs.size() && runs[next].first + runs[next].count <= index)
            ++next;
        if (next < runs.size() && runs[next].first <= index)
            return true;
        if (const d88::SectorFlags flags = record.flags(); flags.any()) {
            for (const d88::SectorFlag flag : d88::kEverySectorFlag)
                tally->flags[static_cast<int>(flag)] += flags.has(flag);
            if (flags.has(d88::SectorFlag::OtherStatus))
                ++otherStatuses[flags.status()];
        }
        const d88::SectorId& id = record.header.id;
        ++sizeCodes[id.n];
        tally->stubby += record.storedShort();
        tally->uncertain += record.uncertain;
        tally->pastLies += record.pastLie.field != d88::LyingField::None;
        tally->sizeLies += !record.bySize && record.available != record.header.dataSize;
        tally->pastCount = tally->pastCount || record.pastLie.field == d88::LyingField::SectorCount;
        tally->pastNoRecord = tally->pastNoRecord || record.pastLie.field == d88::LyingField::NoRecord;
        tally->pastDiskSize = tally->pastDiskSize || record.pastLie.field == d88::LyingField::DiskSize;
        tally->bytes += d88::nominalSectorSize(id.n);
        tally->lowR = std::min<int>(tally->lowR, id.r);
        tally->highR = std::max<int>(tally->highR, id.r);
        if (tally->otherBootSizeCode < 0 && zanvo::isOtherBoot(id))
            tally->otherBootSizeCode = id.n;
        return true;
    });
    for (int v = 0; v < 256; ++v) {
        if (sizeCodes[v] > 0)
            tally->sizeCodes.emplace_back(static_cast<std::uint8_t>(v), sizeCodes[v]);
        if (otherStatuses[v] > 0)
            tally->otherStatuses.emplace_back(static_cast<std::uint8_t>(v), otherStatuses[v]);
    }
    return walked;
}

// Adds track `track`'s tally to the facts: track 0's says whether sector 1
// is of another size.
void addTally(const TrackTally& tally, DiskFacts* facts, int track)
{
    if (track == 0)
        facts->bootSizeCode = tally.otherBootSizeCode;
    for (int k = 0; k < d88::kSectorFlagKinds; ++k)
        facts->flags[k] += tally.flags[k];
    for (const auto& [n, records] : tally.sizeCodes)
        facts->sizeCodes[n] += records;
    for (const auto& [status, records] : tally.otherStatuses)
        facts->otherStatuses[status] += records;
    facts->stubby += tally.stubby;
    facts->uncertain += tally.uncertain;
    facts->pastLies += tally.pastLies;
    facts->sizeLies += tally.sizeLies;
    facts->countLies += tally.pastCount;
    facts->noRecordLies += tally.pastNoRecord;
    facts->diskSizeLies = facts->diskSizeLies || tally.pastDiskSize;
    facts->largestTrackBytes = std::max(facts->largestTrackBytes, tally.bytes);
    facts->lowR = std::min(facts->lowR, tally.lowR);
    facts->highR = std::max(facts->highR, tally.highR);
}

// What a track's own records hold, counted into the facts once: records a
// lower track lists are counted with it. A whole reading that `shared`
// holds the tally of is not walked again; one an earlier disk reads too is
// kept there when walked.
d88::Outcome countTrack(d88::RecordMap& map, int track, DiskFacts* facts, TrackOwners* shared)
{
    TrackInfo& info = facts->tracks[track];
    std::vector<d88::SharedRun> runs;
    if (const d88::Outcome told = sharedRuns(map, track, info.facts.records, &runs); told.failed())
        return told;
    for (const d88::SharedRun& run : runs)
        info.shared += run.count;
    facts->noRecordBytes += info.facts.skipped;
    facts->cutTracks += info.facts.cut;
    // A tally of only some of the reading's records is this disk's alone;
    // one of a reading no earlier disk reads is most likely wanted by none.
    const bool whole = runs.empty() && shared && info.otherDisk >= 0;
    if (const TrackTally* kept = whole ? shared->tally(info.facts.reading) : nullptr) {
        addTally(*kept, facts, track);
        return d88::Outcome{};
    }
    TrackTally tally;
    const d88::Outcome walked = walkTally(map, track, runs, &tally);
    if (walked.failed())
        return walked;
    addTally(tally, facts, track);
    if (whole && !shared->keep(info.facts.reading, std::move(tally)))
        return d88::Outcome::failure(ENOMEM);
    return walked;
}

} // namespace

d88::Outcome sharedRuns(d88::RecordMap& map, int track, std::int32_t records,
                        std::vector<d88::SharedRun>* runs)
{
    // Each record is in at most one run, and runs are stretches of a lower
    // track's records: a track holds at most one run for each lower track's
    // stretch of its own, which a crafted image can make many of. Room for
    // no more runs than records: it is cleared on every call.
    runs->resize(static_cast<std::size_t>(std::clamp(records, 0, 1024)));
    std::int32_t count = 0;
    const d88::Outcome told = map.sharedRuns(track, *runs, &count);
    runs->resize(static_cast<std::size_t>(told.done() ? count : 0));
    return told;
}

bool TrackOwners::add(const DiskFacts& disk)
{
    if (!disk.gathered)
        return true;
    try {
        for (int t = 0; t < d88::kMaxTracks; ++t) {
            const TrackInfo& info = disk.tracks[t];
            if (info.state == TrackState::Present && info.facts.sameAs == t)
                owners_.try_emplace({info.facts.start, info.facts.end}, Owner{disk.index, t});
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

const TrackTally* TrackOwners::tally(std::int32_t reading) const
{
    const auto it = tallies_.find(reading);
    return it == tallies_.end() ? nullptr : &it->second;
}

bool TrackOwners::keep(std::int32_t reading, TrackTally tally)
{
    try {
        tallies_.try_emplace(reading, std::move(tally));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

const TrackOwners::Owner* TrackOwners::find(std::int64_t start, std::int64_t end) const
{
    const auto it = owners_.find({start, end});
    return it == owners_.end() ? nullptr : &it->second;
}

Gathering gatherDisk(d88::RecordMap& map, int index, DiskFacts* facts, int* error, TrackOwners* earlier)
{
    *facts = DiskFacts{};
    d88::D88Image& image = map.image();
    facts->index = index;
    facts->fileOffset = image.diskOffset(index);
    facts->fileSize = image.fileSize();
    *error = 0;
    d88::Outcome read = d88::judgeDisk(map, index, &facts->verdict);
    if ((*error = read.error) != 0)
        return Gathering::ReadFailed;
    if (!facts->verdict.readable)
        return Gathering::NoHeader;
    facts->gathered = true;
    std::int64_t got = 0;
    if ((read = image.readFileBytes(facts->fileOffset, facts->header, &got)).failed()) {
        *error = read.error;
        return Gathering::ReadFailed;
    }
    const std::uint8_t* header = facts->header;
    for (int i = 0; i < d88::kDiskNameLength && header[i] != 0; ++i)
        facts->name[i] = static_cast<char>(header[i]);
    facts->mediaType = header[d88::kMediaTypeOffset];
    facts->writeProtect = header[d88::kWriteProtectOffset];
    facts->diskSize = static_cast<std::uint32_t>(d88::readLE32(header + d88::kDiskSizeOffset));
    facts->layout = map.disk();
    for (int t = 0; t < d88::kMaxTracks; ++t) {
        TrackInfo& info = facts->tracks[t];
        info.state = stateOf(facts->layout.standing[t]);
        info.offset = d88::readLE32(header + d88::kTrackTableOffset + 4 * t);
        if (info.state != TrackState::Present)
            continue;
        if ((read = map.track(t, &info.facts)).failed()) {
            *error = read.error;
            return Gathering::ReadFailed;
        }
        countRecords(facts, info.facts.records);
        if (info.facts.records > 0)
            facts->highestWithRecords = t;
        // A track an earlier disk of the file reads already is that disk's.
        if (const TrackOwners::Owner* owner =
                earlier ? earlier->find(info.facts.start, info.facts.end) : nullptr)
            info.otherDisk = owner->disk, info.otherTrack = owner->track;
        if (info.facts.sameAs != t) {
            info.shared = info.facts.records;
            continue;
        }
        if ((read = countTrack(map, t, facts, earlier)).failed()) {
            *error = read.error;
            return Gathering::ReadFailed;
        }
    }
    // A size that lies bounds nothing: the disk is what its records cover.
    std::int64_t end = std::min(facts->fileOffset + d88::kDiskHeaderSize, facts->fileSize);
    for (const TrackInfo& info : facts->tracks)
        if (info.state == TrackState::Present)
            end = std::max(end, info.facts.recordsEnd);
    facts->extent = facts->layout.sizeLies ? end - facts->fileOffset : facts->diskSize;
    std::int64_t most = -1;
    for (int n = 0; n < 256; ++n)
        if (facts->sizeCodes[n] > most) {
            most = facts->sizeCodes[n];
            facts->commonSizeCode = most > 0 ? n : 1;
        }
    read = zanvo::readBootSector(map, facts->boot);
    if ((*error = read.error) != 0)
        return Gathering::ReadFailed;
    facts->bootFound = read.done();
    if (facts->bootFound)
        facts->bootSizeCode = -1; // named only for a disk without one
    facts->kind = facts->bootFound ? zanvo::recogniseLabel(facts->boot) : zanvo::DiskKind::Unknown;
    return Gathering::Whole;
}

std::string trackRanges(const std::function<bool(int)>& pick)
{
    std::string out;
    for (int t = 0; t < d88::kMaxTracks;) {
        if (!pick(t)) {
            ++t;
            continue;
        }
        int last = t;
        while (last + 1 < d88::kMaxTracks && pick(last + 1))
            ++last;
        if (!out.empty())
            out += ", ";
        out += std::to_string(t);
        if (last > t)
            out += '-' + std::to_string(last);
        t = last + 1;
    }
    return out.empty() ? "none" : out;
}

std::string trackRanges(const DiskFacts& disk, TrackState state)
{
    return trackRanges([&](int t) { return disk.tracks[t].state == state; });
}

std::string escapeName(const std::string& raw)
{
    std::string out;
    for (const char ch : raw) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte >= 0x20 && byte < 0x7F && ch != '"' && ch != '\\') {
            out += ch;
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02x", byte);
            out += hex;
        }
    }
    return out;
}

const char* mediaMeaning(int mediaType)
{
    return zanvo::mediaName(mediaType);
}

std::string thousands(std::int64_t value)
{
    const std::string digits = std::to_string(value);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && digits[i - 1] != '-' && (digits.size() - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return out;
}

} // namespace d88info
