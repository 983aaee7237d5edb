// Laying a disk out for the record map.
#include "disk_layout.h"

#include <algorithm>
#include <limits>

namespace d88 {

namespace {

struct Walked {
    std::int64_t counted = -1; // the end of the count's last record's data, when reached
    std::int64_t reach = 0;    // the farthest the walked records claim
};

// The strict walk from `start` through plausible headers that fit before
// `limit`, no sector number twice, up to its count's last record.
Walked walkPlausible(FileWindow& file, std::int64_t start, std::int64_t limit)
{
    Walked out;
    out.reach = start;
    bool seen[256] = {};
    std::int64_t pos = start;
    for (std::int32_t i = 0; pos + kSectorHeaderSize <= limit; ++i) {
        const std::uint8_t* bytes = nullptr;
        if (file.view(pos, kSectorHeaderSize, &bytes) < kSectorHeaderSize)
            break;
        const RecordHeader h = RecordHeader::parse(bytes);
        if (!h.plausible() || seen[h.id.r] || h.sectorCount == 0)
            break;
        seen[h.id.r] = true;
        const std::int64_t end = pos + kSectorHeaderSize + h.dataSize;
        out.reach = std::max(out.reach, end);
        if (i == h.sectorCount - 1) {
            if (end <= limit)
                out.counted = end;
            break;
        }
        pos = end;
    }
    return out;
}

// Whether a disk header at `at` names a present track whose first record is
// plausible.
bool diskHeaderAt(FileWindow& file, std::int64_t at)
{
    const std::uint8_t* header = nullptr;
    if (at + kDiskHeaderSize > file.size() || file.view(at, kDiskHeaderSize, &header) < kDiskHeaderSize)
        return false;
    std::int32_t table[kMaxTracks];
    for (std::int32_t t = 0; t < kMaxTracks; ++t)
        table[t] = readLE32(header + kTrackTableOffset + 4 * t);
    for (std::int32_t t = 0; t < kMaxTracks; ++t) {
        const std::int64_t start = at + table[t];
        if (table[t] < kTrackTableOffset + 4 * (t + 1) || start + kSectorHeaderSize > file.size())
            continue;
        const std::uint8_t* first = nullptr;
        if (file.view(start, kSectorHeaderSize, &first) == kSectorHeaderSize &&
            RecordHeader::parse(first).plausible())
            return true;
    }
    return false;
}

// Whether the size field lies: it is below a header's size (while the table
// names tracks), or it ends the disk before or inside the records of a track
// the table names, and no disk header that names a plausible track stands
// where it ends.
bool sizeLies(FileWindow& file, std::int64_t base, std::int32_t size, const std::int32_t* table,
              std::int32_t entries)
{
    if (std::none_of(table, table + entries, [](std::int32_t offset) { return offset > 0; }))
        return false;
    if (size < kDiskHeaderSize)
        return true;
    const std::int64_t claimedEnd = base + size;
    if (claimedEnd >= file.size() || diskHeaderAt(file, claimedEnd))
        return false;
    const std::int64_t headerEnd = kTrackTableOffset + 4 * static_cast<std::int64_t>(entries);
    std::int64_t lastBelow = -1;
    for (std::int32_t t = 0; t < entries; ++t) {
        const std::int32_t offset = table[t];
        if (offset < headerEnd)
            continue;
        if (offset > size && base + offset < file.size())
            return true; // a track past the size, within the file
        if (offset < size)
            lastBelow = std::max(lastBelow, base + offset);
    }
    return lastBelow >= 0 && walkPlausible(file, lastBelow, file.size()).reach > claimedEnd;
}

// How many of the 164 table entries are track offsets: the table ends where
// the lowest track that lies within `limit` bytes of the disk's start
// begins; an entry that points into the header's fixed fields, or before the
// end of its own slot, is a stray and ends nothing.
std::int32_t tableEntries(const std::int32_t* table, std::int64_t limit)
{
    std::int64_t firstTrack = std::numeric_limits<std::int64_t>::max();
    std::int32_t entries = 0;
    for (; entries < kMaxTracks && kTrackTableOffset + 4 * entries < firstTrack; ++entries) {
        const std::int32_t offset = table[entries];
        if (offset >= kTrackTableOffset + 4 * (entries + 1) && offset <= limit && offset < firstTrack)
            firstTrack = offset;
    }
    return entries;
}

} // namespace

bool layOutDisk(FileWindow& file, std::int64_t base, std::int32_t index, DiskExtents* out)
{
    *out = DiskExtents{};
    DiskLayout& layout = out->layout;
    const std::uint8_t* header = nullptr;
    if (file.view(base, kDiskHeaderSize, &header) < kDiskHeaderSize)
        return false;
    std::int32_t table[kMaxTracks];
    for (std::int32_t t = 0; t < kMaxTracks; ++t)
        table[t] = readLE32(header + kTrackTableOffset + 4 * t);
    const std::int32_t size = readLE32(header + kDiskSizeOffset);
    const std::int64_t fileSize = file.size();
    layout.index = index;
    layout.offset = base;
    layout.tableEntries = tableEntries(table, size > 0 ? size : fileSize - base);
    layout.sizeLies = sizeLies(file, base, size, table, layout.tableEntries);
    layout.claimedEnd = base + static_cast<std::uint32_t>(size);
    const bool honest = !layout.sizeLies && size >= kDiskHeaderSize;
    layout.end = layout.sizeLies ? fileSize : std::min(base + (honest ? size : kDiskHeaderSize), fileSize);

    const std::int64_t headerEnd = kTrackTableOffset + 4 * static_cast<std::int64_t>(layout.tableEntries);
    std::int64_t starts[kMaxTracks];
    std::int32_t present = 0;
    for (std::int32_t t = 0; t < kMaxTracks; ++t) {
        const std::int32_t offset = table[t];
        TrackStanding& standing = layout.standing[t];
        // An entry at or past a size that tells the truth names no track: at
        // the size it is where the next disk begins.
        if (t >= layout.tableEntries || offset <= 0 || (honest && offset >= size))
            standing = TrackStanding::Absent;
        else if (offset < headerEnd)
            standing = TrackStanding::IntoHeader;
        else if (base + offset + kSectorHeaderSize > fileSize)
            standing = TrackStanding::PastEnd;
        else
            standing = TrackStanding::Present;
        out->strict[t] = StrictStart{offset > 0 && offset <= size ? base + offset : -1, size};
        if (standing == TrackStanding::Present)
            starts[present++] = out->start[t] = base + offset;
    }
    std::sort(starts, starts + present);
    const std::int32_t distinct = static_cast<std::int32_t>(std::unique(starts, starts + present) - starts);
    for (std::int32_t t = 0; t < kMaxTracks; ++t) {
        if (layout.standing[t] != TrackStanding::Present)
            continue;
        const std::int64_t start = out->start[t];
        const std::int64_t* next = std::upper_bound(starts, starts + distinct, start);
        out->bound[t] = next == starts + distinct ? layout.end : *next;
        out->end[t] = -1;
    }
    return file.error() == 0;
}

std::int64_t extentEnd(FileWindow& file, DiskExtents& disk, std::int32_t track)
{
    // Its own records run past the next start when the strict walk says so
    // through plausible records: a start inside them costs it none.
    if (disk.end[track] < 0)
        disk.end[track] =
            std::max(disk.bound[track], walkPlausible(file, disk.start[track], disk.layout.end).counted);
    return disk.end[track];
}

} // namespace d88
