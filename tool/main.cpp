#include "driver.h"
#include "program_entry.h"
#include "tool_state.h"

#include <csignal>
#include <cstdio>

namespace {

// Static storage, initialised at compile time: the sector buffer starts all
// zero without being written at start-up (its pages are touched only when a
// cut uses them), and the image is closed when the process exits.
constinit zanvo::ToolState state;

int run(int argc, char* argv[])
{
    // Each message goes out whole as it is made, so a failed write is seen at
    // the line that failed and nothing is left in a buffer for exit to flush.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
#ifdef SIGPIPE
    // A closed pipe on standard output is reported like any other write
    // failure; the files are still cut.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    return zanvo::runDriver(state, argc, argv);
}

} // namespace

ZANVO_PROGRAM_ENTRY(run, "zanvo-extract", fileio::kExitFailed)
