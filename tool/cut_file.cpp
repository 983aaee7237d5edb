#include "cut_file.h"

#include "console.h"
#include "messages.h"
#include "replace_file.h"

#include <string>

namespace zanvo {

bool cutFile(ToolState& state, const char* name, std::int32_t track, std::int32_t c, std::int32_t h,
             std::int32_t r, std::int32_t n, std::int32_t skip, std::int32_t length)
{
    if (skip < 0 || length < 0 || skip > kSectorBufferSize - length)
        return false;
    const std::span<std::uint8_t> run(state.sectorBuffer, static_cast<std::size_t>(skip + length));
    int error = 0;
    switch (recoverFile(state.image, RunStart{track, c, h, r, n, kFirstSector, kLastSector}, run, skip,
                        &state.recovery, &error)) {
    case FileOutcome::ReadFailed:
        reportReadFailure(state, name, error);
        return false;
    case FileOutcome::NotOnDisk:
        describeAbsence(name, state.recovery, &state.line);
        warn(state.line);
        return false;
    case FileOutcome::Cut:
        break;
    }

    printMessage(state, std::string(kCuttingPrefix) + name + "\n");
    describeHoles(name, state.recovery, &state.line);
    warn(state.line);
    describeFlags(name, state.recovery, &state.line);
    warn(state.line);

    std::string reason;
    if (!fileio::replaceFile(name, run.data() + skip, static_cast<std::size_t>(length), &state.imageIdentity,
                             &reason)) {
        reportWriteFailure(state, name, reason);
        return false;
    }
    return true;
}

void runPlan(ToolState& state, const CutEntry* plan)
{
    for (const CutEntry* row = plan; row->sector != 0; ++row) {
        const RunStart start = runStart(*row);
        cutFile(state, row->name, start.track, start.c, start.h, start.r, start.n, 0, row->length);
    }
}

} // namespace zanvo
