// d88info's command line.
#ifndef D88INFO_OPTIONS_H
#define D88INFO_OPTIONS_H

#include <string>

namespace d88info {

// The exit statuses both programs share.
inline constexpr int kOk = 0;
inline constexpr int kBadUsage =
    1; // wrong arguments; the image cannot be opened, is no D88 image, has no such disk
inline constexpr int kFailed = 2;     // the image could not be read; an output not written, or refused
inline constexpr int kIncomplete = 3; // an export with holes

enum class Mode { Summary, Tracks, Raw, Split, Json, Help, Version };

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
