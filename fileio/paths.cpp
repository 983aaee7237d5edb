#include "paths.h"

#include <cerrno>
#include <string>

#ifndef _WIN32
#include <unistd.h>
#endif

#ifdef _WIN32
#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#endif

namespace fileio {

std::filesystem::path toPath(const char* name)
{
#ifdef _WIN32
    const std::string bytes(name);
    return std::filesystem::path(std::u8string(bytes.begin(), bytes.end()));
#else
    return std::filesystem::path(name);
#endif
}

bool changeFolder(const char* folder, int* error)
{
#ifdef _WIN32
    const bool changed = _wchdir(toPath(folder).c_str()) == 0;
#else
    const bool changed = chdir(folder) == 0;
#endif
    *error = changed ? 0 : errno;
    return changed;
}

std::FILE* createNewFile(const char* name)
{
#ifdef _WIN32
    // The C runtime's fopen may not know the exclusive "x" mode; _O_EXCL it does.
    const int fd =
        _wopen(toPath(name).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0)
        return nullptr;
    std::FILE* file = _fdopen(fd, "wb");
    if (!file)
        _close(fd);
    return file;
#else
    return std::fopen(name, "wbx");
#endif
}

} // namespace fileio
