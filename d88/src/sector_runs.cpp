// Runs of consecutive sectors that cross from one track to the next, the way
// files are laid out on the disks this reader serves: sector numbers
// firstSector..lastSector on a track, then head 0 -> head 1 of the same
// cylinder, then head 0 of the next cylinder.
#include "d88/d88_image.h"

#include <algorithm>

namespace d88 {

std::int32_t D88Image::readSectors(std::int32_t track, std::int32_t c, std::int32_t h, std::int32_t r,
                                   std::int32_t n, std::uint8_t* dest, std::int32_t length)
{
    // Size codes are bytes. From 24 up the nominal size no longer fits an
    // int32, and any run then fits in one piece.
    if (n < 0 || n > 0xFF || length <= 0)
        return 0;
    const std::int64_t nominal = n < 24 ? (std::int64_t{128} << n) : std::int64_t{1} << 31;

    std::int32_t total = 0;
    while (total < length) {
        const auto piece = static_cast<std::int32_t>(std::min<std::int64_t>(nominal, length - total));
        if (readSector(track, c, h, r, n, dest + total, piece) < piece)
            return total;
        total += piece;
        // Only IDs that just matched a stored byte get here, so none of these
        // can run away: the next lookup of an impossible ID fails.
        if (r == lastSector_) {
            ++track;
            if (h == 0) {
                h = 1;
            } else {
                h = 0;
                ++c;
            }
            r = firstSector_;
        } else {
            ++r;
        }
    }
    return total;
}

} // namespace d88
