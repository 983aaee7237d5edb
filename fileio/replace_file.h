// Writing an output file so that it appears whole or not at all.
#ifndef FILEIO_REPLACE_FILE_H
#define FILEIO_REPLACE_FILE_H

#include "byte_source.h"
#include "d88/d88_image.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace fileio {

// Writes the bytes of `source` to a new, exclusively created temporary
// file beside `name` and renames it over `name`, replacing whatever
// non-directory stands there (a link or special file is replaced, never
// written through). A
// regular file replaced hands its permission bits (never set-user or
// set-group ID) to the new one; its owner, group, ACLs and other hard links
// are not carried over. Refuses, just before the rename, when what stands at
// `name` is or leads to the file `protect` identifies, or when that cannot be
// told; refuses at once in a folder of devices or processes. On failure
// returns false with a reason in plain ASCII; the old `name` is left as it
// was and no temporary file remains, also when a signal interrupts the write
// (interrupt_cleanup.h). When the source fails, `*sourceFailed` is set,
// `reason` is left alone and nothing is written.
bool replaceFileFrom(const char* name, ByteSource& source, const d88::FileIdentity* protect,
                     std::string* reason, bool* sourceFailed);

// The same, refusing for each of several files (the dumps a cut was joined
// from), none of which an output may replace.
bool replaceFileFrom(const char* name, ByteSource& source, std::span<const d88::FileIdentity> protect,
                     std::string* reason, bool* sourceFailed);

} // namespace fileio

#endif
