// Everything the tool says. Standard output carries only the fixed messages;
// diagnostics go to standard error in plain ASCII, prefixed with the tool's
// name.
#ifndef ZANVO_CONSOLE_H
#define ZANVO_CONSOLE_H

#include "cut_report.h"
#include "messages.h"
#include "recognition.h"
#include "tool_state.h"

#include <string>
#include <string_view>

namespace zanvo {

// Writes `text` to standard output at once. The first failure is reported on
// standard error and marks the run as failed; later lines are dropped.
void printMessage(ToolState& state, std::string_view text);

// A fixed Japanese message on standard output, in the form the stream reads
// (fileio/terminal_text.h), with the same failure handling.
void printFixed(ToolState& state, const FixedMessage& message);

// A fixed Japanese message on standard error, in the form it reads.
void sayFixed(const FixedMessage& message);

// "zanvo-extract: LINE" on standard error: what the run has to say that is
// neither a failure nor a warning about a file.
void say(const std::string& line);

// "cannot write NAME: REASON"; marks the run as failed.
void reportWriteFailure(ToolState& state, const char* name, const std::string& reason);

// "cannot read IMAGE: REASON", or with a file name "cannot read NAME from
// IMAGE: REASON; NAME not written"; marks the run as failed. IMAGE is the
// image cut, or `image` when given (another dump joined to it).
void reportReadFailure(ToolState& state, const char* name, int error, const char* image = nullptr);

// After the fixed open message: "cannot open PATH: REASON".
void reportOpenFailure(const char* path, int error);

// Why an image that is not Disk A or Disk F of the title was left alone:
// not a D88 image (and why), no boot sector, or what the boot sector holds
// where the label would be; and which other disk of the file is the
// title's, if one is.
void sayWhyNot(ToolState& state, const Recognised& recognised, std::int32_t disk);

// After disk `cut` was cut: one line naming the file's other disks that are
// Disk A or Disk F, with the command that cuts each; nothing when none is.
void sayOtherDisks(ToolState& state, std::int32_t cut);

// "warning: LINE" for each line.
void warn(const CutWarnings& warnings);

} // namespace zanvo

#endif
