// File names as the programs pass them around: byte strings, handed to the
// system as they are on POSIX systems and read as UTF-8 on Windows, where the
// programs take their arguments in UTF-16 and convert them. One place decides
// how a name reaches the file system, so that opening, comparing and renaming
// all see the same file.
#ifndef D88_PATHS_H
#define D88_PATHS_H

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

namespace d88 {

// The file-system path a name stands for.
std::filesystem::path toPath(const char* name);

// std::fopen for such a name (binary modes only).
std::FILE* openFile(const char* name, const char* mode);

// Creates `name` for binary writing only if nothing at all stands there,
// never following a link; nullptr with errno set otherwise.
std::FILE* createNewFile(const char* name);

// UTF-16 to UTF-8, for arguments taken as wide strings; unpaired surrogates
// become U+FFFD.
std::string utf8FromUtf16(const wchar_t* text);

// Calls `run` with the wide argument vector converted to UTF-8: what a
// program's wmain does on Windows.
int runWithUtf8Arguments(int argc, wchar_t* argv[], int (*run)(int, char*[]));

} // namespace d88

#endif
