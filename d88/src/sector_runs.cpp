// Runs of consecutive sectors that cross from one track to the next, the way
// files are laid out on the disks this reader serves: sector numbers
// firstSector..lastSector on a track, then head 0 -> head 1 of the same
// cylinder, then head 0 of the next cylinder.
#include "d88/d88_image.h"

#include "span_size.h"

#include <algorithm>

namespace d88 {

std::int32_t D88Image::readSectors(std::int32_t track, std::int32_t c, std::int32_t h, std::int32_t r,
                                   std::int32_t n, std::uint8_t* dest, std::int32_t length)
{
    // Size codes are bytes. A code whose sector no record can hold whole
    // makes the run one piece: only a run shorter than a record's largest
    // data can then be read, exactly as with pieces of the nominal size.
    if (n < 0 || n > 0xFF || length <= 0)
        return 0;
    const std::int32_t size = nominalSectorSize(n);
    const std::int32_t nominal = size > 0 ? size : length;

    std::int32_t total = 0;
    while (total < length) {
        const std::int32_t piece = std::min(nominal, length - total);
        if (readSector(track, c, h, r, n, dest + total, piece) < piece)
            return total;
        total += piece;
        // Only IDs that just matched a stored byte get here, so none of these
        // can run away: the next lookup of an impossible ID fails.
        const RunPlace next = nextInRun({track, c, h, r}, firstSector_, lastSector_);
        track = next.track, c = next.c, h = next.h, r = next.r;
    }
    return total;
}

std::int32_t D88Image::readSectors(std::int32_t track, SectorId first, std::span<std::uint8_t> dest)
{
    const auto length = static_cast<std::int32_t>(
        std::min<std::size_t>(dest.size(), std::numeric_limits<std::int32_t>::max()));
    return readSectors(track, first.c, first.h, first.r, first.n, dest.data(), length);
}

} // namespace d88
