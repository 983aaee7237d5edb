#include "file_identity.h"

#include "paths.h"

#include <cerrno>

#ifdef _WIN32
#include "windows_api.h"
#else
#include <sys/stat.h>
#endif

namespace fileio {

#ifdef _WIN32

Standing inspectName(const char* name, const d88::FileIdentity* identity)
{
    Standing out;
    // Opening for attributes only still follows links and reads the identity.
    const HANDLE handle = CreateFileW(toPath(name).c_str(), FILE_READ_ATTRIBUTES,
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

#else

namespace {

bool sameFile(const struct stat& st, const d88::FileIdentity* identity)
{
    return identity && static_cast<std::uint64_t>(st.st_dev) == identity->device &&
           static_cast<std::uint64_t>(st.st_ino) == identity->file;
}

} // namespace

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
    if (sameFile(st, identity)) {
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
    if (sameFile(st, identity))
        out.sameness = Sameness::Same;
    return out;
}

#endif

} // namespace fileio
