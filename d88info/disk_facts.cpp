#include "disk_facts.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

namespace d88info {

TrackScan::TrackScan()
    : records_(new (std::nothrow) FoundRecord[static_cast<std::size_t>(d88::kMaxRecordsPerTrack)])
{
}

d88::Outcome TrackScan::scan(d88::D88Image& image, int track, std::span<const FoundRecord>* records,
                             int first, int most)
{
    *records = {};
    if (!records_ || most <= 0)
        return d88::Outcome::found(false);
    const std::span<FoundRecord> room(records_.get(),
                                      static_cast<std::size_t>(std::min(most, d88::kMaxRecordsPerTrack)));
    std::int32_t got = 0;
    const d88::Outcome read = image.foundRecords(track, room, &got, nullptr, first);
    *records = room.first(static_cast<std::size_t>(got));
    return read;
}

bool isShort(const FoundRecord& record)
{
    return record.available < d88::nominalSectorSize(record.id.n);
}

int DiskFacts::count(TrackState state) const
{
    return static_cast<int>(std::count(std::begin(tracks), std::end(tracks), state));
}

int DiskFacts::highest(TrackState state) const
{
    for (int t = d88::kMaxTracks - 1; t >= 0; --t)
        if (tracks[t] == state)
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

void countFlags(DiskFacts* facts, d88::SectorFlags flags)
{
    for (const d88::SectorFlag flag : d88::kEverySectorFlag)
        facts->flags[static_cast<int>(flag)] += flags.has(flag);
    if (flags.has(d88::SectorFlag::OtherStatus))
        ++facts->otherStatuses[flags.status()];
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

// What a track's own records hold, counted into the facts once: records
// that tracks share are counted with the track that reached them first.
// What only the sector counts walk through is no record of the disk.
void countTrack(DiskFacts* facts, std::span<const FoundRecord> records)
{
    std::int64_t bytes = 0;
    bool countLie = false;
    for (const FoundRecord& record : records) {
        if (record.counted)
            continue;
        ++facts->sizeCodes[record.id.n];
        countFlags(facts, record.flags);
        facts->stubby += isShort(record);
        facts->pastLies += record.pastLie.field != d88::LyingField::None;
        facts->sizeLies += record.nominalStep || record.storedShort;
        countLie = countLie || record.pastLie.field == d88::LyingField::SectorCount;
        facts->diskSizeLies = facts->diskSizeLies || record.pastLie.field == d88::LyingField::DiskSize;
        bytes += d88::nominalSectorSize(record.id.n);
        facts->lowR = std::min<int>(facts->lowR, record.id.r);
        facts->highR = std::max<int>(facts->highR, record.id.r);
    }
    facts->countLies += countLie;
    facts->largestTrackBytes = std::max(facts->largestTrackBytes, bytes);
}

d88::Outcome gatherTracks(d88::D88Image& image, TrackScan& scan, DiskFacts* facts)
{
    facts->tableEntries = image.tableEntries();
    // Tracks that share a start are read once, from the lowest of them.
    int times[d88::kMaxTracks] = {};
    for (int t = 0; t < d88::kMaxTracks; ++t) {
        d88::TrackStanding standing = d88::TrackStanding::Absent;
        if (const d88::Outcome told = image.trackStanding(t, &standing); told.failed())
            return told;
        facts->tracks[t] = stateOf(standing);
        facts->trackOffsets[t] = image.trackOffset(t);
        facts->sameAs[t] = t;
        if (facts->tracks[t] == TrackState::Present)
            if (const d88::Outcome told = image.sameRecordsAs(t, &facts->sameAs[t]); told.failed())
                return told;
        times[facts->sameAs[t]] += facts->tracks[t] == TrackState::Present;
    }
    for (int t = 0; t < d88::kMaxTracks; ++t) {
        if (times[t] == 0)
            continue;
        d88::TrackShare& share = facts->shares[t];
        if (const d88::Outcome told = image.trackShares(t, &share); told.failed())
            return told;
        for (int i = 0; i < times[t]; ++i)
            countRecords(facts, share.records);
        std::span<const FoundRecord> own;
        if (const d88::Outcome read = scan.scan(image, t, &own, 0, share.own); read.failed())
            return read;
        countTrack(facts, own);
    }
    for (int t = 0; t < d88::kMaxTracks; ++t)
        if (facts->tracks[t] == TrackState::Present) {
            facts->shares[t] = facts->shares[facts->sameAs[t]];
            if (facts->shares[t].records > 0)
                facts->highestWithRecords = t;
        }
    std::int64_t sizeCodeRecords = -1;
    for (int n = 0; n < 256; ++n)
        if (facts->sizeCodes[n] > sizeCodeRecords) {
            sizeCodeRecords = facts->sizeCodes[n];
            facts->commonSizeCode = sizeCodeRecords > 0 ? n : 1;
        }
    return d88::Outcome{};
}

} // namespace

Gathering gatherDisk(d88::D88Image& image, int index, TrackScan& scan, DiskFacts* facts, int* error)
{
    *facts = DiskFacts{};
    facts->index = index;
    facts->fileOffset = image.diskOffset(index);
    facts->verdict = d88::judgeDisk(image, index);
    if ((*error = facts->verdict.readError) != 0)
        return Gathering::ReadFailed;
    const d88::Outcome selected = image.loadDisk(index);
    if ((*error = selected.error) != 0)
        return Gathering::ReadFailed;
    if (!selected.done())
        return Gathering::NoHeader;
    facts->gathered = true;
    // diskName() is at most 16 bytes and NUL-terminated; name has room for 17.
    std::memcpy(facts->name, image.diskName(), std::strlen(image.diskName()));
    facts->mediaType = image.mediaType();
    facts->diskSize = static_cast<std::uint32_t>(image.diskSize());
    facts->fileSize = image.fileSize();
    std::uint8_t header[d88::kDiskHeaderSize] = {};
    std::int64_t got = 0;
    d88::Outcome read = image.readFileBytes(facts->fileOffset, header, &got);
    if (got == d88::kDiskHeaderSize)
        facts->writeProtect = header[d88::kWriteProtectOffset];
    if (!read.failed())
        read = gatherTracks(image, scan, facts);
    std::int64_t end = 0;
    if (!read.failed())
        read = image.diskExtent(&facts->sizeFieldLies, &end);
    facts->extent = std::max<std::int64_t>(end - facts->fileOffset, 0);
    if (!read.failed())
        read = zanvo::readBootSector(image, facts->boot);
    if ((*error = read.error) != 0)
        return Gathering::ReadFailed;
    facts->bootFound = read.done();
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
    return trackRanges([&](int t) { return disk.tracks[t] == state; });
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
    switch (mediaType) {
    case 0x00:
        return "2D";
    case 0x10:
        return "2DD";
    case 0x20:
        return "2HD";
    default:
        return "";
    }
}

} // namespace d88info
