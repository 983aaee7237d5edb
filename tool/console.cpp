#include "console.h"

#include "error_text.h"

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
