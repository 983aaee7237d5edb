#include "options.h"

#include "disk_number.h"

#include <cstring>
#include <vector>

namespace d88info {

const char kUsage[] = "usage: d88info IMAGE\n"
                      "       d88info IMAGE DISK\n"
                      "       d88info --raw IMAGE [DISK] [-o FILE]\n"
                      "       d88info --split IMAGE [DISK] [-o FILE]\n"
                      "       d88info --json IMAGE\n"
                      "       d88info --compare [--json] [--disk=K | --disk=J,K] IMAGE1 IMAGE2\n"
                      "       d88info --help\n"
                      "       d88info --version\n";

const char kHelp[] =
    "d88info explains a D88 floppy-disk image.\n"
    "\n"
    "  d88info IMAGE\n"
    "      One block per disk in the file: its offset, name, media type, write protection,\n"
    "      size (and whether the file ends before the disk does), the tracks present, the\n"
    "      record counts, size codes and flags seen, and whether its boot sector carries\n"
    "      the ZANVO Disk A or Disk F label. A file that cannot be a D88 image is named as\n"
    "      such, with the reason.\n"
    "  d88info IMAGE DISK\n"
    "      For disk DISK (counted from 0): each track with the IDs (C.H.R.N) of its records\n"
    "      in stored order and the flags the dumper recorded, then a map with one row a\n"
    "      track and one column a sector number, showing sectors present, missing,\n"
    "      duplicated, flagged, of another size or carrying another track's cylinder and\n"
    "      head.\n"
    "  d88info --raw IMAGE [DISK] [-o FILE]\n"
    "      The disk as a plain sector image (no headers): every sector position of\n"
    "      track 0's sector numbers and size code on every track up to the highest of\n"
    "      the table, each at its offset, zeros where a sector is missing or stored\n"
    "      short; a line on standard error names the holes.\n"
    "  d88info --split IMAGE [DISK] [-o FILE]\n"
    "      Disk DISK alone, as a D88 image of its own: its bytes from its offset for its\n"
    "      size, never past the end of the file. Both exports take disk 0 of a file\n"
    "      holding one disk when DISK is left out.\n"
    "  d88info --json IMAGE\n"
    "      Every fact of every disk as one JSON document, for programs: the header\n"
    "      fields, the verdict, each track with its records and their flags in words,\n"
    "      the map (man d88info lists the fields).\n"
    "  d88info --compare [--json] [--disk=K | --disk=J,K] IMAGE1 IMAGE2\n"
    "      Two dumps of one disk, sector by sector (a sector is its track and its ID\n"
    "      C.H.R.N, the first record of the track with that ID): track by track, the\n"
    "      sectors only one holds, those stored differently (flags, size code, stored\n"
    "      short) and those holding other bytes, then a summary line; with --json as\n"
    "      one JSON document. --disk=K compares disk K of each, --disk=J,K disk J of\n"
    "      IMAGE1 with disk K of IMAGE2; without it each file must hold one disk.\n"
    "      Status 0 when they hold the same sectors alike with the same bytes, 4 when\n"
    "      they differ.\n"
    "  d88info --version\n"
    "      The program's name and version.\n"
    "\n"
    "Exports go to FILE (replaced whole; a device or FIFO is written to as it is; - is\n"
    "standard output) or to standard output, but never to a terminal and never onto the\n"
    "image itself.\n"
    "\n";

namespace {

// --compare's operands and options: two images, and --disk=K for both or
// --disk=J,K for each.
bool compareOptions(const std::vector<const char*>& operands, bool exporting, bool json, const char* disks,
                    Options* options, std::string* why)
{
    if (exporting || options->output) {
        *why = "--compare goes without --raw, --split and -o";
        return false;
    }
    if (operands.size() != 2) {
        *why = operands.size() < 2 ? "--compare needs two images" : "too many arguments";
        return false;
    }
    if (disks) {
        const char* comma = std::strchr(disks, ',');
        const std::string first = comma ? std::string(disks, comma) : std::string(disks);
        if (!fileio::parseDiskNumber(first.c_str(), &options->disk) ||
            !fileio::parseDiskNumber(comma ? comma + 1 : first.c_str(), &options->secondDisk)) {
            *why = std::string("--disk needs a disk number K or two, J,K, not ") + disks +
                   " (disks are numbered 0, 1, 2 and so on)";
            return false;
        }
    }
    options->mode = Mode::Compare;
    options->image = operands[0];
    options->second = operands[1];
    options->diskGiven = disks != nullptr;
    options->json = json;
    return true;
}

} // namespace

bool parseOptions(int argc, char* argv[], Options* options, std::string* why)
{
    std::vector<const char*> operands;
    bool raw = false, split = false, json = false, compare = false;
    const char* disks = nullptr;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            options->mode = Mode::Help;
            return true;
        }
        if (std::strcmp(arg, "--version") == 0) {
            options->mode = Mode::Version;
            return true;
        }
        if (std::strcmp(arg, "--raw") == 0) {
            raw = true;
        } else if (std::strcmp(arg, "--split") == 0) {
            split = true;
        } else if (std::strcmp(arg, "--json") == 0) {
            json = true;
        } else if (std::strcmp(arg, "--compare") == 0) {
            compare = true;
        } else if (std::strcmp(arg, "--disk") == 0 || std::strncmp(arg, "--disk=", 7) == 0) {
            if (arg[6] == '\0' && i + 1 >= argc) {
                *why = "--disk needs a disk number";
                return false;
            }
            disks = arg[6] == '=' ? arg + 7 : argv[++i];
        } else if (std::strcmp(arg, "-o") == 0) {
            if (i + 1 >= argc) {
                *why = "-o needs a file name";
                return false;
            }
            options->output = argv[++i];
        } else if (std::strcmp(arg, "--") == 0) {
            for (++i; i < argc; ++i)
                operands.push_back(argv[i]);
        } else if (arg[0] == '-' && arg[1] != '\0') {
            *why = std::string("unknown option ") + arg;
            return false;
        } else {
            operands.push_back(arg);
        }
    }
    if (compare)
        return compareOptions(operands, raw || split, json, disks, options, why);
    if (disks) {
        *why = "--disk goes with --compare (a disk of one image is named after it: d88info IMAGE DISK)";
        return false;
    }
    if (operands.empty() || operands.size() > 2) {
        *why = operands.empty() ? "no image named" : "too many arguments";
        return false;
    }
    if (raw + split + json > 1) {
        *why = "--raw, --split and --json go separately";
        return false;
    }
    if (json && operands.size() != 1) {
        *why = "--json needs an image, and tells of every disk";
        return false;
    }
    if (options->output && !raw && !split) {
        *why = "-o goes with --raw or --split";
        return false;
    }
    options->image = operands[0];
    if (operands.size() == 2 && !fileio::parseDiskNumber(operands[1], &options->disk)) {
        *why = std::string("not a disk index: ") + operands[1] + " (disks are numbered 0, 1, 2 and so on)";
        return false;
    }
    options->diskGiven = operands.size() == 2;
    options->mode = raw                    ? Mode::Raw
                    : split                ? Mode::Split
                    : json                 ? Mode::Json
                    : operands.size() == 2 ? Mode::Tracks
                                           : Mode::Summary;
    return true;
}

} // namespace d88info
