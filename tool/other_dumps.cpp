#include "other_dumps.h"

#include "console.h"
#include "error_text.h"
#include "exit_status.h"
#include "joined_cut.h"
#include "standard_streams.h"

#include <span>
#include <string>

namespace zanvo {

const char* dumpPath(const ToolState& state, int index)
{
    return index == 0 || !state.dumps ? state.imagePath : state.dumps->others[index - 1]->path;
}

int dumpsChanged(const ToolState& state, int* dump)
{
    *dump = 0;
    if (const int error = state.image.checkUnchanged().error; error != 0)
        return error;
    for (int d = 1; state.dumps && d < state.dumps->count; ++d)
        if (const int error = state.dumps->others[d - 1]->image.checkUnchanged().error; error != 0) {
            *dump = d;
            return error;
        }
    return 0;
}

int openOtherDumps(ToolState& state, const ToolOptions& options)
{
    if (options.alsoCount == 0)
        return fileio::kExitDone;
    state.dumps = std::make_unique<Dumps>();
    for (int i = 0; i < options.alsoCount; ++i) {
        const ToolOptions::Also& also = options.also[i];
        state.dumps->others[i] = std::make_unique<OtherDump>();
        OtherDump& dump = *state.dumps->others[i];
        dump.path = also.path;
        if (const d88::Outcome opened = dump.image.openImage(also.path); !opened.done()) {
            sayFixed(kOpenFailed);
            reportOpenFailure(also.path, opened.error);
            return fileio::kExitUsage;
        }
        dump.identified = dump.image.fileIdentity(&dump.identity);
        if (!fileio::beginRun(dump.identity, "zanvo-extract"))
            return fileio::kExitFailed;
    }
    return fileio::kExitDone;
}

int judgeOtherDumps(ToolState& state, const ToolOptions& options, DiskKind kind)
{
    if (!state.dumps)
        return fileio::kExitDone;
    Dumps& dumps = *state.dumps;
    dumps.maps[0] = &state.map;
    dumps.names[0] = state.imagePath;
    dumps.identities[0] = state.imageIdentity;
    for (int i = 0; i < options.alsoCount; ++i) {
        const ToolOptions::Also& also = options.also[i];
        OtherDump& dump = *dumps.others[i];
        const std::string refused =
            std::string(also.path) + ": not joined to " + state.imagePath + " (" + kindName(kind) + "): ";
        if (also.disk > 0 && also.disk >= dump.image.diskCount()) {
            say(refused + fileio::noSuchDisk(dump.image, also.path, also.disk) + "; nothing was cut");
            return fileio::kExitUsage;
        }
        int error = 0;
        const std::string why = findDiskToJoin(dump.map, also.disk, kind, &dump.disk, &error);
        if (error != 0) {
            reportReadFailure(state, nullptr, error, also.path);
            return fileio::kExitFailed;
        }
        if (!why.empty()) {
            say(refused + why + "; nothing was cut");
            return fileio::kExitUsage;
        }
        // The same disk of the same file twice would be counted as two dumps
        // that agree, and outvote a third.
        for (int d = 0; dump.identified && d <= i; ++d)
            if (dumps.identities[d] == dump.identity &&
                (d == 0 ? state.disk : dumps.others[d - 1]->disk) == dump.disk) {
                say(refused + "disk " + std::to_string(dump.disk) + " of it is " +
                    (d == 0 ? std::string("the image itself") : "already joined as " + dumps.names[d]) +
                    "; nothing was cut");
                return fileio::kExitUsage;
            }
        dumps.maps[i + 1] = &dump.map;
        dumps.names[i + 1] = also.path;
        dumps.identities[i + 1] = dump.identity;
        dumps.count = i + 2;
    }
    return fileio::kExitDone;
}

} // namespace zanvo
