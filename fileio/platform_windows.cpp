// The file helpers' system calls on Windows (platform.h). Names arrive as
// UTF-8 and reach the wide-character functions.
#include "platform.h"

#include "interrupt_cleanup.h"
#include "message_text.h"
#include "paths.h"
#include "standard_streams.h"

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <cwchar>
#include <string>

namespace fileio {

namespace {

// UTF-8 as UTF-16. Its memory, like every allocation of the programs'
// runs, is inside the guard of program_entry.h.
std::wstring wideFromUtf8(const char* utf8)
{
    std::wstring out;
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    if (length <= 1)
        return out;
    out.resize(static_cast<std::size_t>(length - 1));
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, out.data(), length);
    return out;
}

// A device name (NUL, COM1...) that the C runtime's stat may not know: the
// system says what it is once it is opened, for no access.
bool isCharacterDevice(const char* name)
{
    const HANDLE handle = CreateFileW(wideFromUtf8(name).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const bool device = GetFileType(handle) == FILE_TYPE_CHAR;
    CloseHandle(handle);
    return device;
}

// --- Interrupts. Ctrl+C (SIGINT's handler) and the console's other events
// arrive on threads of their own while the main thread goes on: the name and
// whether it is pending are shared under a lock, so that a handler never
// reads a name the main thread is writing, nor removes one it has just let
// go.

constexpr int kSignals[] = {SIGINT, SIGTERM};

wchar_t pendingName[32768];
bool pending = false;
SRWLOCK pendingLock = SRWLOCK_INIT;
bool installed = false;

void removePending()
{
    AcquireSRWLockExclusive(&pendingLock);
    if (pending)
        _wunlink(pendingName);
    pending = false;
    ReleaseSRWLockExclusive(&pendingLock);
}

extern "C" void onInterrupt(int sig)
{
    removePending();
    // Die of the same signal, as an uncaught one would have made the process.
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

// Ctrl+Break, closing the console, logging off and shutting down reach a
// console program here; the system then ends the process. Ctrl+C goes on to
// the SIGINT handler.
BOOL WINAPI onConsoleEvent(DWORD event)
{
    if (event != CTRL_C_EVENT)
        removePending();
    return FALSE;
}

void install()
{
    if (installed)
        return;
    installed = true;
    for (const int sig : kSignals)
        std::signal(sig, onInterrupt);
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

} // namespace

// --- paths.h

std::filesystem::path toPath(const char* name)
{
    return std::filesystem::path(wideFromUtf8(name));
}

bool changeFolder(const char* folder, int* error)
{
    const bool changed = _wchdir(wideFromUtf8(folder).c_str()) == 0;
    *error = changed ? 0 : errno;
    return changed;
}

std::FILE* createNewFile(const char* name)
{
    // The C runtime's fopen may not know the exclusive "x" mode; _O_EXCL it does.
    const int fd =
        _wopen(wideFromUtf8(name).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0)
        return nullptr;
    std::FILE* file = _fdopen(fd, "wb");
    if (!file)
        _close(fd);
    return file;
}

// --- file_identity.h

Standing inspectName(const char* name, const d88::FileIdentity* identity)
{
    Standing out;
    // Opening for attributes only still follows links and reads the identity.
    const HANDLE handle = CreateFileW(wideFromUtf8(name).c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
            return out;
        out.sameness = Sameness::Unknown;
        out.error = code == ERROR_ACCESS_DENIED ? EACCES : EIO;
        return out;
    }
    d88::FileIdentity there;
    const bool known = d88::handleIdentity(handle, &there);
    CloseHandle(handle);
    if (!known) {
        out.sameness = Sameness::Unknown;
        out.error = EIO;
    } else if (identity && there == *identity) {
        out.sameness = Sameness::Same;
    }
    return out;
}

// --- standard_streams.h

// A console, by its console mode (NUL, which is a character device too, is
// not one).
bool isTerminal(int fd)
{
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && handle != nullptr && GetConsoleMode(handle, &mode) != 0;
}

// Windows has no names of descriptors.
int descriptorNamed(const char*)
{
    return -1;
}

// --- terminal_text.h

bool writeToConsole(std::FILE* stream, const char* utf8)
{
    if (!isTerminal(_fileno(stream)))
        return false;
    const auto console = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    const std::wstring wide = wideFromUtf8(utf8);
    DWORD written = 0;
    std::fflush(stream);
    return WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr) &&
           written == wide.size();
}

// --- message_text.h

// The console is given wide characters: every valid UTF-8 name reads.
bool messagesReadUtf8()
{
    return true;
}

// Pasted into cmd.exe or PowerShell, whichever the user has.
std::string commandName(std::string_view name, bool)
{
    return windowsCommandName(name);
}

// --- interrupt_cleanup.h

SignalsHeld::SignalsHeld() = default;
SignalsHeld::~SignalsHeld() = default;

bool registerTemporary(const char* name)
{
    install();
    const std::wstring wide = wideFromUtf8(name);
    if (wide.empty() || wide.size() >= sizeof pendingName / sizeof pendingName[0])
        return false;
    AcquireSRWLockExclusive(&pendingLock);
    std::wmemcpy(pendingName, wide.c_str(), wide.size() + 1);
    pending = true;
    ReleaseSRWLockExclusive(&pendingLock);
    return true;
}

void unregisterTemporary()
{
    AcquireSRWLockExclusive(&pendingLock);
    pending = false;
    ReleaseSRWLockExclusive(&pendingLock);
}

void removeRegisteredTemporary()
{
    removePending();
}

void ignoreFileSizeSignal() {}

// --- platform.h

namespace platform {

const char kSeparators[] = "/\\:";
Sameness descriptorIdentity(int fd, d88::FileIdentity* identity, int* error)
{
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr || GetFileType(handle) != FILE_TYPE_DISK)
        return Sameness::Different;
    if (!d88::handleIdentity(handle, identity)) {
        *error = EIO;
        return Sameness::Unknown;
    }
    return Sameness::Same;
}

// The C runtime's stat gives no identity: a name's is left as none, which
// no standard stream has.
NameKind lookUp(const char* name, d88::FileIdentity* identity, int* error)
{
    *identity = {};
    struct _stat64 st;
    if (_wstat64(wideFromUtf8(name).c_str(), &st) != 0) {
        *error = errno;
        if (errno != ENOENT)
            return NameKind::Failed;
        return isCharacterDevice(name) ? NameKind::Device : NameKind::Missing;
    }
    if ((st.st_mode & _S_IFMT) == _S_IFREG)
        return NameKind::Regular;
    return (st.st_mode & _S_IFMT) == _S_IFCHR ? NameKind::Device : NameKind::Other;
}

// _write takes an unsigned count and answers in an int: 1 GiB at a time.
std::ptrdiff_t writeSome(int fd, const std::uint8_t* data, std::size_t length)
{
    return _write(fd, data, length > 0x40000000u ? 0x40000000u : static_cast<unsigned>(length));
}

int openExisting(const char* name)
{
    return _wopen(wideFromUtf8(name).c_str(), _O_WRONLY | _O_BINARY);
}

bool closeDescriptor(int fd)
{
    return _close(fd) == 0;
}

void binaryMode(int fd)
{
    _setmode(fd, _O_BINARY);
}

// Windows has no such folders (its devices are names like NUL and CON,
// written through or refused by writeOutput).
bool systemFolder(const char*)
{
    return false;
}

// No permission bits to carry over.
int fileMode(int)
{
    return -1;
}

bool setFileMode(int, int)
{
    return true;
}

TextForm terminalForm()
{
    return TextForm::Console;
}

std::uint64_t randomSeed()
{
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    int local = 0;
    return static_cast<std::uint64_t>(counter.QuadPart) ^
           ((static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime) ^
           (static_cast<std::uint64_t>(GetCurrentProcessId()) << 40) ^ reinterpret_cast<std::uintptr_t>(&local);
}

} // namespace platform

} // namespace fileio
