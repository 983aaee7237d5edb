// Standard output and standard error as places an output may reach: whether
// either is the image being read, which of them a name leads to, and whether
// one is a terminal.
#ifndef FILEIO_STANDARD_STREAMS_H
#define FILEIO_STANDARD_STREAMS_H

#include "d88/d88_image.h"

namespace fileio {

// For a run that has opened its image and written nothing yet. Checks
// standard output and standard error against the image by identity: when
// either is the image (`1<>image`, `>> image`), or that cannot be told,
// says so on standard error (unless that is the image) and returns false,
// and the run must write nothing at all. Also forgets what an earlier run
// in this process learned about output folders.
bool beginRun(const d88::FileIdentity& image, const char* program);

// Whether the descriptor is a terminal: on Windows a console, by its console
// mode (NUL, which is a character device too, is not one).
bool isTerminal(int fd);

// The standard stream (1 or 2) that is the file `identity` names, or -1.
int standardStreamOf(const d88::FileIdentity& identity);

// The descriptor a name stands for: N when the name, or a link it leads
// through, is /proc/self/fd/N or /dev/fd/N (in whatever spelling that comes
// to the same folder); -1 for any other name. Such a name means the
// descriptor as it is, open or not, never a file to create or replace.
int descriptorNamed(const char* name);

// Whether an output named so ("-" and nullptr: standard output) is a
// terminal reached through a standard stream. A terminal by another name is
// known only once it is opened (writeOutput).
bool leadsToTerminal(const char* name);

} // namespace fileio

#endif
