#include "native_file.h"

#include <cerrno>
#include <limits>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <filesystem>
#include <string>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace d88 {

#ifdef _WIN32

NativeFile openNativeFile(const char* name)
{
    NativeFile out;
    // Names are UTF-8 and reach the wide-character functions.
    const std::string bytes(name);
    const std::filesystem::path path(std::u8string(bytes.begin(), bytes.end()));
    std::FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file) {
        out.error = errno ? errno : EIO;
        return out;
    }
    struct _stat64 st;
    BY_HANDLE_FILE_INFORMATION info;
    if (_fstat64(_fileno(file), &st) != 0) {
        out.error = errno ? errno : EIO;
    } else if ((st.st_mode & _S_IFMT) != _S_IFREG) {
        out.error = kErrorNotRegularFile;
    } else if (!GetFileInformationByHandle(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))), &info)) {
        out.error = EIO;
    }
    if (out.error) {
        std::fclose(file);
        return out;
    }
    std::setvbuf(file, nullptr, _IONBF, 0);
    out.file = file;
    out.size = st.st_size;
    out.identity.device = info.dwVolumeSerialNumber;
    out.identity.file = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return out;
}

bool seekNativeFile(std::FILE* file, std::int64_t pos)
{
    return _fseeki64(file, pos, SEEK_SET) == 0;
}

#else

namespace {

// The lowest free descriptor is 0, 1 or 2 only when a standard stream was
// closed. The image must not take its place: a later write to that stream,
// or a name like /dev/stdout, would then reach the image. Moved to 3 or
// above, the stream stays closed.
int aboveStandardStreams(int fd)
{
    if (fd < 0 || fd > STDERR_FILENO)
        return fd;
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    const int err = errno;
    ::close(fd);
    errno = err;
    return moved;
}

} // namespace

NativeFile openNativeFile(const char* name)
{
    NativeFile out;
    // Without O_NONBLOCK, a FIFO put in the image's place would block the
    // open until a writer came; on a regular file it changes nothing.
    const int fd = aboveStandardStreams(::open(name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd < 0) {
        out.error = errno;
        return out;
    }
    struct stat st;
    if (fstat(fd, &st) != 0)
        out.error = errno;
    else if (!S_ISREG(st.st_mode))
        out.error = kErrorNotRegularFile;
    std::FILE* file = out.error ? nullptr : fdopen(fd, "rb");
    if (!file) {
        if (!out.error)
            out.error = errno;
        ::close(fd);
        return out;
    }
    // The window does the buffering; an unbuffered stream reads straight
    // into it with one system call per read.
    std::setvbuf(file, nullptr, _IONBF, 0);
    out.file = file;
    out.size = st.st_size;
    out.identity.device = static_cast<std::uint64_t>(st.st_dev);
    out.identity.file = static_cast<std::uint64_t>(st.st_ino);
    return out;
}

bool seekNativeFile(std::FILE* file, std::int64_t pos)
{
    if (pos < 0 || pos > std::numeric_limits<off_t>::max())
        return false;
    return fseeko(file, static_cast<off_t>(pos), SEEK_SET) == 0;
}

#endif

} // namespace d88
