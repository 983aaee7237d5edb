// d88info: explains a D88 image.
//   d88info IMAGE                       one block per disk
//   d88info IMAGE DISK                  tracks with their record IDs, and a map
//   d88info --raw IMAGE DISK [-o F]     the disk as a plain sector image
//   d88info --split IMAGE DISK [-o F]   the disk alone as a D88 image
#include "exit_status.h"
#include "options.h"
#include "program_entry.h"
#include "run.h"

namespace {

int run(int argc, char* argv[])
{
    return d88info::runInfo(argc, argv);
}

} // namespace

ZANVO_PROGRAM_ENTRY(run, "d88info", fileio::kExitFailed)
