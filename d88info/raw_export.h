// A disk as a plain sector image: its sectors back to back, no headers.
#ifndef D88INFO_RAW_EXPORT_H
#define D88INFO_RAW_EXPORT_H

#include "d88/d88_image.h"

#include <cstdint>
#include <string>
#include <vector>

namespace d88info {

struct RawExport {
    std::vector<std::uint8_t> bytes; // what the run delivered
    std::int64_t wanted = 0;         // what a complete disk would give
    std::string stop;                // why the run stopped early, empty when complete
};

// One sector run from track 0, starting at track 0's lowest sector number,
// with the size code of its first record and the sector range of its lowest
// to highest sector number, over (highest present track + 1) tracks. False
// with `error` set when there is nothing to export.
bool exportRaw(d88::D88Image& image, int disk, RawExport* result, std::string* error);

} // namespace d88info

#endif
