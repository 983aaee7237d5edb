#include "write_output.h"

#include "error_text.h"
#include "paths.h"
#include "replace_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
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

// A device or FIFO: opened for writing as it is, no create, no truncation.
bool writeThrough(const char* name, const std::uint8_t* data, std::size_t length, std::string* reason)
{
#ifdef _WIN32
    const int fd = _wopen(toPath(name).c_str(), _O_WRONLY | _O_BINARY);
#else
    const int fd = ::open(name, O_WRONLY | O_NOCTTY | O_CLOEXEC);
#endif
    if (fd < 0) {
        *reason = errorText(errno);
        return false;
    }
    int err = 0;
    bool ok = writeAll(fd, data, length, &err);
#ifdef _WIN32
    const int closed = _close(fd);
#else
    const int closed = ::close(fd);
#endif
    if (closed != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (!ok)
        *reason = errorText(err);
    return ok;
}

} // namespace

bool writeStandardOutput(const std::uint8_t* data, std::size_t length, std::string* reason)
{
    std::fflush(stdout);
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    errno = 0;
    const bool wrote = length == 0 || std::fwrite(data, 1, length, stdout) == length;
    if (wrote && std::fflush(stdout) == 0 && !std::ferror(stdout))
        return true;
    *reason = errorText(errno);
    return false;
}

bool writeOutput(const char* name, const std::uint8_t* data, std::size_t length,
                 const d88::FileIdentity* protect, std::string* reason)
{
    if (std::strcmp(name, "-") == 0)
        return writeStandardOutput(data, length, reason);
#ifdef _WIN32
    struct _stat64 st;
    if (_wstat64(toPath(name).c_str(), &st) != 0) {
        if (errno != ENOENT) {
            *reason = errorText(errno);
            return false;
        }
        return replaceFile(name, data, length, protect, reason);
    }
    if ((st.st_mode & _S_IFMT) == _S_IFCHR)
        return writeThrough(name, data, length, reason);
    if ((st.st_mode & _S_IFMT) == _S_IFREG)
        return replaceFile(name, data, length, protect, reason);
#else
    struct stat st;
    if (stat(name, &st) != 0) {
        // Nothing there, or a link to nothing: a new file takes the name.
        if (errno != ENOENT) {
            *reason = errorText(errno);
            return false;
        }
        return replaceFile(name, data, length, protect, reason);
    }
    if (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode))
        return writeThrough(name, data, length, reason);
    if (S_ISREG(st.st_mode)) {
        // /dev/stdout and its kind lead to the file standard output was sent
        // to: replacing the name would replace a link in /dev and the bytes
        // would never reach standard output.
        struct stat out;
        if (fstat(STDOUT_FILENO, &out) == 0 && out.st_dev == st.st_dev && out.st_ino == st.st_ino &&
            !(protect && protect->device == static_cast<std::uint64_t>(st.st_dev) &&
              protect->file == static_cast<std::uint64_t>(st.st_ino)))
            return writeStandardOutput(data, length, reason);
        return replaceFile(name, data, length, protect, reason);
    }
#endif
    *reason = kRefused;
    return false;
}

} // namespace fileio
