// zanvo-extract's command line: the image, and the options before it.
//
//   zanvo-extract [-n | --dry-run] [-C DIR | --directory DIR | --directory=DIR]
//                 [--disk K | --disk=K]
//                 [--also FILE [--also-disk K] ...] [--] IMAGE
//   zanvo-extract -h | --help | --version  (alone)
//
// "--" ends the options; a lone "-" is a path, as any argument that does not
// start with "-" is.
#ifndef ZANVO_OPTIONS_H
#define ZANVO_OPTIONS_H

#include "joined_cut.h"

#include <string>

namespace zanvo {

struct ToolOptions {
    enum class Mode { Cut, Help, Version } mode = Mode::Cut;
    const char* image = nullptr;
    const char* directory = nullptr; // cut into this folder rather than the current one
    int disk = 0;                    // the disk of the file to recognise and cut
    bool dryRun = false;             // say what would be cut, write nothing
    // Other dumps of the same disk, joined to the image's: each file's
    // sectors from the best copy. A dump's disk is the first of the image's
    // kind it holds, unless --also-disk names one (-1).
    struct Also {
        const char* path = nullptr;
        int disk = -1;
    };
    Also also[kMaxDumps - 1];
    int alsoCount = 0;
};

enum class Parsed {
    Ok,
    WrongCount, // no image, or more than one: the fixed usage line
    BadOption,  // `why` says what is wrong
};

Parsed parseToolOptions(int argc, char* argv[], ToolOptions* options, std::string* why);

} // namespace zanvo

#endif
