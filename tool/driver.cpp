#include "driver.h"

#include "console.h"
#include "cut_file.h"
#include "cut_plans.h"
#include "messages.h"
#include "recognition.h"
#include "standard_streams.h"

#include <cstdio>
#include <cstring>
#include <span>
#include <string>

namespace zanvo {

namespace {

constexpr char kHelp[] =
    "Recognises an image of the ZANVO title's Disk A or Disk F by the label in its boot sector\n"
    "and cuts that disk's files into the current folder: DRIVER and ZANVO00-ZANVO11 from Disk A,\n"
    "DISKF from Disk F. Sectors missing from a damaged disk are written as zeros, with a warning\n"
    "on standard error. Any other image is left alone, with no output: `d88info IMAGE` shows\n"
    "what an image holds and why it was not recognised. A file named --help is ./--help.\n"
    "\n"
    "Exit status: 0 done (also for an image that is not recognised), 1 wrong arguments or the\n"
    "image cannot be opened, 2 a file could not be written or the image could not be read.\n";

} // namespace

int runDriver(ToolState& state, int argc, char* argv[])
{
    const char* program = argc > 0 && argv[0] ? argv[0] : "zanvo-extract";
    // Only as the one argument, so that an image named --help or --version
    // is still reachable as ./--help or ./--version.
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        char usage[512];
        std::snprintf(usage, sizeof usage, kUsageFormat, program);
        printMessage(state, usage);
        printMessage(state, kHelp);
        return state.failed ? kStatusFailed : kStatusOk;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        printMessage(state, "zanvo-extract " ZANVO_VERSION "\n");
        return state.failed ? kStatusFailed : kStatusOk;
    }
    if (argc != 2) {
        std::fprintf(stderr, kUsageFormat, program);
        return kStatusUsage;
    }
    if (!state.image.open(argv[1])) {
        std::fputs(kOpenFailed, stderr);
        reportOpenFailure(argv[1], state.image.ioError());
        return kStatusUsage;
    }
    state.imagePath = argv[1];
    state.image.fileIdentity(&state.imageIdentity);
    if (!fileio::beginRun(state.imageIdentity, "zanvo-extract"))
        return kStatusFailed;

    const Recognised recognised = recogniseDisk(
        state.image, std::span<std::uint8_t, kBootSectorSize>(state.sectorBuffer, kBootSectorSize));
    if (recognised.what == Recognition::ReadFailed) {
        reportReadFailure(state, nullptr, recognised.error);
        return kStatusFailed;
    }
    // Any other image is left alone, without a word.
    if (const CutEntry* plan = planFor(recognised.kind())) {
        printMessage(state, recognised.kind() == DiskKind::DiskA ? kDiskARecognised : kDiskFRecognised);
        runPlan(state, plan);
    }
    return state.failed ? kStatusFailed : kStatusOk;
}

} // namespace zanvo
