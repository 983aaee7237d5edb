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

// Defines a program's entry point around `int run(int, char*[])`: main on
// POSIX systems; on Windows wmain, so that arguments arrive as UTF-16 and go
// on as UTF-8, which every file operation here reads back.
#ifdef _WIN32
#define D88_PROGRAM_ENTRY(run)                                                                               \
    int wmain(int argc, wchar_t* argv[])                                                                     \
    {                                                                                                        \
        return d88::runWithUtf8Arguments(argc, argv, run);                                                   \
    }
#else
#define D88_PROGRAM_ENTRY(run)                                                                               \
    int main(int argc, char* argv[])                                                                         \
    {                                                                                                        \
        return run(argc, argv);                                                                              \
    }
#endif

#endif
