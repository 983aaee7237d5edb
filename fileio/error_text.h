// The system's reason for a failure, as plain text for a diagnostic, and the
// lines both programs and the page say when an image cannot be opened or
// read (each caller adds its own prefix).
#ifndef FILEIO_ERROR_TEXT_H
#define FILEIO_ERROR_TEXT_H

#include "d88/d88_image.h"

#include <cstdint>
#include <string>

namespace fileio {

// The errno value's message ("No such file or directory"); "not a regular
// file" for the reader's kErrorNotRegularFile; "I/O error" for 0.
std::string errorText(int error);

// "cannot open PATH: REASON".
std::string cannotOpen(const char* path, int error);

// "cannot read PATH: REASON"; "PATH changed while it was read" for the
// reader's kErrorImageChanged.
std::string cannotRead(const char* path, int error);

// "cannot read NAME from IMAGE: REASON; NAME not written", for a file whose
// sectors could not be read ("IMAGE changed while it was read; NAME not
// written" for kErrorImageChanged); "NAME would not be written" for a dry
// run, which writes nothing but tells what a cut would do.
std::string cannotReadFile(const char* name, const char* image, int error, bool dryRun = false);

// "PATH has 2 disks; there is no disk 5", or for a file of more disks than
// are indexed "PATH holds more than 64 disks, and only the first 64 can be
// read; there is no disk 65 among them".
std::string noSuchDisk(const d88::D88Image& image, const char* path, std::int32_t disk);

} // namespace fileio

#endif
