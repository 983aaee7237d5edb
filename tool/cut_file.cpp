#include "cut_file.h"

#include "console.h"
#include "file_cut.h"
#include "image_checked_source.h"
#include "message_text.h"
#include "messages.h"
#include "other_dumps.h"
#include "replace_file.h"

#include <algorithm>
#include <cerrno>
#include <new>
#include <string>

namespace zanvo {

namespace {

// The names of the dumps joined, the image first; none for a single dump.
std::span<const std::string> dumpNames(const ToolState& state)
{
    return state.dumps ? std::span<const std::string>(state.dumps->names,
                                                      static_cast<std::size_t>(state.dumps->count))
                       : std::span<const std::string>();
}

// "`d88info IMAGE 0` shows where", naming each dump whose copies were read
// past a field that lied or are in doubt.
void whereToLook(const ToolState& state, const RunRecovery& run, std::string& out)
{
    unsigned dumps = 0;
    const std::int32_t noted = std::min(run.count, kMaxRunSectors);
    for (std::int32_t i = 0; i < noted; ++i)
        if (run.sectors[i].lie.field != d88::LyingField::None || run.sectors[i].uncertain)
            dumps |= 1u << run.sectors[i].from;
    int named = 0;
    out.clear();
    for (int d = 0; d < kMaxDumps; ++d) {
        if (!(dumps & (1u << d)))
            continue;
        const char* path = dumpPath(state, d);
        const std::int32_t disk = d == 0 ? state.disk : state.dumps->others[d - 1]->disk;
        out.append(named++ ? ", `d88info " : "`d88info ")
            .append(path ? fileio::commandName(path, fileio::messagesReadUtf8()) : "IMAGE")
            .append(" ")
            .append(std::to_string(disk))
            .append("`");
    }
    out.append(named > 1 ? " show where" : " shows where");
}

// Says what would become of a file (the bytes after the first `skip`),
// writing nothing: one line on standard output.
bool rehearse(ToolState& state, FileCut cut, std::size_t skip, ToolLines& lines)
{
    cut.bytes = cut.bytes.subspan(std::min(skip, cut.bytes.size()));
    dryRunLine(cut, &lines.line, dumpNames(state));
    printMessage(state, lines.line.append("\n"));
    return cut.outcome == CutOutcome::Cut;
}

// Says what became of a file and writes the bytes after the first `skip`.
bool write(ToolState& state, const FileCut& cut, std::size_t skip, ToolLines& lines)
{
    // Where d88info shows what the warnings of fields that lied and of
    // uncertain sectors point at.
    if (cut.run->lied > 0 || cut.run->uncertain > 0)
        whereToLook(state, *cut.run, lines.line);
    warningsFor(cut, lines.line, &lines.warnings, dumpNames(state));
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
    // Every dump the bytes came from is looked at once they are written, the
    // image first, and none of them may be replaced.
    std::unique_ptr<fileio::ImageCheckedSource> others[kMaxDumps - 1];
    fileio::ImageCheckedSource* last = &checked;
    const int count = state.dumps ? state.dumps->count : 1;
    for (int d = 1; d < count; ++d)
        last = (others[d - 1] =
                    std::make_unique<fileio::ImageCheckedSource>(*last, state.dumps->others[d - 1]->image))
                   .get();
    const std::span<const d88::FileIdentity> protect =
        state.dumps
            ? std::span<const d88::FileIdentity>(state.dumps->identities, static_cast<std::size_t>(count))
            : std::span<const d88::FileIdentity>(&state.imageIdentity, 1);
    std::string reason;
    bool sourceFailed = false;
    if (fileio::replaceFileFrom(cut.name, *last, protect, &reason, &sourceFailed))
        return true;
    if (sourceFailed) {
        int changed = 0, dump = 0;
        for (int d = 0; d < count && changed == 0; ++d)
            if ((changed = (d == 0 ? checked : *others[d - 1]).changed()) != 0)
                dump = d;
        reportReadFailure(state, cut.name, changed, dumpPath(state, dump));
        state.imageChanged = changed == d88::kErrorImageChanged;
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
    int dump = cut.dump;
    const int error = cut.outcome == CutOutcome::ReadFailed ? cut.error : dumpsChanged(state, &dump);
    if (error != 0) {
        reportReadFailure(state, cut.name, error, dumpPath(state, dump));
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

// At least `bytes` long; empty when there is no memory for it. It grows as
// the cuts need: the plans' files are small, and a small buffer is taken
// from the heap rather than mapped and unmapped.
std::span<std::uint8_t> sectorBuffer(ToolState& state, std::int32_t bytes)
{
    if (state.sectorBufferSize < bytes) {
        state.sectorBufferSize = 0;
        state.sectorBuffer.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(bytes)]);
        if (state.sectorBuffer)
            state.sectorBufferSize = bytes;
    }
    return std::span<std::uint8_t>(state.sectorBuffer.get(),
                                   static_cast<std::size_t>(state.sectorBufferSize));
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
    const std::span<std::uint8_t> buffer = sectorBuffer(state, skip + length);
    if (buffer.empty() && skip + length > 0) {
        reportReadFailure(state, name, ENOMEM);
        return false;
    }
    const std::span<std::uint8_t> run = buffer.first(static_cast<std::size_t>(skip + length));
    if (state.dumps)
        return deliver(
            state,
            cutJoinedRun(std::span(state.dumps->maps, static_cast<std::size_t>(state.dumps->count)), name,
                         start, run, state.dumps->scratch, state.recovery),
            static_cast<std::size_t>(skip));
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
