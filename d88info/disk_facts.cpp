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

std::span<const FoundRecord> TrackScan::scan(d88::D88Image& image, int track)
{
    if (!records_)
        return {};
    const std::span<FoundRecord> room(records_.get(), static_cast<std::size_t>(d88::kMaxRecordsPerTrack));
    const std::int32_t got = image.foundRecords(track, room);
    return room.first(static_cast<std::size_t>(got));
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

// What one track's records hold, counted into the facts `times` over: the
// tracks that share a track's records count them as their own.
void countTrack(DiskFacts* facts, std::span<const FoundRecord> records, int times)
{
    std::int64_t bytes = 0;
    bool countLie = false;
    for (int i = 0; i < times; ++i)
        countRecords(facts, static_cast<std::int32_t>(records.size()));
    for (const FoundRecord& record : records) {
        facts->sizeCodes[record.id.n] += times;
        for (int i = 0; i < times; ++i)
            countFlags(facts, record.flags);
        facts->stubby += times * isShort(record);
        facts->pastLies += times * (record.pastLie.field != d88::LyingField::None);
        facts->sizeLies += record.nominalStep;
        countLie = countLie || record.pastLie.field == d88::LyingField::SectorCount;
        facts->diskSizeLies = facts->diskSizeLies || record.pastLie.field == d88::LyingField::DiskSize;
        bytes += d88::nominalSectorSize(record.id.n);
        facts->lowR = std::min<int>(facts->lowR, record.id.r);
        facts->highR = std::max<int>(facts->highR, record.id.r);
    }
    facts->countLies += countLie;
    facts->largestTrackBytes = std::max(facts->largestTrackBytes, bytes);
}

void gatherTracks(d88::D88Image& image, TrackScan& scan, DiskFacts* facts)
{
    facts->tableEntries = image.tableEntries();
    // Tracks that share records are read once, from the lowest of them.
    int times[d88::kMaxTracks] = {};
    for (int t = 0; t < d88::kMaxTracks; ++t) {
        facts->tracks[t] = stateOf(image.trackStanding(t));
        facts->trackOffsets[t] = image.trackOffset(t);
        facts->sameAs[t] = facts->tracks[t] == TrackState::Present ? image.sameRecordsAs(t) : t;
        times[facts->sameAs[t]] += facts->tracks[t] == TrackState::Present;
    }
    bool holds[d88::kMaxTracks] = {};
    for (int t = 0; t < d88::kMaxTracks; ++t) {
        if (times[t] == 0)
            continue;
        const std::span<const FoundRecord> records = scan.scan(image, t);
        countTrack(facts, records, times[t]);
        holds[t] = !records.empty();
    }
    for (int t = 0; t < d88::kMaxTracks; ++t)
        if (facts->tracks[t] == TrackState::Present && holds[facts->sameAs[t]])
            facts->highestWithRecords = t;
    std::int64_t sizeCodeRecords = -1;
    for (int n = 0; n < 256; ++n)
        if (facts->sizeCodes[n] > sizeCodeRecords) {
            sizeCodeRecords = facts->sizeCodes[n];
            facts->commonSizeCode = sizeCodeRecords > 0 ? n : 1;
        }
}

} // namespace

Gathering gatherDisk(d88::D88Image& image, int index, TrackScan& scan, DiskFacts* facts, int* error)
{
    *facts = DiskFacts{};
    facts->index = index;
    facts->fileOffset = image.diskOffset(index);
    image.clearIoError();
    const bool selected = image.selectDisk(index);
    if ((*error = image.ioError()) != 0)
        return Gathering::ReadFailed;
    if (!selected)
        return Gathering::NoHeader;
    facts->gathered = true;
    // diskName() is at most 16 bytes and NUL-terminated; name has room for 17.
    std::memcpy(facts->name, image.diskName(), std::strlen(image.diskName()));
    facts->mediaType = image.mediaType();
    facts->diskSize = image.diskSize();
    facts->fileSize = image.fileSize();
    std::uint8_t header[d88::kDiskHeaderSize] = {};
    if (image.readFileBytes(facts->fileOffset, header) == d88::kDiskHeaderSize)
        facts->writeProtect = header[d88::kWriteProtectOffset];

    gatherTracks(image, scan, facts);

    facts->bootFound = zanvo::readBootSector(image, facts->boot);
    facts->kind = facts->bootFound ? zanvo::recogniseLabel(facts->boot) : zanvo::DiskKind::Unknown;
    return (*error = image.ioError()) != 0 ? Gathering::ReadFailed : Gathering::Whole;
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
