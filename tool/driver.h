// The tool's driver: command line, recognition of the disk, its cut plan.
#ifndef ZANVO_DRIVER_H
#define ZANVO_DRIVER_H

#include "exit_status.h"
#include "tool_state.h"

namespace zanvo {

// Runs the tool once with the argument vector; returns its exit status
// (fileio::kExit...).
int runDriver(ToolState& state, int argc, char* argv[]);

} // namespace zanvo

#endif
