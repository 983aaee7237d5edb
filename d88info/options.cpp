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
    "  d88info --version\n"
    "      The program's name and version.\n"
    "\n"
    "Exports go to FILE (replaced whole; a device or FIFO is written to as it is; - is\n"
    "standard output) or to standard output, but never to a terminal and never onto the\n"
    "image itself.\n"
    "\n";

bool parseOptions(int argc, char* argv[], Options* options, std::string* why)
{
    std::vector<const char*> operands;
    bool raw = false, split = false, json = false;
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
