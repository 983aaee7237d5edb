#include "options.h"

#include "disk_number.h"

#include <cstring>

namespace zanvo {

namespace {

// The value of an option that takes one, given as "--name=VALUE" or as the
// next argument; nullptr (with `why` set) when there is none.
const char* valueOf(const char* arg, const char* name, int* i, int argc, char* argv[], std::string* why)
{
    const std::size_t length = std::strlen(name);
    if (std::strncmp(arg, name, length) == 0 && arg[length] == '=')
        return arg + length + 1;
    if (*i + 1 >= argc) {
        *why = std::string(name) + " needs a value";
        return nullptr;
    }
    return argv[++*i];
}

bool named(const char* arg, const char* name)
{
    const std::size_t length = std::strlen(name);
    return std::strncmp(arg, name, length) == 0 && (arg[length] == '\0' || arg[length] == '=');
}

} // namespace

Parsed parseToolOptions(int argc, char* argv[], ToolOptions* options, std::string* why)
{
    int images = 0;
    int alsoEnd = -2; // the last argument an --also took
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (optionsEnded || arg[0] != '-' || arg[1] == '\0') {
            options->image = arg;
            ++images;
        } else if (std::strcmp(arg, "--") == 0) {
            optionsEnded = true;
        } else if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            options->mode = ToolOptions::Mode::Help;
        } else if (std::strcmp(arg, "--version") == 0) {
            options->mode = ToolOptions::Mode::Version;
        } else if (std::strcmp(arg, "-n") == 0 || std::strcmp(arg, "--dry-run") == 0) {
            options->dryRun = true;
        } else if (std::strcmp(arg, "-C") == 0 || named(arg, "--directory")) {
            if (!(options->directory =
                      valueOf(arg, std::strcmp(arg, "-C") == 0 ? "-C" : "--directory", &i, argc, argv, why)))
                return Parsed::BadOption;
        } else if (named(arg, "--disk")) {
            const char* value = valueOf(arg, "--disk", &i, argc, argv, why);
            if (!value)
                return Parsed::BadOption;
            if (!fileio::parseDiskNumber(value, &options->disk)) {
                *why = std::string("--disk needs a disk number (0, 1, ...), not ") + value;
                return Parsed::BadOption;
            }
        } else if (named(arg, "--also")) {
            const char* value = valueOf(arg, "--also", &i, argc, argv, why);
            if (!value)
                return Parsed::BadOption;
            if (options->alsoCount == kMaxDumps - 1) {
                *why = "--also at most " + std::to_string(kMaxDumps - 1) + " times";
                return Parsed::BadOption;
            }
            options->also[options->alsoCount++].path = value;
            alsoEnd = i;
        } else if (named(arg, "--also-disk")) {
            // It belongs to the --also just before it, and to no other.
            if (alsoEnd != i - 1) {
                *why = "--also-disk must follow an --also FILE";
                return Parsed::BadOption;
            }
            const char* value = valueOf(arg, "--also-disk", &i, argc, argv, why);
            if (!value)
                return Parsed::BadOption;
            if (!fileio::parseDiskNumber(value, &options->also[options->alsoCount - 1].disk)) {
                *why = std::string("--also-disk needs a disk number (0, 1, ...), not ") + value;
                return Parsed::BadOption;
            }
        } else {
            *why = std::string("unknown option ") + arg;
            return Parsed::BadOption;
        }
    }
    // --help and --version only alone, as they always were: with anything
    // else, the arguments are a wrong count.
    if (options->mode != ToolOptions::Mode::Cut)
        return argc == 2 ? Parsed::Ok : Parsed::WrongCount;
    return images == 1 ? Parsed::Ok : Parsed::WrongCount;
}

} // namespace zanvo
