// Where d88info's -o sends its bytes. "-", and a name that leads to the
// program's own standard output (/dev/stdout), go to standard output; a
// character device or a FIFO is written through, never created or replaced;
// a regular file or an absent name is replaced whole (replaceFile); anything
// else (a folder, a block device, a socket) is refused.
#ifndef FILEIO_WRITE_OUTPUT_H
#define FILEIO_WRITE_OUTPUT_H

#include "d88/d88_image.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace fileio {

// False with a reason in plain ASCII when the bytes were not all written.
bool writeOutput(const char* name, const std::uint8_t* data, std::size_t length,
                 const d88::FileIdentity* protect, std::string* reason);

// Writes the bytes to standard output in binary and flushes them.
bool writeStandardOutput(const std::uint8_t* data, std::size_t length, std::string* reason);

} // namespace fileio

#endif
