#include "console.h"

#include <cerrno>
#include <cstdio>
#include <system_error>

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
    state.writeFailed = true;
    std::fprintf(stderr, "%s: cannot write to standard output: %s\n", kToolName,
                 err ? std::generic_category().message(err).c_str() : "write error");
}

void reportWriteFailure(ToolState& state, const char* name, const std::string& reason)
{
    state.writeFailed = true;
    std::fprintf(stderr, "%s: cannot write %s: %s\n", kToolName, name, reason.c_str());
}

void warnIncompleteRun(const char* name, std::int32_t recovered, std::int32_t length)
{
    std::fprintf(stderr,
                 "%s: warning: %s: the disk ends this file early; %d of %d bytes recovered, "
                 "the rest written as zeros\n",
                 kToolName, name, static_cast<int>(recovered), static_cast<int>(length));
}

} // namespace zanvo
