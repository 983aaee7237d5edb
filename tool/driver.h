// The tool's driver: command line, recognition of the disk, its cut plan.
#ifndef ZANVO_DRIVER_H
#define ZANVO_DRIVER_H

#include "tool_state.h"

namespace zanvo {

inline constexpr int kStatusOk = 0;
inline constexpr int kStatusUsage = 1;  // wrong argument count, image cannot be opened
inline constexpr int kStatusFailed = 2; // an output or standard output not written, the image not read

// Runs the tool once with the argument vector; returns the exit status.
int runDriver(ToolState& state, int argc, char* argv[]);

} // namespace zanvo

#endif
