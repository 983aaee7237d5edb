#include "console.h"

#include "error_text.h"
#include "terminal_text.h"

#include <cerrno>
#include <cstdio>

namespace zanvo {

namespace {

constexpr char kToolName[] = "zanvo-extract";

void sayError(const std::string& line)
{
    std::fprintf(stderr, "%s: %s\n", kToolName, line.c_str());
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
    std::fprintf(stderr, "%s: cannot write to standard output: %s\n", kToolName,
                 err ? fileio::errorText(err).c_str() : "write error");
}

void printFixed(ToolState& state, const FixedMessage& message)
{
    switch (fileio::textFormOf(stdout)) {
    case fileio::TextForm::Bytes:
        return printMessage(state, message.sjis);
    case fileio::TextForm::Utf8:
        return printMessage(state, message.utf8);
    case fileio::TextForm::Console:
        if (state.stdoutFailed || fileio::writeToConsole(stdout, message.utf8))
            return;
        state.stdoutFailed = state.failed = true;
        std::fprintf(stderr, "%s: cannot write to standard output: the console refused it\n", kToolName);
        return;
    }
}

void sayFixed(const FixedMessage& message)
{
    switch (fileio::textFormOf(stderr)) {
    case fileio::TextForm::Bytes:
        std::fputs(message.sjis, stderr);
        return;
    case fileio::TextForm::Utf8:
        std::fputs(message.utf8, stderr);
        return;
    case fileio::TextForm::Console:
        fileio::writeToConsole(stderr, message.utf8);
        return;
    }
}

void say(const std::string& line)
{
    sayError(line);
}

void reportWriteFailure(ToolState& state, const char* name, const std::string& reason)
{
    state.failed = true;
    std::fprintf(stderr, "%s: cannot write %s: %s\n", kToolName, name, reason.c_str());
}

void reportReadFailure(ToolState& state, const char* name, int error)
{
    state.failed = true;
    sayError(name ? fileio::cannotReadFile(name, state.imagePath, error)
                  : fileio::cannotRead(state.imagePath, error));
}

void reportOpenFailure(const char* path, int error)
{
    sayError(fileio::cannotOpen(path, error));
}

void warn(const CutWarnings& warnings)
{
    for (int i = 0; i < warnings.count; ++i)
        std::fprintf(stderr, "%s: warning: %s\n", kToolName, warnings.lines[i].c_str());
}

} // namespace zanvo
