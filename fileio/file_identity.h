// Whether a name leads to a given file, decided by the file's identity
// (device and inode, or volume and file ID on Windows) rather than by
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

// What stands at a name, seen from the one look-up an output needs before
// it is renamed over the name.
struct Standing {
    Sameness sameness = Sameness::Different;
    int error = 0; // with Unknown, the errno value of the failed look-up
    int mode = -1; // a regular file's permission bits (masked to 0777); -1 for anything else
};

// Compares what stands at `name` with `identity` (when given): the entry
// itself (a hard link is the file) and, for a link, what it leads to.
Standing inspectName(const char* name, const d88::FileIdentity* identity);

} // namespace fileio

#endif
