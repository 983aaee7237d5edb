// Cutting a file sector by sector, so that a damaged disk gives every sector
// it still holds. The run is walked as the reader's sector runs walk it
// (sector numbers first..last of a track, then head 0 -> 1 of the cylinder,
// then the next cylinder), but a missing sector does not end it: its bytes,
// and the unstored tail of a sector stored short, become zeros, and the run
// goes on. What became of each sector is noted for the warnings.
#ifndef ZANVO_RECOVER_RUN_H
#define ZANVO_RECOVER_RUN_H

#include "d88/d88_image.h"

#include <cstdint>
#include <span>

namespace zanvo {

enum class SectorFate : std::uint8_t {
    Whole,   // all its bytes were stored
    Short,   // found, with less data than the run needed from it
    Missing, // not on the disk: track absent, ID not in the track, other size code
};

struct SectorNote {
    std::int32_t track = 0; // track index
    std::int32_t r = 0;     // sector number
    SectorFate fate = SectorFate::Missing;
    d88::SectorFlags flags; // what the dumper recorded with it
};

// A whole 2D disk of 256-byte sectors: the longest run a cut can ask for.
inline constexpr std::int32_t kMaxRunSectors = 1280;

struct RunRecovery {
    std::int32_t count = 0;   // sectors in the run; the first kMaxRunSectors are noted
    std::int32_t found = 0;   // of them on the disk, whole or short
    std::int32_t missing = 0; // not on the disk
    std::int32_t stubby = 0;  // stored shorter than needed
    std::int32_t flagged = 0; // carrying a flag of the dumper's
    SectorNote sectors[kMaxRunSectors] = {};
};

// Fills all of `dest` from the run that begins at `start`, in pieces of the
// nominal sector size (the whole of `dest` in one piece for a size code no
// record can hold), and notes every sector. Needs no memory beyond its
// arguments.
void recoverRun(d88::D88Image& image, const d88::RunStart& start, std::span<std::uint8_t> dest,
                RunRecovery* out);

} // namespace zanvo

#endif
