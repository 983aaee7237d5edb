// A program's entry point: main on POSIX systems; on Windows wmain, so that
// arguments arrive as UTF-16 and go on as UTF-8, which every file operation of
// the reader and of this library reads back. The programs report failures by
// their results; the standard library's own allocations may still throw when
// memory runs out, so the entry point catches that: the temporary file being
// written is removed, the program says so and exits with its failure status.
// A write past the file-size limit fails as a write rather than ending the
// process, from the start of the run.
#ifndef FILEIO_PROGRAM_ENTRY_H
#define FILEIO_PROGRAM_ENTRY_H

#include "interrupt_cleanup.h"

#include <new>
#include <string>

namespace fileio {

using ProgramRun = int (*)(int, char*[]);

// UTF-16 to UTF-8, for arguments taken as wide strings; unpaired surrogates
// become U+FFFD.
std::string utf8FromUtf16(const wchar_t* text);

// Calls `run` with the wide argument vector converted to UTF-8: what a
// program's wmain does on Windows.
int runWithUtf8Arguments(int argc, wchar_t* argv[], ProgramRun run);

// Removes the temporary being written, says "PROGRAM: WHAT" on standard error
// and returns `failureStatus`.
int giveUp(const char* program, const char* what, int failureStatus);

// Returns body(), or gives up if anything escapes it.
template <class Body> int runGuarded(Body body, const char* program, int failureStatus)
{
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return giveUp(program, "out of memory", failureStatus);
    } catch (...) {
        return giveUp(program, "unexpected failure", failureStatus);
    }
}

} // namespace fileio

// Defines the entry point around `int run(int, char*[])`.
#ifdef _WIN32
#define ZANVO_PROGRAM_ENTRY(run, program, failureStatus)                                                     \
    int wmain(int argc, wchar_t* argv[])                                                                     \
    {                                                                                                        \
        fileio::ignoreFileSizeSignal();                                                                      \
        return fileio::runGuarded([&] { return fileio::runWithUtf8Arguments(argc, argv, run); }, program,    \
                                  failureStatus);                                                            \
    }
#else
#define ZANVO_PROGRAM_ENTRY(run, program, failureStatus)                                                     \
    int main(int argc, char* argv[])                                                                         \
    {                                                                                                        \
        fileio::ignoreFileSizeSignal();                                                                      \
        return fileio::runGuarded([&] { return run(argc, argv); }, program, failureStatus);                  \
    }
#endif

#endif
