// The image file as the system hands it over: opened read-only without
// blocking, then checked on the open descriptor (not on the name, which may
// meanwhile name something else) to be a regular file, whose size and
// identity are learned from the same descriptor.
#ifndef D88_NATIVE_FILE_H
#define D88_NATIVE_FILE_H

#include "d88/d88_image.h"

#include <cstdint>
#include <cstdio>
#include <memory>

namespace d88 {

// What tells a file rewritten since it was looked at: its size, the time its bytes last changed
// (which its writer may set back) and the time its bytes or attributes did, which the system
// alone sets. Writes within one tick of the file system's clock, or through a shared mapping to
// pages already written, may keep all three.
struct FileStamp {
    std::int64_t size = 0;
    std::int64_t times[4] = {}; // bytes, then bytes or attributes: seconds, nanoseconds
    friend constexpr bool operator==(const FileStamp&, const FileStamp&) = default;
};

struct NativeFile {
    std::FILE* file = nullptr; // unbuffered; nullptr when the open failed
    std::int64_t size = 0;
    FileStamp stamp; // as at the open
    FileIdentity identity;
    int error = 0; // why the open failed: an errno value or kErrorNotRegularFile
};

NativeFile openNativeFile(const char* name);

// The open file's stamp now; false with errno set when the system cannot say.
bool stampNativeFile(std::FILE* file, FileStamp* stamp);

// Seeks from the start; false (and nothing moved) when it cannot.
bool seekNativeFile(std::FILE* file, std::int64_t pos);

// Memory for a file's bytes, at least `bytes` of it; `granted` is how much.
// Where the system can, a large buffer is whole huge pages whose first part
// is taken at once: a page first touched by the read that fills it, or by the
// walk that reads it, costs a fault of its own (and on a virtual machine some
// microseconds more), and those cost more than the read.
struct BufferRelease {
    std::size_t mapped = 0;         // the length of a mapping; 0 for new[]
    std::uint8_t* region = nullptr; // where that mapping starts
    void operator()(std::uint8_t* bytes) const;
};
using FileBuffer = std::unique_ptr<std::uint8_t[], BufferRelease>;
FileBuffer takeFileBuffer(std::int64_t bytes, std::int64_t* granted); // empty when memory runs out

} // namespace d88

#endif
