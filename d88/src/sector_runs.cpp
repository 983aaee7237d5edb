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
    SectorPlace first;
    if (length <= 0 || !makePlace(track, c, h, r, n, &first)) {
        outcome_ = Outcome::found(false);
        return 0;
    }
    const std::int32_t got =
        readSectors(first, std::span<std::uint8_t>(dest, static_cast<std::size_t>(length)));
    static_cast<void>(settle(got > 0));
    return got;
}

std::int32_t D88Image::readSectors(const SectorPlace& first, std::span<std::uint8_t> dest)
{
    const std::int32_t length = clampedSize(dest.size());
    // A size code whose sector no record can hold whole makes the run one
    // piece: only a run shorter than a record's largest data can then be
    // read, exactly as with pieces of the nominal size.
    const std::int32_t size = nominalSectorSize(first.id.n);
    const std::int32_t nominal = size > 0 ? size : length;

    SectorPlace at = first;
    std::int32_t total = 0;
    while (total < length) {
        const std::int32_t piece = std::min(nominal, length - total);
        if (readSector(at, dest.subspan(static_cast<std::size_t>(total), static_cast<std::size_t>(piece))) <
            piece)
            return total;
        total += piece;
        if (!nextInRun(&at, firstSector_, lastSector_))
            return total;
    }
    return total;
}

} // namespace d88
