#include "driver.h"

#include "console.h"
#include "cut_file.h"
#include "cut_plans.h"
#include "messages.h"
#include "recognition.h"

#include <cstdio>
#include <cstring>

namespace zanvo {

namespace {

constexpr std::int32_t kBootSectorSize = 256;

} // namespace

int runDriver(ToolState& state, int argc, char* argv[])
{
    // Only as the one argument, so an image named --version is still
    // reachable as ./--version.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        printMessage(state, "zanvo-extract " ZANVO_VERSION "\n");
        return state.writeFailed ? kStatusWriteFailed : kStatusOk;
    }
    if (argc != 2) {
        const char* program = argc > 0 && argv[0] ? argv[0] : "zanvo-extract";
        std::fprintf(stderr, kUsageFormat, program);
        return kStatusUsage;
    }
    if (!state.image.open(argv[1])) {
        std::fputs(kOpenFailed, stderr);
        return kStatusUsage;
    }
    state.imagePath = argv[1];

    // When the selection or the boot sector read fails, the buffer stays all
    // zero and the disk is simply not recognised.
    state.image.selectDisk(0);
    state.image.setSectorRange(kFirstSector, kLastSector);
    state.image.readSector(0, 0, 0, 1, kPlanSizeCode, state.sectorBuffer, kBootSectorSize);

    switch (recogniseDisk(state.sectorBuffer)) {
    case DiskKind::DiskA:
        printMessage(state, kDiskARecognised);
        runPlan(state, diskAPlan);
        break;
    case DiskKind::DiskF:
        printMessage(state, kDiskFRecognised);
        runPlan(state, diskFPlan);
        break;
    case DiskKind::Unknown:
        break;
    }
    return state.writeFailed ? kStatusWriteFailed : kStatusOk;
}

} // namespace zanvo
