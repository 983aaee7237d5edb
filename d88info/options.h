// d88info's command line.
#ifndef D88INFO_OPTIONS_H
#define D88INFO_OPTIONS_H

#include <string>

namespace d88info {

enum class Mode { Summary, Tracks, Raw, Split, Json, Compare, Help, Version };

struct Options {
    Mode mode = Mode::Summary;
    const char* image = nullptr;
    int disk = 0;
    bool diskGiven = false;       // an export of a file of one disk needs none
    const char* output = nullptr; // -o; standard output when none
    // --compare: the second image and its disk (`disk` is the first's, and
    // diskGiven says whether --disk named them); --json for its document.
    const char* second = nullptr;
    int secondDisk = 0;
    bool json = false;
};

// Reads the arguments. False with the complaint in `why` when they are wrong.
bool parseOptions(int argc, char* argv[], Options* options, std::string* why);

extern const char kUsage[];
extern const char kHelp[];

} // namespace d88info

#endif
