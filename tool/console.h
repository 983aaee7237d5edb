// Everything the tool says. Standard output carries only the fixed messages;
// diagnostics go to standard error in plain ASCII, prefixed with the tool's
// name.
#ifndef ZANVO_CONSOLE_H
#define ZANVO_CONSOLE_H

#include "cut_report.h"
#include "tool_state.h"

#include <string>
#include <string_view>

namespace zanvo {

// Writes `text` to standard output at once. The first failure is reported on
// standard error and marks the run as failed; later lines are dropped.
void printMessage(ToolState& state, std::string_view text);

// "cannot write NAME: REASON"; marks the run as failed.
void reportWriteFailure(ToolState& state, const char* name, const std::string& reason);

// "cannot read IMAGE: REASON", or with a file name "cannot read NAME from
// IMAGE: REASON; NAME not written"; marks the run as failed.
void reportReadFailure(ToolState& state, const char* name, int error);

// After the fixed open message: "cannot open PATH: REASON".
void reportOpenFailure(const char* path, int error);

// "warning: LINE" for each line.
void warn(const CutWarnings& warnings);

} // namespace zanvo

#endif
