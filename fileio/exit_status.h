// The exit statuses of both programs, one table: scripts that run either
// program read the same number the same way.
#ifndef FILEIO_EXIT_STATUS_H
#define FILEIO_EXIT_STATUS_H

namespace fileio {

inline constexpr int kExitDone = 0;
// Wrong arguments (a disk the file does not hold among them), or the image
// cannot be opened; for d88info also a file that is not a D88 image.
inline constexpr int kExitUsage = 1;
// The image could not be read or changed while it was read, or an output could
// not be written or was refused.
inline constexpr int kExitFailed = 2;
// d88info only: an export with holes.
inline constexpr int kExitHoles = 3;

// The table as both --help texts end.
inline constexpr char kExitStatusHelp[] =
    "Exit status, the same for zanvo-extract and d88info:\n"
    "  0  done; for zanvo-extract also an image it does not recognise\n"
    "  1  wrong arguments (a disk the file does not hold among them), or the image\n"
    "     cannot be opened; for d88info also a file that is not a D88 image\n"
    "  2  the image could not be read or changed while it was read, or an output\n"
    "     could not be written (or was refused)\n"
    "  3  d88info only: an export with holes (zeros for sectors the disk lacks, or a\n"
    "     split the file ends inside)\n";

} // namespace fileio

#endif
