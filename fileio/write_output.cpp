#include "write_output.h"

#include "error_text.h"
#include "platform.h"
#include "replace_file.h"
#include "standard_streams.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace fileio {

namespace {

constexpr char kRefused[] = "not a regular file, character device or FIFO; left untouched";
constexpr char kTheImage[] = "it is the image being read, left untouched";

// Writes everything to an open descriptor, on through short writes.
bool writeAll(int fd, const std::uint8_t* data, std::size_t length, int* err)
{
    while (length > 0) {
        const std::ptrdiff_t wrote = platform::writeSome(fd, data, length);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0) {
            *err = wrote < 0 ? errno : EIO;
            return false;
        }
        data += wrote;
        length -= static_cast<std::size_t>(wrote);
    }
    return true;
}

// Every piece of `source` to `fd`.
Delivery pour(ByteSource& source, int fd, std::string* reason)
{
    for (;;) {
        std::span<const std::uint8_t> piece;
        if (!source.next(&piece))
            return Delivery::SourceFailed;
        if (piece.empty())
            return Delivery::Written;
        int err = 0;
        if (!writeAll(fd, piece.data(), piece.size(), &err)) {
            *reason = errorText(err);
            return Delivery::Failed;
        }
    }
}

// Standard output or standard error, or another descriptor a name stands
// for, as they are.
Delivery toStream(int fd, ByteSource& source, std::string* reason)
{
    if (isTerminal(fd))
        return Delivery::Terminal;
    // What the program printed there before goes first.
    if (fd == 1 || fd == 2) {
        std::fflush(fd == 1 ? stdout : stderr);
        platform::binaryMode(fd);
    }
    return pour(source, fd, reason);
}

// A descriptor a name stands for (/dev/fd/N): open or not, it is what the
// name means; it is never created or replaced, and the image (read-only
// anyway) is refused.
Delivery toDescriptor(int fd, ByteSource& source, const d88::FileIdentity* protect, std::string* reason)
{
    d88::FileIdentity open;
    int err = 0;
    switch (platform::descriptorIdentity(fd, &open, &err)) {
    case Sameness::Different:
        *reason = errorText(EBADF);
        return Delivery::Failed;
    case Sameness::Unknown:
        *reason = errorText(err);
        return Delivery::Failed;
    case Sameness::Same:
        break;
    }
    if (protect && open == *protect) {
        *reason = kTheImage;
        return Delivery::Failed;
    }
    return toStream(fd, source, reason);
}

// A device or FIFO: opened for writing as it is, no create, no truncation.
Delivery writeThrough(const char* name, ByteSource& source, std::string* reason)
{
    const int fd = platform::openExisting(name);
    if (fd < 0) {
        *reason = errorText(errno);
        return Delivery::Failed;
    }
    Delivery delivery = isTerminal(fd) ? Delivery::Terminal : pour(source, fd, reason);
    if (!platform::closeDescriptor(fd) && delivery == Delivery::Written) {
        delivery = Delivery::Failed;
        *reason = errorText(errno);
    }
    return delivery;
}

Delivery replace(const char* name, ByteSource& source, const d88::FileIdentity* protect, std::string* reason)
{
    bool sourceFailed = false;
    if (replaceFileFrom(name, source, protect, reason, &sourceFailed))
        return Delivery::Written;
    return sourceFailed ? Delivery::SourceFailed : Delivery::Failed;
}

} // namespace

Delivery writeOutput(const char* name, ByteSource& source, const d88::FileIdentity* protect,
                     std::string* reason)
{
    if (!name || std::strcmp(name, "-") == 0)
        return toStream(1, source, reason);
    if (const int fd = descriptorNamed(name); fd >= 0)
        return toDescriptor(fd, source, protect, reason);
    d88::FileIdentity there;
    int err = 0;
    const platform::NameKind kind = platform::lookUp(name, &there, &err);
    if (kind == platform::NameKind::Failed) {
        *reason = errorText(err);
        return Delivery::Failed;
    }
    // Nothing there, or a link to nothing: a new file takes the name.
    if (kind == platform::NameKind::Missing)
        return replace(name, source, protect, reason);
    // /dev/stdout and its kind by another way (a link of the user's to a
    // pipe's name) lead to what a standard stream is open on: writing to
    // the stream is what they mean, whatever that is, and replacing the name
    // would replace a name in /dev or /proc instead. The image is never
    // written so: it is replaced by nothing (replaceFileFrom refuses).
    if (!(protect && there == *protect)) {
        const int stream = standardStreamOf(there);
        if (stream >= 0)
            return toStream(stream, source, reason);
    }
    if (kind == platform::NameKind::Device)
        return writeThrough(name, source, reason);
    if (kind == platform::NameKind::Regular)
        return replace(name, source, protect, reason);
    *reason = kRefused;
    return Delivery::Failed;
}

} // namespace fileio
