// A program's entry point: main on POSIX systems; on Windows wmain, so that
// arguments arrive as UTF-16 and go on as UTF-8, which every file operation of
// the reader and of this library reads back.
#ifndef FILEIO_PROGRAM_ENTRY_H
#define FILEIO_PROGRAM_ENTRY_H

#include <string>

namespace fileio {

// UTF-16 to UTF-8, for arguments taken as wide strings; unpaired surrogates
// become U+FFFD.
std::string utf8FromUtf16(const wchar_t* text);

// Calls `run` with the wide argument vector converted to UTF-8: what a
// program's wmain does on Windows.
int runWithUtf8Arguments(int argc, wchar_t* argv[], int (*run)(int, char*[]));

} // namespace fileio

// Defines the entry point around `int run(int, char*[])`.
#ifdef _WIN32
#define ZANVO_PROGRAM_ENTRY(run)                                                                             \
    int wmain(int argc, wchar_t* argv[])                                                                     \
    {                                                                                                        \
        return fileio::runWithUtf8Arguments(argc, argv, run);                                                \
    }
#else
#define ZANVO_PROGRAM_ENTRY(run)                                                                             \
    int main(int argc, char* argv[])                                                                         \
    {                                                                                                        \
        return run(argc, argv);                                                                              \
    }
#endif

#endif
