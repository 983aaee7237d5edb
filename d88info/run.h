// d88info from its arguments to its exit status, apart from the entry point so
// that tests can run it in-process.
#ifndef D88INFO_RUN_H
#define D88INFO_RUN_H

namespace d88info {

int runInfo(int argc, char* argv[]);

} // namespace d88info

#endif
