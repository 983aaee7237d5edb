// d88info's command line.
#ifndef D88INFO_OPTIONS_H
#define D88INFO_OPTIONS_H

#include <string>

namespace d88info {

inline constexpr int kOk = 0;
inline constexpr int kFailed = 1;     // cannot open or read, not a D88 image, no such disk, cannot write
inline constexpr int kBadUsage = 2;   // wrong arguments, binary output to a terminal
inline constexpr int kIncomplete = 3; // an export that stopped early

enum class Mode { Summary, Tracks, Raw, Split, Help, Version };

struct Options {
    Mode mode = Mode::Summary;
    const char* image = nullptr;
    int disk = 0;
    const char* output = nullptr; // -o; standard output when none
};

// Reads the arguments. False with the complaint in `why` when they are wrong.
bool parseOptions(int argc, char* argv[], Options* options, std::string* why);

extern const char kUsage[];
extern const char kHelp[];

} // namespace d88info

#endif
