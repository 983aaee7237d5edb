// The Windows API as this library's sources include it: <windows.h> without
// its rarely used parts and without the min and max macros, which would
// break std::min and std::max, and <io.h> for the C library's descriptors.
#ifndef FILEIO_WINDOWS_API_H
#define FILEIO_WINDOWS_API_H

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <io.h>
#include <windows.h>
#endif

#endif
