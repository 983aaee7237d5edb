// The cut of the title's files: each file of a plan recovered sector by
// sector, and what became of it handed to the caller, one file at a time.
// Nothing here writes a file or says anything: zanvo-extract writes and
// reports each file before the next is read; the page collects them.
#ifndef ZANVO_FILE_CUT_H
#define ZANVO_FILE_CUT_H

#include "cut_plans.h"
#include "recover_run.h"

#include <cstdint>
#include <span>

namespace zanvo {

enum class CutOutcome {
    Cut,        // at least one sector is on the disk: the file is to be written
    NotOnDisk,  // none of its sectors is: nothing to write
    ReadFailed, // reading met an I/O error (or the reader ran short of memory)
};

// What became of one file.
struct FileCut {
    const char* name = "";
    CutOutcome outcome = CutOutcome::NotOnDisk;
    int error = 0;                       // with ReadFailed: the reader's error
    std::span<const std::uint8_t> bytes; // with Cut: every byte of the run, zeros for what is missing
    const RunRecovery* run = nullptr;    // what was found of each sector: the facts of its warnings
};

// Recovers the run from `start` into all of `dest` (noting each sector in
// `run`) and says what is to become of the file `name`. The bytes are those
// of `dest`, and the facts those of `run`, until either is used again.
FileCut cutRun(d88::D88Image& image, const char* name, const d88::RunStart& start,
               std::span<std::uint8_t> dest, RunRecovery& run);

// Cuts every file of `plan` in order, up to the row whose sector is 0: each
// into the start of `buffer`, handed to `take` before the next is read. A
// file that is not on the disk, or whose reading fails, does not stop the
// files after it. `buffer` holds the plan's longest file (longestFile); a
// row that would not fit is cut short to it rather than overrun it.
template <class Take>
void cutPlan(d88::D88Image& image, const CutEntry* plan, std::span<std::uint8_t> buffer, RunRecovery& run,
             Take&& take)
{
    for (const CutEntry* row = plan; row->sector != 0; ++row) {
        const std::size_t length =
            std::min(static_cast<std::size_t>(row->length > 0 ? row->length : 0), buffer.size());
        take(cutRun(image, row->name, runStart(*row), buffer.first(length), run));
    }
}

} // namespace zanvo

#endif
