#include "file_cut.h"

namespace zanvo {

FileCut cutRun(d88::D88Image& image, const char* name, const d88::RunStart& start,
               std::span<std::uint8_t> dest, RunRecovery& run)
{
    FileCut cut;
    cut.name = name;
    cut.run = &run;
    // Errors are told per file: a file whose reading met one is not written,
    // the files after it are read afresh.
    image.clearIoError();
    recoverRun(image, start, dest, &run);
    if ((cut.error = image.ioError()) != 0) {
        cut.outcome = CutOutcome::ReadFailed;
        return cut;
    }
    cut.outcome = run.found > 0 ? CutOutcome::Cut : CutOutcome::NotOnDisk;
    if (cut.outcome == CutOutcome::Cut)
        cut.bytes = dest;
    return cut;
}

} // namespace zanvo
