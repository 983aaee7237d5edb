// Where a sector is, and how a run of sectors moves from one to the next.
//
// Tracks are numbered cylinder * 2 + head. A sector is looked up by the track
// index it is stored under and by the four ID bytes of its record; a run of
// sectors moves through sector numbers first..last of a track, then on to
// the next track: head 0 -> head 1 of the same cylinder, then head 0 of the
// next cylinder.
#ifndef D88_SECTOR_PLACE_H
#define D88_SECTOR_PLACE_H

#include "d88/layout.h"

#include <cstdint>
#include <initializer_list>

namespace d88 {

// The cylinder and head of a track index numbered cylinder * 2 + head.
constexpr std::int32_t cylinderOf(std::int32_t track)
{
    return track >> 1;
}
constexpr std::int32_t headOf(std::int32_t track)
{
    return track & 1;
}

// Where a sector is: the track index it is stored under and its ID.
struct SectorPlace {
    std::int32_t track = 0;
    SectorId id;
    friend constexpr bool operator==(const SectorPlace&, const SectorPlace&) = default;
};

// Sector `r` of size code `n` on track `track` (0-163), with the cylinder
// and head the track's index gives.
constexpr SectorPlace placeOnTrack(std::int32_t track, std::uint8_t r, std::uint8_t n)
{
    return {track, SectorId{static_cast<std::uint8_t>(cylinderOf(track) & 0xFF),
                            static_cast<std::uint8_t>(headOf(track)), r, n}};
}

// A place from the separate values the int32 operations take. False when an
// ID value is not a byte: no record can carry it, so no sector is there.
constexpr bool makePlace(std::int32_t track, std::int32_t c, std::int32_t h, std::int32_t r, std::int32_t n,
                         SectorPlace* out)
{
    for (const std::int32_t value : {c, h, r, n})
        if (value < 0 || value > 0xFF)
            return false;
    *out = {track, SectorId{static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(h),
                            static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(n)}};
    return true;
}

// Where a run of sectors begins, and the sector numbers each of its tracks
// holds.
struct RunStart {
    SectorPlace first;
    std::int32_t firstSector = 1;
    std::int32_t lastSector = 16;
};

// Moves `at` to the next place of a run whose tracks hold sector numbers
// first..last. False, with `at` unchanged, when that place's cylinder or
// sector number would not fit in an ID byte: no sector can be there, so the
// run cannot go on.
constexpr bool nextInRun(SectorPlace* at, std::int32_t first, std::int32_t last)
{
    SectorId& id = at->id;
    if (id.r != last) {
        if (id.r == 0xFF)
            return false;
        ++id.r;
        return true;
    }
    if (first < 0 || first > 0xFF || (id.h != 0 && id.c == 0xFF))
        return false;
    if (id.h == 0) {
        id.h = 1;
    } else {
        ++id.c;
        id.h = 0;
    }
    ++at->track;
    id.r = static_cast<std::uint8_t>(first);
    return true;
}

} // namespace d88

#endif
