// A track's sector records, walked from the track's first record. Byte
// layout of a record (integers little-endian):
//
//   record := 0  C, H, R, N (u8 each)  cylinder, head, sector number, size code
//             4  sector count (16)     records in this track
//             6  density (u8)          0x00 double, 0x40 single
//             7  deleted mark (u8)     0x10: deleted-data address mark
//             8  status (u8)           controller status when dumped
//             9  reserved[5]
//             14 data size (16)        bytes of data following the header
//             16 data[data size]
#include "d88/d88_image.h"

#include "file_window.h"
#include "record_map.h"
#include "span_size.h"

#include <algorithm>
#include <cstring>

namespace d88 {

struct D88Image::Record {
    std::int32_t c, h, r, n;
    std::int32_t count;
    std::int32_t size;
    std::uint8_t density, deletedMark, status;
    // The header's bytes in the read window, until the next read: the walk
    // takes the flags from them only for the record it stops at.
    const std::uint8_t* header;

    void takeFlags()
    {
        density = header[kDensityOffset];
        deletedMark = header[kDeletedMarkOffset];
        status = header[kStatusOffset];
    }
};

bool D88Image::readRecordHeader(std::int64_t pos, Record* record)
{
    const std::uint8_t* bytes = nullptr;
    if (bytesAt(pos, kSectorHeaderSize, &bytes) < kSectorHeaderSize)
        return false;
    record->c = bytes[0];
    record->h = bytes[1];
    record->r = bytes[2];
    record->n = bytes[3];
    record->count = readLE16(bytes + kSectorCountOffset);
    record->size = readLE16(bytes + kDataSizeOffset);
    record->header = bytes;
    return true;
}

// The strict lookup answered from the track's found records, where they
// hold every record the strict walk examines (`known` says whether they do):
// the same records, read once.
bool D88Image::lookupKept(const SectorPlace& at, std::int64_t* dataPos, Record* found, bool* known)
{
    *known = false;
    RecordMap* map = recordMap();
    TrackView view;
    if (!map || !map->view(*file_, at.track, &view) || view.strictSeen < 0)
        return false;
    *known = true;
    std::int32_t index = 0;
    ViewCursor where(*map, -1, 0);
    if (!map->find(view, packedId(at.id), &index, &where) || index >= view.strictSeen)
        return false;
    const WalkedRecord& rec = where.record();
    *found = Record{at.id.c,  at.id.h,     at.id.r,     at.id.n,    rec.count,
                    rec.size, rec.density, rec.deleted, rec.status, nullptr};
    *dataPos = map->base() + rec.offset + kSectorHeaderSize;
    return true;
}

// Walks the track from its first record to the one whose ID is (c, h, r, n).
// The walk ends at the record whose position is its own count - 1, or at a
// count of 0. Counts stop at 65535, so no walk goes past that many records.
bool D88Image::lookup(const SectorPlace& at, std::int64_t* dataPos, Record* found)
{
    std::int64_t start = 0;
    if (!trackStart(at.track, &start))
        return false;
    bool known = false;
    const bool kept = lookupKept(at, dataPos, found, &known);
    if (known)
        return kept;
    const std::int32_t c = at.id.c, h = at.id.h, r = at.id.r, n = at.id.n;
    // Locals the compiler can keep in registers: a crafted track makes this
    // loop run tens of thousands of times for one lookup.
    std::int64_t pos = start;
    Record rec{};
    for (std::int32_t i = 0; i < kMaxRecordsPerTrack; ++i) {
        if (!readRecordHeader(pos, &rec) || rec.count == 0)
            return false;
        pos += kSectorHeaderSize;
        if (rec.c == c && rec.h == h && rec.r == r && rec.n == n) {
            rec.takeFlags();
            *found = rec;
            *dataPos = pos;
            return true;
        }
        pos += rec.size;
        if (i == rec.count - 1)
            return false;
    }
    return false;
}

// Looks the sector up and copies up to maxLen bytes of its data to dest: the
// bytes copied, or -1 when the sector is not in the track.
std::int32_t D88Image::readFound(const SectorPlace& at, std::uint8_t* dest, std::int32_t maxLen,
                                 Record* found)
{
    std::int64_t pos = 0;
    if (!lookup(at, &pos, found))
        return -1;
    const std::uint8_t* data = nullptr;
    const std::int32_t got = bytesAt(pos, std::min(found->size, maxLen), &data);
    if (got <= 0)
        return 0;
    std::memcpy(dest, data, static_cast<std::size_t>(got));
    return got;
}

std::int32_t D88Image::readSector(std::int32_t track, std::int32_t c, std::int32_t h, std::int32_t r,
                                  std::int32_t n, std::uint8_t* dest, std::int32_t maxLen)
{
    SectorPlace at;
    if (maxLen < 0 || !makePlace(track, c, h, r, n, &at)) {
        outcome_ = Outcome::found(false);
        return 0;
    }
    Record rec{};
    const std::int32_t got = readFound(at, dest, maxLen, &rec);
    // Failed, not a short sector, where the data's read failed.
    static_cast<void>(settle(got >= 0));
    return std::max(got, 0);
}

std::int32_t D88Image::readSector(const SectorPlace& at, std::span<std::uint8_t> dest)
{
    Record rec{};
    return std::max(readFound(at, dest.data(), clampedSize(dest.size()), &rec), 0);
}

// Stores the IDs of the track's records while 4 more bytes fit. Unlike a
// lookup, the listing does not stop at a count of 0: it goes on while there
// is room, until the count says the track is done or the file ends.
std::int32_t D88Image::readSectorIds(std::int32_t track, std::uint8_t* dest, std::int32_t capacity)
{
    std::int64_t pos = 0;
    if (!trackStart(track, &pos)) {
        outcome_ = Outcome::found(false);
        return 0;
    }
    std::int32_t listed = 0;
    for (; listed < capacity / 4; ++listed) {
        Record rec{};
        if (!readRecordHeader(pos, &rec))
            break;
        std::uint8_t* at = dest + 4 * static_cast<std::size_t>(listed);
        at[0] = static_cast<std::uint8_t>(rec.c);
        at[1] = static_cast<std::uint8_t>(rec.h);
        at[2] = static_cast<std::uint8_t>(rec.r);
        at[3] = static_cast<std::uint8_t>(rec.n);
        pos += kSectorHeaderSize + rec.size;
        if (listed == rec.count - 1) {
            ++listed;
            break;
        }
    }
    static_cast<void>(settle(true));
    return 4 * listed;
}

} // namespace d88
