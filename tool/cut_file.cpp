#include "cut_file.h"

#include "console.h"
#include "file_cut.h"
#include "image_checked_source.h"
#include "message_text.h"
#include "messages.h"
#include "replace_file.h"

#include <algorithm>
#include <string>

namespace zanvo {

namespace {

// Says what would become of a file (the bytes after the first `skip`),
// writing nothing: one line on standard output.
bool rehearse(ToolState& state, FileCut cut, std::size_t skip, ToolLines& lines)
{
    cut.bytes = cut.bytes.subspan(std::min(skip, cut.bytes.size()));
    dryRunLine(cut, &lines.line);
    printMessage(state, lines.line.append("\n"));
    return cut.outcome == CutOutcome::Cut;
}

// Says what became of a file and writes the bytes after the first `skip`.
bool write(ToolState& state, const FileCut& cut, std::size_t skip, ToolLines& lines)
{
    // Where d88info shows what the warnings of fields that lied and of
    // uncertain sectors point at.
    if (cut.run->lied > 0 || cut.run->uncertain > 0) {
        lines.line.assign("`d88info ")
            .append(state.imagePath ? fileio::commandName(state.imagePath, fileio::messagesReadUtf8())
                                    : "IMAGE")
            .append(" ");
        lines.line.append(std::to_string(state.disk)).append("` shows where");
    }
    warningsFor(cut, lines.line, &lines.warnings);
    if (cut.outcome == CutOutcome::Cut) {
        lines.line.assign(kCuttingPrefix).append(cut.name).append("\n");
        printMessage(state, lines.line);
    }
    warn(lines.warnings);
    if (cut.outcome != CutOutcome::Cut)
        return false;

    const std::span<const std::uint8_t> file = cut.bytes.subspan(skip);
    fileio::MemorySource bytes(file.data(), file.size());
    fileio::ImageCheckedSource checked(bytes, state.image);
    std::string reason;
    bool sourceFailed = false;
    if (fileio::replaceFileFrom(cut.name, checked, &state.imageIdentity, &reason, &sourceFailed))
        return true;
    if (sourceFailed) {
        reportReadFailure(state, cut.name, checked.changed());
        state.imageChanged = checked.changed() == d88::kErrorImageChanged;
    } else {
        reportWriteFailure(state, cut.name, reason);
    }
    return false;
}

bool deliver(ToolState& state, const FileCut& cut, std::size_t skip)
{
    bool delivered = false;
    // What was read of a file holds only for the image as it was opened:
    // one changed since is told as that, not as the sectors it now lacks.
    const int error = cut.outcome == CutOutcome::ReadFailed ? cut.error : state.image.checkUnchanged().error;
    if (error != 0) {
        reportReadFailure(state, cut.name, error);
        state.imageChanged = error == d88::kErrorImageChanged;
    } else {
        if (!state.lines)
            state.lines = std::make_unique<ToolLines>();
        delivered =
            state.dryRun ? rehearse(state, cut, skip, *state.lines) : write(state, cut, skip, *state.lines);
    }
    state.tally.count(cut, delivered);
    return delivered;
}

std::span<std::uint8_t> sectorBuffer(ToolState& state)
{
    return std::span<std::uint8_t>(state.sectorBuffer, kSectorBufferSize);
}

} // namespace

bool cutFile(ToolState& state, const char* name, std::int32_t track, std::int32_t c, std::int32_t h,
             std::int32_t r, std::int32_t n, std::int32_t skip, std::int32_t length)
{
    d88::RunStart start;
    start.firstSector = kFirstSector;
    start.lastSector = kLastSector;
    if (skip < 0 || length < 0 || skip > kSectorBufferSize - length ||
        !d88::makePlace(track, c, h, r, n, &start.first))
        return false;
    const std::span<std::uint8_t> run = sectorBuffer(state).first(static_cast<std::size_t>(skip + length));
    return deliver(state, cutRun(state.map, name, start, run, state.recovery),
                   static_cast<std::size_t>(skip));
}

void runPlan(ToolState& state, const CutEntry* plan)
{
    for (const CutEntry* row = plan; row->sector != 0 && !state.imageChanged; ++row)
        cutFile(state, row->name, row->track, row->track >> 1, row->track & 1, row->sector, kPlanSizeCode, 0,
                row->length);
}

} // namespace zanvo
