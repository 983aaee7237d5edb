// File names as the programs pass them around: byte strings, handed to the
// system as they are on POSIX systems and read as UTF-8 on Windows, where the
// programs take their arguments in UTF-16 and convert them. One place decides
// how a name reaches the file system for creating, comparing, renaming and
// removing.
#ifndef FILEIO_PATHS_H
#define FILEIO_PATHS_H

#include <cstdio>
#include <filesystem>

namespace fileio {

// The file-system path a name stands for.
std::filesystem::path toPath(const char* name);

// Makes `folder` the current folder; false with errno's value in `error`
// when it cannot (it does not exist, is not a folder, may not be entered).
bool changeFolder(const char* folder, int* error);

// Creates `name` for binary writing only if nothing at all stands there,
// never following a link; nullptr with errno set otherwise.
std::FILE* createNewFile(const char* name);

} // namespace fileio

#endif
