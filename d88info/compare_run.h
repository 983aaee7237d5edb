// d88info --compare from its options to its exit status.
#ifndef D88INFO_COMPARE_RUN_H
#define D88INFO_COMPARE_RUN_H

#include "options.h"

namespace d88info {

// Opens both images, takes the disk of each the options name, and writes
// the comparison to standard output: 0 when the disks hold the same sectors
// alike, kExitDumpsDiffer when they differ, and the shared statuses for
// wrong arguments, files that are no D88 image and reads that fail.
int runCompare(const Options& options);

} // namespace d88info

#endif
