#include "write_output.h"

#include "error_text.h"
#include "paths.h"
#include "replace_file.h"
#include "standard_streams.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include "windows_api.h"

#include <fcntl.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fileio {

namespace {

constexpr char kRefused[] = "not a regular file, character device or FIFO; left untouched";

// Writes everything to an open descriptor, on through short writes.
bool writeAll(int fd, const std::uint8_t* data, std::size_t length, int* err)
{
    while (length > 0) {
#ifdef _WIN32
        const unsigned chunk = length > 0x40000000u ? 0x40000000u : static_cast<unsigned>(length);
        const int wrote = _write(fd, data, chunk);
#else
        const ssize_t wrote = ::write(fd, data, length);
#endif
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0) {
            *err = wrote < 0 ? errno : EIO;
            return false;
        }
        data += wrote;
        length -= static_cast<std::size_t>(wrote);
    }
    return true;
}

// Every piece of `source` to `fd`.
Delivery pour(ByteSource& source, int fd, std::string* reason)
{
    for (;;) {
        std::span<const std::uint8_t> piece;
        if (!source.next(&piece))
            return Delivery::SourceFailed;
        if (piece.empty())
            return Delivery::Written;
        int err = 0;
        if (!writeAll(fd, piece.data(), piece.size(), &err)) {
            *reason = errorText(err);
            return Delivery::Failed;
        }
    }
}

// Standard output or standard error, or another descriptor a name stands
// for, as they are.
Delivery toStream(int fd, ByteSource& source, std::string* reason)
{
    if (isTerminal(fd))
        return Delivery::Terminal;
    // What the program printed there before goes first.
    if (fd == 1 || fd == 2)
        std::fflush(fd == 1 ? stdout : stderr);
#ifdef _WIN32
    _setmode(fd, _O_BINARY);
#endif
    return pour(source, fd, reason);
}

// A device or FIFO: opened for writing as it is, no create, no truncation.
Delivery writeThrough(const char* name, ByteSource& source, std::string* reason)
{
#ifdef _WIN32
    const int fd = _wopen(toPath(name).c_str(), _O_WRONLY | _O_BINARY);
#else
    const int fd = ::open(name, O_WRONLY | O_NOCTTY | O_CLOEXEC);
#endif
    if (fd < 0) {
        *reason = errorText(errno);
        return Delivery::Failed;
    }
    Delivery delivery = isTerminal(fd) ? Delivery::Terminal : pour(source, fd, reason);
#ifdef _WIN32
    const int closed = _close(fd);
#else
    const int closed = ::close(fd);
#endif
    if (closed != 0 && delivery == Delivery::Written) {
        delivery = Delivery::Failed;
        *reason = errorText(errno);
    }
    return delivery;
}

#ifdef _WIN32
// A device name (NUL, COM1...) that the C runtime's stat may not know: the
// system says what it is once it is opened, for no access.
bool isCharacterDevice(const char* name)
{
    const HANDLE handle = CreateFileW(toPath(name).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const bool device = GetFileType(handle) == FILE_TYPE_CHAR;
    CloseHandle(handle);
    return device;
}
#endif

Delivery replace(const char* name, ByteSource& source, const d88::FileIdentity* protect, std::string* reason)
{
    bool sourceFailed = false;
    if (replaceFileFrom(name, source, protect, reason, &sourceFailed))
        return Delivery::Written;
    return sourceFailed ? Delivery::SourceFailed : Delivery::Failed;
}

} // namespace

Delivery writeOutput(const char* name, ByteSource& source, const d88::FileIdentity* protect,
                     std::string* reason)
{
    if (!name || std::strcmp(name, "-") == 0)
        return toStream(1, source, reason);
#ifdef _WIN32
    struct _stat64 st;
    if (_wstat64(toPath(name).c_str(), &st) != 0) {
        if (errno != ENOENT) {
            *reason = errorText(errno);
            return Delivery::Failed;
        }
        if (isCharacterDevice(name))
            return writeThrough(name, source, reason);
        return replace(name, source, protect, reason);
    }
    if ((st.st_mode & _S_IFMT) == _S_IFCHR)
        return writeThrough(name, source, reason);
    if ((st.st_mode & _S_IFMT) == _S_IFREG)
        return replace(name, source, protect, reason);
#else
    if (const int fd = descriptorNamed(name); fd >= 0) {
        // Open or not, the descriptor is what the name means: it is never
        // created or replaced, and the image (read-only anyway) is refused.
        struct stat open;
        if (fstat(fd, &open) != 0) {
            *reason = errorText(errno);
            return Delivery::Failed;
        }
        if (protect && d88::FileIdentity{static_cast<std::uint64_t>(open.st_dev),
                                         static_cast<std::uint64_t>(open.st_ino)} == *protect) {
            *reason = "it is the image being read, left untouched";
            return Delivery::Failed;
        }
        return toStream(fd, source, reason);
    }
    struct stat st;
    if (stat(name, &st) != 0) {
        // Nothing there, or a link to nothing: a new file takes the name.
        if (errno != ENOENT) {
            *reason = errorText(errno);
            return Delivery::Failed;
        }
        return replace(name, source, protect, reason);
    }
    // /dev/stdout, /dev/fd/1, /proc/self/fd/2 and their kind lead to what a
    // standard stream is open on: writing to the stream is what they mean,
    // whatever that is (a file, a pipe, a socket, a terminal), and replacing
    // the name would replace a name in /dev or /proc instead. The image is
    // never written so: it is replaced by nothing (replaceFile refuses).
    const d88::FileIdentity there{static_cast<std::uint64_t>(st.st_dev),
                                  static_cast<std::uint64_t>(st.st_ino)};
    if (!(protect && there == *protect)) {
        const int stream = standardStreamOf(there);
        if (stream >= 0)
            return toStream(stream, source, reason);
    }
    if (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode))
        return writeThrough(name, source, reason);
    if (S_ISREG(st.st_mode))
        return replace(name, source, protect, reason);
#endif
    *reason = kRefused;
    return Delivery::Failed;
}

} // namespace fileio
