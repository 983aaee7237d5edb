// Writing an output file so that it appears whole or not at all.
#ifndef FILEIO_REPLACE_FILE_H
#define FILEIO_REPLACE_FILE_H

#include "d88/d88_image.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace fileio {

// Writes `length` bytes to a new, exclusively created temporary file beside
// `name` and renames it over `name`, replacing whatever non-directory stands
// there (a link or special file is replaced, never written through).
// Refuses, just before the rename, when what stands at `name` is or leads
// to the file `protect` identifies, or when that cannot be told. On failure
// returns false with a reason in plain ASCII; the old `name` is left as it
// was and no temporary file remains, also when SIGINT, SIGTERM or SIGHUP
// interrupts the write.
bool replaceFile(const char* name, const std::uint8_t* data, std::size_t length,
                 const d88::FileIdentity* protect, std::string* reason);

} // namespace fileio

#endif
