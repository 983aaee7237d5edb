// The file helpers' system calls on POSIX systems (platform.h).
#include "platform.h"

#include "interrupt_cleanup.h"
#include "message_text.h"
#include "paths.h"
#include "standard_streams.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/vfs.h>
#endif

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>

namespace fileio {

namespace {

// The one place a status becomes an identity.
d88::FileIdentity identityOf(const struct stat& st)
{
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

bool allDigits(const std::string& text, std::size_t from, std::size_t to)
{
    if (from >= to)
        return false;
    for (std::size_t i = from; i < to; ++i)
        if (text[i] < '0' || text[i] > '9')
            return false;
    return true;
}

// N for a path, its folder already resolved, of this process's descriptor
// N: /proc/PID/fd/N or /proc/PID/task/TID/fd/N, whatever /proc/self,
// /proc/thread-self or /dev/fd were in the name.
int descriptorInProc(const std::string& path)
{
    const std::string own = "/proc/" + std::to_string(getpid()) + "/";
    if (path.compare(0, own.size(), own) != 0)
        return -1;
    std::size_t at = own.size();
    if (path.compare(at, 5, "task/") == 0) {
        const std::size_t slash = path.find('/', at + 5);
        if (slash == std::string::npos || !allDigits(path, at + 5, slash))
            return -1;
        at = slash + 1;
    }
    if (path.compare(at, 3, "fd/") != 0 || !allDigits(path, at + 3, path.size()) || path.size() - at - 3 > 9)
        return -1;
    return std::atoi(path.c_str() + at + 3);
}

bool within(const std::string& path, const char* top)
{
    const std::size_t length = std::strlen(top);
    return path.compare(0, length, top) == 0 && (path.size() == length || path[length] == '/');
}

// On the file system that holds the system's device nodes. /dev's file
// system carries no type of its own (devtmpfs reports tmpfs's), so it is
// told by where /dev/null lives; a tmpfs mounted below it (/dev/shm) is not
// that file system.
bool onDeviceNodes(const char* folder)
{
    struct stat here, null;
    return stat(folder, &here) == 0 && stat("/dev/null", &null) == 0 && here.st_dev == null.st_dev;
}

// Whether the folder is on a file system of devices or processes, where a
// name is an interface of the kernel's, not a file of the user's.
bool kernelFileSystem(const char* folder)
{
#ifdef __linux__
    struct statfs fs;
    if (statfs(folder, &fs) != 0)
        return false;
    switch (static_cast<std::uint32_t>(fs.f_type)) {
    case 0x9fa0:     // proc
    case 0x62656572: // sysfs
    case 0x1cd1:     // devpts
    case 0x64626720: // debugfs
    case 0x74726163: // tracefs
    case 0x73636673: // securityfs
    case 0x0027e0eb: // cgroup
    case 0x63677270: // cgroup2
    case 0xcafe4a11: // bpf
    case 0x62656570: // configfs
    case 0x6165676c: // pstore
    case 0xde5e81e4: // efivarfs
    case 0x65735543: // fusectl
    case 0x19800202: // mqueue
    case 0x42494e4d: // binfmt_misc
    case 0xf97cff8c: // selinuxfs
    case 0x9fa2:     // usbdevfs
        return true;
    case 0x01021994: // tmpfs, which devtmpfs also reports
    case 0x858458f6: // ramfs, devtmpfs without tmpfs
        return onDeviceNodes(folder);
    default:
        return false;
    }
#else
    return onDeviceNodes(folder);
#endif
}

// --- Interrupts. What the handler reads is written only while the signals
// are held (or before the flag is set), so it never sees half a name.

// The signals whose default is to end the process and that may come from
// outside it: a user's key, kill, a closed terminal, a timer or a CPU limit.
constexpr int kSignals[] = {SIGINT,  SIGTERM, SIGHUP,    SIGQUIT, SIGUSR1,
                            SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU};

char pendingName[4096];
volatile std::sig_atomic_t pending = 0;
bool installed = false;
sigset_t savedMask; // while signals are held: the mask to restore

void removePending()
{
    if (!pending)
        return;
    unlink(pendingName);
    pending = 0;
}

extern "C" void onInterrupt(int sig)
{
    removePending();
    // Die of the same signal, as an uncaught one would have made the process.
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

void install()
{
    if (installed)
        return;
    installed = true;
    // One call a signal: the handler goes in and the old disposition comes
    // back. A signal that was ignored (nohup) or had a handler of its own
    // (a program this code runs inside) gets it back at once; the signals are
    // held meanwhile (the caller holds them), and one that came in for an
    // ignored signal is discarded when SIG_IGN returns.
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    for (const int sig : kSignals) {
        struct sigaction old {};
        if (sigaction(sig, &action, &old) == 0 && old.sa_handler != SIG_DFL)
            sigaction(sig, &old, nullptr);
    }
}

} // namespace

// --- paths.h

std::filesystem::path toPath(const char* name)
{
    return std::filesystem::path(name);
}

bool changeFolder(const char* folder, int* error)
{
    const bool changed = chdir(folder) == 0;
    *error = changed ? 0 : errno;
    return changed;
}

std::FILE* createNewFile(const char* name)
{
    return std::fopen(name, "wbx");
}

// --- file_identity.h

Standing inspectName(const char* name, const d88::FileIdentity* identity)
{
    Standing out;
    struct stat st;
    if (lstat(name, &st) != 0) {
        if (errno != ENOENT && errno != ENOTDIR) {
            out.sameness = Sameness::Unknown;
            out.error = errno;
        }
        return out;
    }
    if (identity && identityOf(st) == *identity) {
        out.sameness = Sameness::Same;
        return out;
    }
    if (S_ISREG(st.st_mode))
        out.mode = static_cast<int>(st.st_mode & 0777);
    if (!S_ISLNK(st.st_mode) || !identity)
        return out;
    if (stat(name, &st) != 0) {
        // A link that leads nowhere, or round in a loop, leads to no file.
        if (errno != ENOENT && errno != ENOTDIR && errno != ELOOP) {
            out.sameness = Sameness::Unknown;
            out.error = errno;
        }
        return out;
    }
    if (identityOf(st) == *identity)
        out.sameness = Sameness::Same;
    return out;
}

// --- standard_streams.h

bool isTerminal(int fd)
{
    return isatty(fd) == 1;
}

int descriptorNamed(const char* name)
{
    // Folders are resolved by the system; the last name is followed here,
    // link by link, since the system would follow /proc's links for a
    // descriptor on to whatever it is open on.
    std::string path(name);
    for (int hop = 0; hop < 40 && !path.empty(); ++hop) {
        const std::size_t slash = path.find_last_of('/');
        const std::string folder = slash == std::string::npos ? "."
                                   : slash == 0               ? "/"
                                                              : path.substr(0, slash);
        const std::string last = slash == std::string::npos ? path : path.substr(slash + 1);
        if (last.empty() || last == "." || last == "..")
            return -1;
        char* real = realpath(folder.c_str(), nullptr);
        if (!real)
            return -1;
        std::string full(real);
        std::free(real);
        full += full == "/" ? last : "/" + last;
        if (const int fd = descriptorInProc(full); fd >= 0)
            return fd;
        char target[4096];
        const ssize_t length = readlink(full.c_str(), target, sizeof target);
        if (length <= 0 || static_cast<std::size_t>(length) >= sizeof target)
            return -1;
        const std::string to(target, static_cast<std::size_t>(length));
        path = to[0] == '/' ? to : full.substr(0, full.find_last_of('/') + 1) + to;
    }
    return -1;
}

// --- terminal_text.h

bool writeToConsole(std::FILE*, const char*)
{
    return false;
}

// --- message_text.h

bool messagesReadUtf8()
{
    return localeReadsUtf8(std::getenv("LC_ALL"), std::getenv("LC_CTYPE"), std::getenv("LANG"));
}

std::string commandName(std::string_view name, bool utf8)
{
    return posixCommandName(name, utf8);
}

std::string optionValueName(std::string_view name, bool utf8, std::string_view)
{
    return posixOptionValue(name, utf8);
}

// --- interrupt_cleanup.h

SignalsHeld::SignalsHeld()
{
    sigset_t block;
    sigemptyset(&block);
    for (const int sig : kSignals)
        sigaddset(&block, sig);
    held_ = sigprocmask(SIG_BLOCK, &block, &savedMask) == 0;
}

SignalsHeld::~SignalsHeld()
{
    if (held_)
        sigprocmask(SIG_SETMASK, &savedMask, nullptr);
}

bool registerTemporary(const char* name)
{
    install();
    pending = 0;
    const std::size_t len = std::strlen(name);
    if (len >= sizeof pendingName)
        return false;
    std::memcpy(pendingName, name, len + 1);
    pending = 1;
    return true;
}

void unregisterTemporary()
{
    pending = 0;
}

// A signal's handler runs on this thread: it interrupts the rename, which is
// one system call, before or after it.
bool moveTemporary(const char* temp, const char* name, std::error_code* error)
{
    std::filesystem::rename(toPath(temp), toPath(name), *error);
    if (!*error)
        unregisterTemporary();
    return !*error;
}

void removeRegisteredTemporary()
{
    removePending();
}

void ignoreFileSizeSignal()
{
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

// --- platform.h

namespace platform {

const char kSeparators[] = "/";
Sameness descriptorIdentity(int fd, d88::FileIdentity* identity, int* error)
{
    struct stat st;
    if (fstat(fd, &st) != 0) {
        if (errno == EBADF)
            return Sameness::Different;
        *error = errno;
        return Sameness::Unknown;
    }
    *identity = identityOf(st);
    return Sameness::Same;
}

NameKind lookUp(const char* name, d88::FileIdentity* identity, int* error)
{
    struct stat st;
    if (stat(name, &st) != 0) {
        *error = errno;
        return errno == ENOENT ? NameKind::Missing : NameKind::Failed;
    }
    *identity = identityOf(st);
    if (S_ISREG(st.st_mode))
        return NameKind::Regular;
    return S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode) ? NameKind::Device : NameKind::Other;
}

std::ptrdiff_t writeSome(int fd, const std::uint8_t* data, std::size_t length)
{
    return ::write(fd, data, length);
}

int openExisting(const char* name)
{
    return ::open(name, O_WRONLY | O_NOCTTY | O_CLOEXEC);
}

bool closeDescriptor(int fd)
{
    return ::close(fd) == 0;
}

void binaryMode(int) {}

bool systemFolder(const char* folder)
{
    // By path too, whatever the spelling or the links on the way, since in a
    // container /dev is often a plain tmpfs holding devices bound in from
    // the host. /dev/shm is the place for files shared in memory.
    if (char* real = realpath(folder, nullptr)) {
        const std::string path(real);
        std::free(real);
        if ((within(path, "/dev") && !within(path, "/dev/shm")) || within(path, "/proc") ||
            within(path, "/sys"))
            return true;
    }
    return kernelFileSystem(folder);
}

int folderRefusal(const char* folder)
{
    // Creating a file takes writing the folder and searching it. A read-only
    // file system refuses root as well (EROFS).
    return access(folder, W_OK | X_OK) == 0 ? 0 : errno;
}

int fileMode(int fd)
{
    struct stat st;
    return fstat(fd, &st) == 0 ? static_cast<int>(st.st_mode & 0777) : -1;
}

bool setFileMode(int fd, int mode)
{
    return fchmod(fd, static_cast<mode_t>(mode)) == 0;
}

TextForm terminalForm()
{
    return messagesReadUtf8() ? TextForm::Utf8 : TextForm::Bytes;
}

std::uint64_t randomSeed()
{
    struct timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    int local = 0;
    return (static_cast<std::uint64_t>(now.tv_sec) * 1000000000u + static_cast<std::uint64_t>(now.tv_nsec)) ^
           (static_cast<std::uint64_t>(getpid()) << 40) ^ reinterpret_cast<std::uintptr_t>(&local);
}

} // namespace platform

} // namespace fileio
