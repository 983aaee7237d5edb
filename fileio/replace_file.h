// Writing an output file so that it appears whole or not at all.
#ifndef FILEIO_REPLACE_FILE_H
#define FILEIO_REPLACE_FILE_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace fileio {

// Writes `length` bytes to a new, exclusively created temporary file beside
// `name` and renames it over `name`, replacing whatever non-directory stands
// there (a link or special file is replaced, never written through).
// Refuses when `name` reaches the same file as `protectedPath`. On failure
// returns false with a reason in plain ASCII; the old `name` is left as it
// was and no temporary file remains.
bool replaceFile(const char* name, const std::uint8_t* data, std::size_t length, const char* protectedPath,
                 std::string* reason);

} // namespace fileio

#endif
