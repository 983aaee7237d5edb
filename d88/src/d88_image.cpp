// The D88 reader. Byte layout of an image file (all integers little-endian):
//
//   file   := disk disk ...            first disk at offset 0, next disk at
//                                      (disk start + disk size)
//   disk   := header(688) track data
//   header := 0x000 name[16]           NUL-terminated unless all 16 used
//             0x010 reserved[11]
//             0x01B media type (u8)
//             0x01C disk size (32)     whole disk, header included
//             0x020 track table[164] (32 each): offset of the track's first
//                                      record from the disk start, 0 = absent
//   track  := record record ...
//   record := 0  C, H, R, N (u8 each)  cylinder, head, sector number, size code
//             4  sector count (16)     records in this track
//             6  reserved[8]
//             14 data size (16)        bytes of data following the header
//             16 data[data size]
//
// Positions are computed in 64 bits: disk start + track offset + a walk of up
// to 65535 records of up to 65551 bytes each cannot overflow them.
#include "d88/d88_image.h"

#include "file_window.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace d88 {

namespace {

// The largest count a span's size can give an int32 interface.
std::int32_t clampedSize(std::size_t size)
{
    return static_cast<std::int32_t>(std::min<std::size_t>(size, std::numeric_limits<std::int32_t>::max()));
}

} // namespace

struct D88Image::Record {
    std::int32_t c, h, r, n;
    std::int32_t count;
    std::int32_t size;
};

D88Image::~D88Image() = default;

void D88Image::CloseFile::operator()(FileWindow* file) const
{
    delete file;
}

void D88Image::clearSelection()
{
    diskBase_ = -1;
    selectedDisk_ = -1;
    mediaType_ = -1;
    diskSize_ = 0;
    std::memset(diskName_, 0, sizeof diskName_);
}

bool D88Image::open(const char* path)
{
    file_.reset();
    if (!path) {
        diskCount_ = 0;
        selectedDisk_ = -1;
        mediaType_ = -1;
        return true;
    }
    file_.reset(FileWindow::open(path).release());
    if (!file_)
        return false;
    // A header describing another file must not steer reads of this one.
    clearSelection();

    std::int32_t count = 0;
    std::int64_t offset = 0;
    while (count < kMaxDisks) {
        diskOffsets_[count] = static_cast<std::int32_t>(offset);
        const std::uint8_t* header = nullptr;
        if (bytesAt(offset, kDiskHeaderSize, &header) < kDiskHeaderSize)
            break;
        const std::int32_t size = readLE32(header + kDiskSizeOffset);
        ++count;
        offset += size;
        // A negative size cannot lead to another disk, and an offset past
        // 2 GiB lies beyond the images this reader accepts.
        if (size < 0 || offset > std::numeric_limits<std::int32_t>::max())
            break;
    }
    if (file_->failed()) {
        file_.reset();
        return false;
    }
    diskCount_ = count;
    return true;
}

void D88Image::close()
{
    open(nullptr);
}

bool D88Image::selectDisk(std::int32_t index)
{
    if (!file_)
        return false;
    clearSelection();
    if (index < 0 || index >= diskCount_)
        return false;
    const std::uint8_t* header = nullptr;
    if (bytesAt(diskOffsets_[index], kDiskHeaderSize, &header) < kDiskHeaderSize)
        return false;
    for (std::int32_t i = 0; i < kMaxTracks; ++i)
        trackOffsets_[i] = readLE32(header + kTrackTableOffset + 4 * i);
    mediaType_ = header[kMediaTypeOffset];
    diskSize_ = readLE32(header + kDiskSizeOffset);
    // diskName_ was cleared above and its last byte is never written.
    for (std::int32_t i = 0; i < kDiskNameLength && header[kDiskNameOffset + i] != 0; ++i)
        diskName_[i] = static_cast<char>(header[kDiskNameOffset + i]);
    diskBase_ = diskOffsets_[index];
    selectedDisk_ = index;
    return true;
}

void D88Image::setSectorRange(std::int32_t first, std::int32_t last)
{
    firstSector_ = first;
    lastSector_ = last;
}

std::int64_t D88Image::diskOffset(std::int32_t index) const
{
    if (index < 0 || index >= diskCount_)
        return -1;
    return diskOffsets_[index];
}

std::int32_t D88Image::trackOffset(std::int32_t track) const
{
    if (track < 0 || track >= kMaxTracks)
        return 0;
    return trackOffsets_[track];
}

bool D88Image::trackPresent(std::int32_t track) const
{
    std::int64_t pos = 0;
    return trackStart(track, &pos);
}

bool D88Image::trackStart(std::int32_t track, std::int64_t* pos) const
{
    if (!file_ || track < 0 || track >= kMaxTracks)
        return false;
    const std::int32_t off = trackOffsets_[track];
    // An offset equal to the disk size passes; with no disk selected the size
    // is 0 and every track is absent.
    if (off <= 0 || off > diskSize_)
        return false;
    *pos = static_cast<std::int64_t>(diskBase_) + off;
    return true;
}

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
    return true;
}

std::int32_t D88Image::readSector(std::int32_t track, std::int32_t c, std::int32_t h, std::int32_t r,
                                  std::int32_t n, std::uint8_t* dest, std::int32_t maxLen)
{
    std::int64_t pos = 0;
    if (maxLen < 0 || !trackStart(track, &pos))
        return 0;
    // The walk ends at the record whose position is its own count - 1. Counts
    // stop at 65535, so no walk goes past that many records.
    for (std::int32_t i = 0; i < kMaxRecordsPerTrack; ++i) {
        Record rec{};
        if (!readRecordHeader(pos, &rec) || rec.count == 0)
            return 0;
        pos += kSectorHeaderSize;
        if (rec.c == c && rec.h == h && rec.r == r && rec.n == n) {
            const std::uint8_t* data = nullptr;
            const std::int32_t got = bytesAt(pos, std::min(rec.size, maxLen), &data);
            if (got > 0)
                std::memcpy(dest, data, static_cast<std::size_t>(got));
            return got;
        }
        pos += rec.size;
        if (i == rec.count - 1)
            return 0;
    }
    return 0;
}

std::int32_t D88Image::readSector(std::int32_t track, SectorId id, std::span<std::uint8_t> dest)
{
    return readSector(track, id.c, id.h, id.r, id.n, dest.data(), clampedSize(dest.size()));
}

// Lists up to maxRecords IDs of the track, handing each to `store` with its
// position. Unlike a lookup, the listing does not stop at a count of 0: it
// goes on while there is room, until the count says the track is done or the
// file ends. `more` tells whether the walk would have gone on with more room.
template <class Store>
std::int32_t D88Image::listIds(std::int32_t track, std::int32_t maxRecords, bool* more, Store store)
{
    if (more)
        *more = false;
    std::int64_t pos = 0;
    if (!trackStart(track, &pos))
        return 0;
    std::int32_t listed = 0;
    for (; listed < maxRecords; ++listed) {
        Record rec{};
        if (!readRecordHeader(pos, &rec))
            return listed;
        store(listed, SectorId{static_cast<std::uint8_t>(rec.c), static_cast<std::uint8_t>(rec.h),
                               static_cast<std::uint8_t>(rec.r), static_cast<std::uint8_t>(rec.n)});
        pos += kSectorHeaderSize + rec.size;
        if (listed == rec.count - 1)
            return listed + 1;
    }
    if (more) {
        Record next{};
        *more = readRecordHeader(pos, &next);
    }
    return listed;
}

std::int32_t D88Image::readSectorIds(std::int32_t track, std::uint8_t* dest, std::int32_t capacity)
{
    const std::int32_t listed = listIds(track, capacity / 4, nullptr, [dest](std::int32_t i, SectorId id) {
        std::uint8_t* at = dest + 4 * static_cast<std::size_t>(i);
        at[0] = id.c;
        at[1] = id.h;
        at[2] = id.r;
        at[3] = id.n;
    });
    return 4 * listed;
}

std::int32_t D88Image::readSectorIds(std::int32_t track, std::span<SectorId> ids, bool* more)
{
    return listIds(track, clampedSize(ids.size()), more,
                   [ids](std::int32_t i, SectorId id) { ids[static_cast<std::size_t>(i)] = id; });
}

std::int32_t D88Image::bytesAt(std::int64_t pos, std::int32_t len, const std::uint8_t** out)
{
    return file_ ? file_->view(pos, len, out) : 0;
}

} // namespace d88
