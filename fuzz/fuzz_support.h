// What the fuzz targets share: a check that stops the run, and a scratch
// file (in memory where there is /dev/shm) to hand the input to the code
// under test, which reads images from files.
#ifndef FUZZ_SUPPORT_H
#define FUZZ_SUPPORT_H

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#define CHECK(cond)                                                                                          \
    do {                                                                                                     \
        if (!(cond)) {                                                                                       \
            std::fprintf(stderr, "check failed: %s (line %d)\n", #cond, __LINE__);                           \
            __builtin_trap();                                                                                \
        }                                                                                                    \
    } while (0)

namespace fuzzsupport {

inline const char* scratchFolder()
{
    return access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
}

// A file name of this process's own for the input.
inline std::string scratchImagePath(const char* target)
{
    return std::string(scratchFolder()) + "/" + target + "-fuzz-" + std::to_string(getpid()) + ".d88";
}

inline bool writeInput(const std::string& path, const std::uint8_t* data, std::size_t size)
{
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out)
        return false;
    const bool written = std::fwrite(data, 1, size, out) == size;
    return std::fclose(out) == 0 && written;
}

} // namespace fuzzsupport

#endif
