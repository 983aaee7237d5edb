// Whether a name leads to a given file, decided by the file's identity
// (device and inode, or volume and file index on Windows) rather than by
// comparing paths, which a renamed folder or a removed name can fool.
#ifndef FILEIO_FILE_IDENTITY_H
#define FILEIO_FILE_IDENTITY_H

#include "d88/d88_image.h"

namespace fileio {

enum class Sameness {
    Different, // nothing there, or another file
    Same,      // the name, or the link standing at it, leads to the file
    Unknown,   // the look-up failed for another reason than "not there"
};

// Compares what stands at `name` with `identity`: the entry itself (a hard
// link is the file) and, for a link, what it leads to. With Unknown, `error`
// holds the errno value of the failed look-up.
Sameness compareWithFile(const char* name, const d88::FileIdentity& identity, int* error);

} // namespace fileio

#endif
