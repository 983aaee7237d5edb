// d88info: explains a D88 image.
//   d88info IMAGE                    one block per disk
//   d88info IMAGE DISK               tracks with their record IDs, and a map
//   d88info --raw IMAGE DISK [-o F]  the disk as a plain sector image
#include "raw_export.h"
#include "report.h"

#include "program_entry.h"
#include "replace_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

constexpr int kOk = 0;
constexpr int kFailed = 1; // cannot open, no such disk, nothing to export, cannot write
constexpr int kBadUsage = 2;
constexpr int kIncomplete = 3; // a raw export whose run stopped early

constexpr char kUsage[] = "usage: d88info IMAGE\n"
                          "       d88info IMAGE DISK\n"
                          "       d88info --raw IMAGE DISK [-o FILE]\n"
                          "       d88info --help\n"
                          "       d88info --version\n";

constexpr char kHelp[] = "d88info explains a D88 floppy-disk image.\n"
                         "\n"
                         "  d88info IMAGE\n"
                         "      One block per disk in the file: its offset, name, media type, size, the\n"
                         "      tracks present, the record counts and size codes seen. For the first disk,\n"
                         "      whether its boot sector carries the ZANVO Disk A or Disk F label.\n"
                         "  d88info IMAGE DISK\n"
                         "      For disk DISK (counted from 0): each present track with the IDs (C.H.R.N)\n"
                         "      of its records in stored order, then a map with one row a track and one\n"
                         "      column a sector number, showing sectors present, missing, duplicated, of\n"
                         "      another size or carrying another track's cylinder and head.\n"
                         "  d88info --raw IMAGE DISK [-o FILE]\n"
                         "      The disk as a plain sector image (no headers), to standard output or to\n"
                         "      FILE: sectors in order from track 0, with track 0's sector numbers and\n"
                         "      size code, up to the highest present track. Where the disk has a hole the\n"
                         "      export stops, and says so on standard error.\n"
                         "  d88info --version\n"
                         "      The program's name and version.\n"
                         "\n"
                         "Exit status: 0 done, 1 the image or disk cannot be read or the output cannot\n"
                         "be written, 2 wrong arguments, 3 a raw export that stopped early.\n";

bool parseIndex(const char* text, int* value)
{
    if (!*text)
        return false;
    char* end = nullptr;
    errno = 0;
    const long parsed = std::strtol(text, &end, 10);
    if (*end || errno || parsed < 0 || parsed > 1000000)
        return false;
    *value = static_cast<int>(parsed);
    return true;
}

int badUsage(const char* why)
{
    std::fprintf(stderr, "d88info: %s\n%s", why, kUsage);
    return kBadUsage;
}

int finishStdout(int status)
{
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "d88info: cannot write to standard output: %s\n",
                     std::generic_category().message(errno).c_str());
        return kFailed;
    }
    return status;
}

int writeRaw(const d88info::RawExport& raw, const char* outputPath, const char* imagePath)
{
    if (outputPath) {
        std::string reason;
        if (!fileio::replaceFile(outputPath, raw.bytes.data(), raw.bytes.size(), imagePath, &reason)) {
            std::fprintf(stderr, "d88info: cannot write %s: %s\n", outputPath, reason.c_str());
            return kFailed;
        }
        return kOk;
    }
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    if (!raw.bytes.empty())
        std::fwrite(raw.bytes.data(), 1, raw.bytes.size(), stdout);
    return finishStdout(kOk);
}

int run(int argc, char* argv[])
{
    bool raw = false;
    const char* outputPath = nullptr;
    std::vector<const char*> operands;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            std::fputs(kHelp, stdout);
            return finishStdout(kOk);
        }
        if (std::strcmp(arg, "--version") == 0) {
            std::fputs("d88info " ZANVO_VERSION "\n", stdout);
            return finishStdout(kOk);
        }
        if (std::strcmp(arg, "--raw") == 0) {
            raw = true;
        } else if (std::strcmp(arg, "-o") == 0) {
            if (i + 1 >= argc)
                return badUsage("-o needs a file name");
            outputPath = argv[++i];
        } else if (std::strcmp(arg, "--") == 0) {
            for (++i; i < argc; ++i)
                operands.push_back(argv[i]);
        } else if (arg[0] == '-' && arg[1] != '\0') {
            return badUsage((std::string("unknown option ") + arg).c_str());
        } else {
            operands.push_back(arg);
        }
    }
    if (operands.empty() || operands.size() > 2)
        return badUsage(operands.empty() ? "no image named" : "too many arguments");
    if (raw && operands.size() != 2)
        return badUsage("--raw needs an image and a disk index");
    if (outputPath && !raw)
        return badUsage("-o goes with --raw");
    int disk = 0;
    if (operands.size() == 2 && !parseIndex(operands[1], &disk))
        return badUsage((std::string("not a disk index: ") + operands[1]).c_str());

    const char* imagePath = operands[0];
    d88::D88Image image;
    if (!image.open(imagePath)) {
        std::fprintf(stderr, "d88info: cannot open %s: not a readable file\n", imagePath);
        return kFailed;
    }
    if (operands.size() == 2 && disk >= image.diskCount()) {
        std::fprintf(stderr, "d88info: %s has %d disk%s; there is no disk %d\n", imagePath, image.diskCount(),
                     image.diskCount() == 1 ? "" : "s", disk);
        return kFailed;
    }

    if (!raw) {
        if (operands.size() == 1)
            d88info::printSummary(stdout, image);
        else if (!d88info::printTracks(stdout, image, disk)) {
            std::fprintf(stderr, "d88info: disk %d's header cannot be read\n", disk);
            return kFailed;
        }
        return finishStdout(kOk);
    }

    d88info::RawExport exported;
    std::string error;
    if (!d88info::exportRaw(image, disk, &exported, &error)) {
        std::fprintf(stderr, "d88info: %s\n", error.c_str());
        return kFailed;
    }
    const int status = writeRaw(exported, outputPath, imagePath);
    if (!exported.stop.empty()) {
        std::fprintf(stderr, "d88info: %s; %zu of %lld bytes exported\n", exported.stop.c_str(),
                     exported.bytes.size(), static_cast<long long>(exported.wanted));
        return status == kOk ? kIncomplete : status;
    }
    return status;
}

} // namespace

ZANVO_PROGRAM_ENTRY(run)
