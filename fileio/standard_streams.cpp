#include "standard_streams.h"

#include "error_text.h"
#include "file_identity.h"
#include "output_folder.h"

#include <cerrno>
#include <cstdio>
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

} // namespace

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
            std::fprintf(stderr, "%s: standard output is the image being read; nothing is written\n",
                         program);
        else
            std::fprintf(stderr,
                         "%s: cannot tell whether standard output is the image being read (%s); nothing is "
                         "written\n",
                         program, errorText(outError).c_str());
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
    struct stat st;
    if (stat(name, &st) != 0)
        return false;
    const int fd =
        standardStreamOf({static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)});
    return fd >= 0 && isTerminal(fd);
#endif
}

} // namespace fileio
