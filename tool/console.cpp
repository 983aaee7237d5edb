#include "console.h"

#include "error_text.h"

#include <cerrno>
#include <cstdio>

namespace zanvo {

namespace {

constexpr char kToolName[] = "zanvo-extract";

} // namespace

void printMessage(ToolState& state, const std::string& text)
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
    const std::string reason = fileio::errorText(error);
    if (name)
        std::fprintf(stderr, "%s: cannot read %s from %s: %s; %s not written\n", kToolName, name,
                     state.imagePath, reason.c_str(), name);
    else
        std::fprintf(stderr, "%s: cannot read %s: %s\n", kToolName, state.imagePath, reason.c_str());
}

void reportOpenFailure(const char* path, int error)
{
    std::fprintf(stderr, "%s: cannot open %s: %s\n", kToolName, path, fileio::errorText(error).c_str());
}

void warn(const Text& text)
{
    if (!text.empty())
        std::fprintf(stderr, "%s: warning: %s\n", kToolName, text.c_str());
}

} // namespace zanvo
