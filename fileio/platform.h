// What differs between POSIX systems and Windows, in one place: this header
// declares it, platform_posix.cpp and platform_windows.cpp define it (one of
// them is built), and the rest of the file helpers are written once for
// both. The reader's own file access (d88/src/native_file.cpp) is its
// library's counterpart. Names are byte strings: handed to the system as
// they are on POSIX systems, read as UTF-8 on Windows.
//
// Besides what is declared here, the platform sources define the functions
// whose whole body is the system's: toPath, changeFolder and createNewFile
// (paths.h), inspectName (file_identity.h), isTerminal and descriptorNamed
// (standard_streams.h), writeToConsole (terminal_text.h), messagesReadUtf8
// and commandName and optionValueName (message_text.h), and everything of interrupt_cleanup.h.
#ifndef FILEIO_PLATFORM_H
#define FILEIO_PLATFORM_H

#include "d88/d88_image.h"
#include "file_identity.h"
#include "terminal_text.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace fileio::platform {

// What separates a name's folder from its last part.
extern const char kSeparators[];

// The identity of what descriptor `fd` is open on: Same with `identity`
// set; Different for a closed descriptor or one on no file (a console);
// Unknown, with an errno value in `error`, when the system cannot say.
Sameness descriptorIdentity(int fd, d88::FileIdentity* identity, int* error);

// What a name leads to, links followed.
enum class NameKind {
    Missing, // nothing there, or a link to nothing
    Regular,
    Device, // a character device or a FIFO: written through as it is
    Other,  // a folder, a block device, a socket
    Failed, // the look-up failed; `error` says why
};
NameKind lookUp(const char* name, d88::FileIdentity* identity, int* error);

// One write to an open descriptor of what it takes of `length` bytes (not
// 0): how many it took, or -1 with errno set.
std::ptrdiff_t writeSome(int fd, const std::uint8_t* data, std::size_t length);
// Opens an existing name for writing only: no create, no truncation.
// -1 with errno set when it cannot.
int openExisting(const char* name);
// Closes a descriptor; false with errno set when the close failed.
bool closeDescriptor(int fd);
// Puts a standard stream's descriptor in binary mode where there is one.
void binaryMode(int fd);

// Whether `folder` is one where no file may be created: the system's
// devices or processes, by path or by file system.
bool systemFolder(const char* folder);
// 0 when this process may create files in `folder`, else the errno value
// that says why not (0 too where the system cannot say short of trying).
int folderRefusal(const char* folder);
// The permission bits (masked to 0777) of the file open on `fd`; -1 when
// the system has none or cannot say.
int fileMode(int fd);
// Gives the file open on `fd` permission bits `mode`; false with errno set
// when it cannot.
bool setFileMode(int fd, int mode);

// A terminal's form for the fixed Japanese messages: a console on Windows,
// UTF-8 or bytes by the locale elsewhere.
TextForm terminalForm();

// 64 bits that differ from run to run and from process to process, for
// temporary names. Never fails and never throws: the names are created
// exclusively, so a repeat costs only another try.
std::uint64_t randomSeed();

} // namespace fileio::platform

#endif
