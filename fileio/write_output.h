// Where d88info's -o sends its bytes. "-" (or no name) is standard output; a
// name that leads through links to /proc/self/fd/N or /dev/fd/N means
// descriptor N as it is, open or not (never the image), and one that leads
// to standard output or standard error by another way means that stream; a character device or a
// FIFO is written through, never created or replaced; a regular file or an
// absent name is replaced whole (replaceFileFrom); anything else (a folder, a
// block device, a socket by its name) is refused. No disk image goes to a
// terminal, whatever its name.
#ifndef FILEIO_WRITE_OUTPUT_H
#define FILEIO_WRITE_OUTPUT_H

#include "byte_source.h"
#include "d88/d88_image.h"

#include <string>

namespace fileio {

enum class Delivery {
    Written,
    Failed,       // not all written; `reason` says why
    Terminal,     // a terminal: nothing written
    SourceFailed, // the source could not give its bytes; those before may have gone out
};

Delivery writeOutput(const char* name, ByteSource& source, const d88::FileIdentity* protect,
                     std::string* reason);

} // namespace fileio

#endif
