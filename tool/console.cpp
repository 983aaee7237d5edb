#include "console.h"

#include "error_text.h"
#include "message_text.h"
#include "terminal_text.h"

#include <cerrno>
#include <cstdio>

namespace zanvo {

namespace {

constexpr char kToolName[] = "zanvo-extract";

// The message's bytes for a stream that takes bytes: Shift_JIS, or UTF-8 on a
// UTF-8 terminal. (A console takes the UTF-8 form as characters.)
const char* bytesFor(fileio::TextForm form, const FixedMessage& message)
{
    return form == fileio::TextForm::Utf8 ? message.utf8 : message.sjis;
}

} // namespace

void printMessage(ToolState& state, std::string_view text)
{
    if (state.stdoutFailed)
        return;
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0)
        return;
    const int err = errno;
    state.stdoutFailed = true;
    state.failed = true;
    fileio::sayLine(kToolName, std::string("cannot write to standard output: ") +
                                   (err ? fileio::errorText(err) : "write error"));
}

void printFixed(ToolState& state, const FixedMessage& message)
{
    const fileio::TextForm form = fileio::textFormOf(stdout);
    if (form != fileio::TextForm::Console)
        return printMessage(state, bytesFor(form, message));
    if (state.stdoutFailed || fileio::writeToConsole(stdout, message.utf8))
        return;
    state.stdoutFailed = state.failed = true;
    fileio::sayLine(kToolName, "cannot write to standard output: the console refused it");
}

void sayFixed(const FixedMessage& message)
{
    const fileio::TextForm form = fileio::textFormOf(stderr);
    if (form == fileio::TextForm::Console)
        fileio::writeToConsole(stderr, message.utf8);
    else
        std::fputs(bytesFor(form, message), stderr);
}

void say(const std::string& line)
{
    fileio::sayLine(kToolName, line);
}

void reportWriteFailure(ToolState& state, const char* name, const std::string& reason)
{
    state.failed = true;
    fileio::sayLine(kToolName, std::string("cannot write ") + name + ": " + reason);
}

void reportReadFailure(ToolState& state, const char* name, int error, const char* image)
{
    state.failed = true;
    image = image ? image : state.imagePath;
    say(name ? fileio::cannotReadFile(name, image, error, state.dryRun) : fileio::cannotRead(image, error));
}

void reportOpenFailure(const char* path, int error)
{
    say(fileio::cannotOpen(path, error));
}

void warn(const CutWarnings& warnings)
{
    for (int i = 0; i < warnings.count; ++i)
        fileio::sayLine(kToolName, "warning: " + warnings.lines[i]);
}

} // namespace zanvo
