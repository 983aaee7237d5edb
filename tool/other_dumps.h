// The other dumps of the disk cut (--also): each opened, its disk found and
// judged as the image's is, and refused, before anything is cut, when it is
// not a dump of the same disk of the title.
#ifndef ZANVO_OTHER_DUMPS_H
#define ZANVO_OTHER_DUMPS_H

#include "options.h"
#include "recognition.h"
#include "tool_state.h"

namespace zanvo {

// Opens the other dumps the options name, as the image is opened: from the
// folder the program started in, before it moves to the one cut into.
// Returns fileio::kExitDone, or has said why one could not be opened (or
// that a standard stream is one of them) and returns the run's status.
int openOtherDumps(ToolState& state, const ToolOptions& options);

// Judges each opened dump beside the image whose disk state.disk was
// recognised as `kind`, and joins them in state.dumps. Returns
// fileio::kExitDone when every one is a dump of the same disk; otherwise has
// said why the first that is not was refused and returns the run's status:
// that of a bad argument for a dump that is no D88 image, holds no such disk
// or is the image itself; that of a failed run for a read that failed.
int judgeOtherDumps(ToolState& state, const ToolOptions& options, DiskKind kind);

// The image and every other dump: unchanged since each was opened (0), or
// the reader's error, with in `*dump` the index of the one that changed.
int dumpsChanged(const ToolState& state, int* dump);

// The path of dump `index` (0 the image).
const char* dumpPath(const ToolState& state, int index);

} // namespace zanvo

#endif
