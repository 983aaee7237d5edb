#include "file_identity.h"

#include "paths.h"

#include <cerrno>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace fileio {

#ifdef _WIN32

Sameness compareWithFile(const char* name, const d88::FileIdentity& identity, int* error)
{
    // Opening for no access still follows links and reads the identity.
    const HANDLE handle =
        CreateFileW(toPath(name).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
            return Sameness::Different;
        *error = code == ERROR_ACCESS_DENIED ? EACCES : EIO;
        return Sameness::Unknown;
    }
    BY_HANDLE_FILE_INFORMATION info;
    const bool known = GetFileInformationByHandle(handle, &info);
    CloseHandle(handle);
    if (!known) {
        *error = EIO;
        return Sameness::Unknown;
    }
    const d88::FileIdentity there{info.dwVolumeSerialNumber,
                                  (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) |
                                      info.nFileIndexLow};
    return there == identity ? Sameness::Same : Sameness::Different;
}

#else

namespace {

bool sameFile(const struct stat& st, const d88::FileIdentity& identity)
{
    return static_cast<std::uint64_t>(st.st_dev) == identity.device &&
           static_cast<std::uint64_t>(st.st_ino) == identity.file;
}

} // namespace

Sameness compareWithFile(const char* name, const d88::FileIdentity& identity, int* error)
{
    struct stat st;
    if (lstat(name, &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return Sameness::Different;
        *error = errno;
        return Sameness::Unknown;
    }
    if (sameFile(st, identity))
        return Sameness::Same;
    if (!S_ISLNK(st.st_mode))
        return Sameness::Different;
    if (stat(name, &st) != 0) {
        // A link that leads nowhere, or round in a loop, leads to no file.
        if (errno == ENOENT || errno == ENOTDIR || errno == ELOOP)
            return Sameness::Different;
        *error = errno;
        return Sameness::Unknown;
    }
    return sameFile(st, identity) ? Sameness::Same : Sameness::Different;
}

#endif

} // namespace fileio
