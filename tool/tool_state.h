// What the tool holds for the whole run: the one image reader and the one
// sector buffer every cut reads into, and whether anything failed to be
// written (which decides the exit status).
#ifndef ZANVO_TOOL_STATE_H
#define ZANVO_TOOL_STATE_H

#include "d88/d88_image.h"

#include <cstdint>

namespace zanvo {

// 40 cylinders * 2 heads * 16 sectors * 256 bytes: a whole 2D disk.
inline constexpr std::int32_t kSectorBufferSize = 0x50000;

struct ToolState {
    d88::D88Image image;
    std::uint8_t sectorBuffer[kSectorBufferSize] = {};
    const char* imagePath = nullptr; // never to be replaced by an output
    bool writeFailed = false;        // an output or standard output was not written
    bool stdoutFailed = false;
};

} // namespace zanvo

#endif
