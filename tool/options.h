// zanvo-extract's command line: the image, and the options before it.
//
//   zanvo-extract [-n | --dry-run] [-C DIR | --directory DIR | --directory=DIR]
//                 [--disk K | --disk=K] [--] IMAGE
//   zanvo-extract -h | --help | --version  (alone)
//
// "--" ends the options; a lone "-" is a path, as any argument that does not
// start with "-" is.
#ifndef ZANVO_OPTIONS_H
#define ZANVO_OPTIONS_H

#include <string>

namespace zanvo {

struct ToolOptions {
    enum class Mode { Cut, Help, Version } mode = Mode::Cut;
    const char* image = nullptr;
    const char* directory = nullptr; // cut into this folder rather than the current one
    int disk = 0;                    // the disk of the file to recognise and cut
    bool dryRun = false;             // say what would be cut, write nothing
};

enum class Parsed {
    Ok,
    WrongCount, // no image, or more than one: the fixed usage line
    BadOption,  // `why` says what is wrong
};

Parsed parseToolOptions(int argc, char* argv[], ToolOptions* options, std::string* why);

} // namespace zanvo

#endif
