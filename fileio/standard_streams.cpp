#include "standard_streams.h"

#include "error_text.h"
#include "file_identity.h"
#include "message_text.h"
#include "output_folder.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#ifdef _WIN32
#include "windows_api.h"
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fileio {

namespace {

// The identity of the file open on `fd`. Unknown only when the system cannot
// say; a closed stream, or one that is no file (a console), is Different.
Sameness streamIdentity(int fd, d88::FileIdentity* identity, int* error)
{
#ifdef _WIN32
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr || GetFileType(handle) != FILE_TYPE_DISK)
        return Sameness::Different;
    if (!d88::handleIdentity(handle, identity)) {
        *error = EIO;
        return Sameness::Unknown;
    }
#else
    struct stat st;
    if (fstat(fd, &st) != 0) {
        if (errno == EBADF)
            return Sameness::Different;
        *error = errno;
        return Sameness::Unknown;
    }
    identity->device = static_cast<std::uint64_t>(st.st_dev);
    identity->file = static_cast<std::uint64_t>(st.st_ino);
#endif
    return Sameness::Same;
}

Sameness streamVersusImage(int fd, const d88::FileIdentity& image, int* error)
{
    d88::FileIdentity identity;
    const Sameness known = streamIdentity(fd, &identity, error);
    if (known != Sameness::Same)
        return known;
    return identity == image ? Sameness::Same : Sameness::Different;
}

#ifndef _WIN32
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
#endif

} // namespace

int descriptorNamed(const char* name)
{
#ifdef _WIN32
    (void)name;
    return -1;
#else
    // Folders are resolved by the system; the last name is followed here,
    // link by link, since the system would follow /proc's links for a
    // descriptor on to whatever it is open on.
    std::string path(name);
    for (int hop = 0; hop < 40 && !path.empty(); ++hop) {
        const std::size_t slash = path.find_last_of('/');
        const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
        const std::string last = slash == std::string::npos ? path : path.substr(slash + 1);
        char* real = realpath(folder.c_str(), nullptr);
        if (!real)
            return -1;
        std::string full(real);
        std::free(real);
        if (last.empty() || last == "." || last == "..")
            return -1;
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
#endif
}

bool beginRun(const d88::FileIdentity& image, const char* program)
{
    forgetOutputFolders();
    int outError = 0, errError = 0;
    const Sameness out = streamVersusImage(1, image, &outError);
    const Sameness err = streamVersusImage(2, image, &errError);
    if (out == Sameness::Different && err == Sameness::Different)
        return true;
    // Standard error takes the message only when it is not the image.
    if (err == Sameness::Different) {
        if (out == Sameness::Same)
            sayLine(program, "standard output is the image being read; nothing is written");
        else
            sayLine(program, "cannot tell whether standard output is the image being read (" +
                                 errorText(outError) + "); nothing is written");
    }
    return false;
}

bool isTerminal(int fd)
{
#ifdef _WIN32
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && handle != nullptr && GetConsoleMode(handle, &mode) != 0;
#else
    return isatty(fd) == 1;
#endif
}

int standardStreamOf(const d88::FileIdentity& identity)
{
    for (const int fd : {1, 2}) {
        d88::FileIdentity stream;
        int error = 0;
        if (streamIdentity(fd, &stream, &error) == Sameness::Same && stream == identity)
            return fd;
    }
    return -1;
}

bool leadsToTerminal(const char* name)
{
    if (!name || std::strcmp(name, "-") == 0)
        return isTerminal(1);
#ifdef _WIN32
    return false;
#else
    if (const int fd = descriptorNamed(name); fd >= 0)
        return isTerminal(fd);
    struct stat st;
    if (stat(name, &st) != 0)
        return false;
    const int fd =
        standardStreamOf({static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)});
    return fd >= 0 && isTerminal(fd);
#endif
}

} // namespace fileio
