// The tool's cut of a file: its run recovered into the sector buffer, the
// "cutting" line and the warnings said, and the file written under its name.
#ifndef ZANVO_CUT_FILE_H
#define ZANVO_CUT_FILE_H

#include "cut_plans.h"
#include "tool_state.h"

#include <cstdint>

namespace zanvo {

// Recovers skip + length bytes of the run starting at (c, h, r, n) in
// `track`, sector by sector, sectors 1-16 a track, and writes the `length`
// bytes after the first `skip` to the file `name`: every sector on the disk
// as stored, zeros for what is missing, with a warning naming the missing
// and the flagged sectors of the whole run read. A file none of whose
// sectors is on the disk is not written, with a warning; one whose reading
// met an I/O error is not written either, and fails the run, as does one
// whose image changed since it was opened (which also stops the run: see
// ToolState::imageChanged). True only when the file was written.
bool cutFile(ToolState& state, const char* name, std::int32_t track, std::int32_t c, std::int32_t h,
             std::int32_t r, std::int32_t n, std::int32_t skip, std::int32_t length);

// Cuts every file of `plan` in order through cutFile, with no skip, each
// written before the next is read. A file that fails does not stop the files
// after it; an image that changed while it was read stops the plan.
void runPlan(ToolState& state, const CutEntry* plan);

} // namespace zanvo

#endif
