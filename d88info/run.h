// d88info from its arguments to its exit status, apart from the entry point so
// that tests can run it in-process.
#ifndef D88INFO_RUN_H
#define D88INFO_RUN_H

#include "d88/file_kind.h"
#include "d88/record_map.h"

#include <string>

namespace d88info {

int runInfo(int argc, char* argv[]);

// Why the map's file, which `verdict` finds to be no D88 image, is not one:
// what its first bytes say it is, or why disk 0 is no D88 disk. 0, or the
// error of a read that failed.
int notD88Words(d88::RecordMap& map, const d88::FileVerdict& verdict, std::string* reason);

} // namespace d88info

#endif
