// Everything the tool says. Standard output carries only the fixed messages;
// diagnostics go to standard error in plain ASCII, prefixed with the tool's
// name.
#ifndef ZANVO_CONSOLE_H
#define ZANVO_CONSOLE_H

#include "tool_state.h"

#include <cstdint>
#include <string>

namespace zanvo {

// Writes `text` to standard output at once. The first failure is reported on
// standard error and marks the run as failed; later lines are dropped.
void printMessage(ToolState& state, const std::string& text);

// "cannot write NAME: REASON" on standard error; marks the run as failed.
void reportWriteFailure(ToolState& state, const char* name, const std::string& reason);

// A cut whose run ended early: the file was written whole with a zero tail.
void warnIncompleteRun(const char* name, std::int32_t recovered, std::int32_t length);

} // namespace zanvo

#endif
