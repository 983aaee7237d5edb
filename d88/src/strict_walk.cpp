// The strict reader's walks (d88_image.h says how they go): a track's
// records, and runs of sectors that cross from one track to the next, the way
// files are laid out on the disks this reader serves.
#include "d88/d88_image.h"

#include "file_window.h"

#include <algorithm>
#include <cstring>

namespace d88 {

// Walks the track to the first record whose ID is `at.id` and copies up to
// dest.size() of its data: the bytes copied, or -1 when the walk does not
// find it. A count of 0 ends a lookup at once; otherwise the record whose
// position is its own count - 1 is the last examined. Counts stop at 65535,
// so no walk goes past that many records.
std::int32_t D88Image::find(const SectorPlace& at, std::span<std::uint8_t> dest)
{
    std::int64_t pos = 0;
    if (!trackStart(at.track, &pos))
        return -1;
    for (std::int32_t i = 0; i < kMaxRecordsPerTrack; ++i) {
        const std::uint8_t* bytes = nullptr;
        if (file_->view(pos, kSectorHeaderSize, &bytes) < kSectorHeaderSize)
            return -1;
        const RecordHeader header = RecordHeader::parse(bytes);
        if (header.sectorCount == 0)
            return -1;
        pos += kSectorHeaderSize;
        if (header.id == at.id) {
            const std::int32_t want = std::min<std::int32_t>(
                header.dataSize, static_cast<std::int32_t>(std::min<std::size_t>(dest.size(), INT32_MAX)));
            const std::uint8_t* data = nullptr;
            const std::int32_t got = want > 0 ? file_->view(pos, want, &data) : 0;
            if (got > 0)
                std::memcpy(dest.data(), data, static_cast<std::size_t>(got));
            return std::max(got, 0);
        }
        pos += header.dataSize;
        if (i == header.sectorCount - 1)
            return -1;
    }
    return -1;
}

std::int32_t D88Image::readSector(std::int32_t track, std::int32_t c, std::int32_t h, std::int32_t r,
                                  std::int32_t n, std::uint8_t* dest, std::int32_t maxLen)
{
    SectorPlace at;
    if (maxLen < 0 || !makePlace(track, c, h, r, n, &at)) {
        outcome_ = Outcome::found(false);
        return 0;
    }
    const std::int32_t got = find(at, std::span<std::uint8_t>(dest, static_cast<std::size_t>(maxLen)));
    static_cast<void>(settle(got >= 0));
    return std::max(got, 0);
}

std::int32_t D88Image::readSectorIds(std::int32_t track, std::uint8_t* dest, std::int32_t capacity)
{
    std::int64_t pos = 0;
    if (!trackStart(track, &pos)) {
        outcome_ = Outcome::found(false);
        return 0;
    }
    std::int32_t listed = 0;
    while (listed < capacity / 4) {
        const std::uint8_t* bytes = nullptr;
        if (file_->view(pos, kSectorHeaderSize, &bytes) < kSectorHeaderSize)
            break;
        const RecordHeader header = RecordHeader::parse(bytes);
        std::uint8_t* id = dest + 4 * static_cast<std::size_t>(listed);
        id[0] = header.id.c, id[1] = header.id.h, id[2] = header.id.r, id[3] = header.id.n;
        pos += kSectorHeaderSize + header.dataSize;
        if (listed++ == header.sectorCount - 1)
            break;
    }
    static_cast<void>(settle(true));
    return 4 * listed;
}

std::int32_t D88Image::readSectors(std::int32_t track, std::int32_t c, std::int32_t h, std::int32_t r,
                                   std::int32_t n, std::uint8_t* dest, std::int32_t length)
{
    SectorPlace at;
    if (length <= 0 || !makePlace(track, c, h, r, n, &at)) {
        outcome_ = Outcome::found(false);
        return 0;
    }
    // A size code whose sector no record can hold whole makes the run one
    // piece: only a run no longer than a record's data can then be read.
    const std::int32_t nominal = nominalSectorSize(at.id.n) > 0 ? nominalSectorSize(at.id.n) : length;
    std::int32_t total = 0;
    while (total < length) {
        const std::int32_t piece = std::min(nominal, length - total);
        const std::span<std::uint8_t> part(dest + total, static_cast<std::size_t>(piece));
        // A piece whose read failed is not delivered, however much arrived.
        if (find(at, part) < piece || file_->error() != 0)
            break;
        total += piece;
        if (!nextInRun(&at, firstSector_, lastSector_))
            break;
    }
    static_cast<void>(settle(total > 0));
    return total;
}

} // namespace d88
