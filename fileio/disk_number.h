// A disk's number on either program's command line.
#ifndef FILEIO_DISK_NUMBER_H
#define FILEIO_DISK_NUMBER_H

#include <cstring>

namespace fileio {

// Disks are named by their number: decimal digits, nothing else (no sign,
// no space), at most nine of them so the value fits an int.
inline bool parseDiskNumber(const char* text, int* value)
{
    const std::size_t length = std::strlen(text);
    if (length == 0 || length > 9 || std::strspn(text, "0123456789") != length)
        return false;
    int parsed = 0;
    for (const char* p = text; *p; ++p)
        parsed = parsed * 10 + (*p - '0');
    *value = parsed;
    return true;
}

} // namespace fileio

#endif
