#include "cut_file.h"

#include "console.h"
#include "messages.h"
#include "replace_file.h"

#include <algorithm>
#include <string>

namespace zanvo {

bool cutFile(ToolState& state, const char* name, std::int32_t track, std::int32_t c, std::int32_t h,
             std::int32_t r, std::int32_t n, std::int32_t skip, std::int32_t length)
{
    if (skip < 0 || length < 0 || skip > kSectorBufferSize - length)
        return false;
    std::uint8_t* const buffer = state.sectorBuffer;
    const std::int32_t wanted = skip + length;
    const std::int32_t got = state.image.readSectors(track, c, h, r, n, buffer, wanted);
    if (got <= 0)
        return false;
    // Whatever the run did not deliver is zero, never data of an earlier cut
    // nor the unfinished piece the run stopped at.
    std::fill(buffer + got, buffer + wanted, std::uint8_t{0});

    printMessage(state, std::string(kCuttingPrefix) + name + "\n");
    if (got < wanted)
        warnIncompleteRun(name, std::max(got - skip, 0), length);

    std::string reason;
    if (!fileio::replaceFile(name, buffer + skip, static_cast<std::size_t>(length), state.imagePath,
                             &reason)) {
        reportWriteFailure(state, name, reason);
        return false;
    }
    return true;
}

void runPlan(ToolState& state, const CutEntry* plan)
{
    for (const CutEntry* row = plan; row->sector != 0; ++row)
        cutFile(state, row->name, row->track, row->track >> 1, row->track & 1, row->sector, kPlanSizeCode, 0,
                row->length);
}

} // namespace zanvo
