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
#include <cstdint>
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
    const HANDLE handle = CreateFileW(wideFromUtf8(name).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const bool device = GetFileType(handle) == FILE_TYPE_CHAR;
    CloseHandle(handle);
    return device;
}

// --- Interrupts. Ctrl+C (SIGINT's handler) and the console's other events
// arrive on threads of their own while the main thread goes on. The
// temporary's name and whether it is pending are shared under a lock, which
// the main thread holds while it creates and registers a temporary
// (SignalsHeld) and while it moves one into place, and which a handler takes
// and never gives back: a handler removes a temporary before it is moved or
// finds none, and once it has, the main thread creates, moves and reports
// nothing more before the process ends.
//
// The main thread may still be writing to the temporary when a handler
// removes it: the temporary is opened with delete sharing (createNewFile),
// so that the removal succeeds all the same, and the system deletes the file
// when the process's handle to it closes, as the process ends.

constexpr int kSignals[] = {SIGINT, SIGTERM};

wchar_t pendingName[32768];
bool pending = false;
SRWLOCK pendingLock = SRWLOCK_INIT;
bool heldByMain = false; // the main thread holds the lock (SignalsHeld); only it reads this
bool installed = false;

// The main thread's hold of the lock, unless a SignalsHeld has it already.
class MainHold {
  public:
    MainHold() : taken_(!heldByMain)
    {
        if (taken_)
            AcquireSRWLockExclusive(&pendingLock);
    }
    ~MainHold()
    {
        if (taken_)
            ReleaseSRWLockExclusive(&pendingLock);
    }
    MainHold(const MainHold&) = delete;
    MainHold& operator=(const MainHold&) = delete;

  private:
    bool taken_;
};

// From a handler: the lock is kept, for the process is ending.
void removePendingForGood()
{
    AcquireSRWLockExclusive(&pendingLock);
    if (pending)
        DeleteFileW(pendingName);
    pending = false;
}

extern "C" void onInterrupt(int sig)
{
    removePendingForGood();
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
        removePendingForGood();
    return FALSE;
}

// The errno value the C runtime gives for a failed create.
int createError(DWORD code)
{
    switch (code) {
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
        return ENOENT;
    case ERROR_TOO_MANY_OPEN_FILES:
        return EMFILE;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_NOT_ENOUGH_QUOTA:
        return ENOMEM;
    case ERROR_DISK_FULL:
        return ENOSPC;
    case ERROR_ACCESS_DENIED:
    case ERROR_NETWORK_ACCESS_DENIED:
    case ERROR_CANNOT_MAKE:
    case ERROR_FAIL_I24:
    case ERROR_DRIVE_LOCKED:
    case ERROR_LOCK_FAILED:
        return EACCES;
    default:
        return code >= ERROR_WRITE_PROTECT && code <= ERROR_SHARING_BUFFER_EXCEEDED ? EACCES : EINVAL;
    }
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
    // Exclusive, as the C runtime's _O_EXCL, and with delete sharing, which
    // the C runtime never asks for, so that an interrupt handler can remove
    // the file while it is open (interrupt_cleanup.h).
    const std::wstring wide = wideFromUtf8(name);
    const HANDLE handle =
        CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        errno = createError(GetLastError());
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(handle), _O_BINARY);
    std::FILE* file = fd < 0 ? nullptr : _fdopen(fd, "wb");
    if (!file) {
        const int err = errno;
        DeleteFileW(wide.c_str()); // this call made it: it goes with the failure
        if (fd < 0)
            CloseHandle(handle);
        else
            _close(fd);
        errno = err;
    }
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

std::string optionValueName(std::string_view name, bool, std::string_view what)
{
    return windowsOptionValue(name, what);
}

// --- interrupt_cleanup.h

// The handlers go in first, outside the lock: a handler waiting for the lock
// may hold the console's own, which SetConsoleCtrlHandler takes.
SignalsHeld::SignalsHeld()
{
    install();
    AcquireSRWLockExclusive(&pendingLock);
    heldByMain = true;
}

SignalsHeld::~SignalsHeld()
{
    heldByMain = false;
    ReleaseSRWLockExclusive(&pendingLock);
}

bool registerTemporary(const char* name)
{
    install();
    const std::wstring wide = wideFromUtf8(name);
    if (wide.empty() || wide.size() >= sizeof pendingName / sizeof pendingName[0])
        return false;
    const MainHold hold;
    std::wmemcpy(pendingName, wide.c_str(), wide.size() + 1);
    pending = true;
    return true;
}

void unregisterTemporary()
{
    const MainHold hold;
    pending = false;
}

bool moveTemporary(const char* temp, const char* name, std::error_code* error)
{
    const MainHold hold;
    std::filesystem::rename(toPath(temp), toPath(name), *error);
    if (!*error)
        pending = false;
    return !*error;
}

void removeRegisteredTemporary()
{
    const MainHold hold;
    if (pending)
        DeleteFileW(pendingName);
    pending = false;
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

// A folder's access is decided by its ACL, which only a create tells for
// sure: each output's own create says it.
int folderRefusal(const char*)
{
    return 0;
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
           (static_cast<std::uint64_t>(GetCurrentProcessId()) << 40) ^
           reinterpret_cast<std::uintptr_t>(&local);
}

} // namespace platform

} // namespace fileio
