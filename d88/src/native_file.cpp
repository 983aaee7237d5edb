#include "native_file.h"

#include <cerrno>
#include <limits>
#include <new>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <memory>
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace d88 {

#ifdef _WIN32

// The file's identity from its handle: the 128-bit file ID where the file
// system has one (ReFS numbers files past 64 bits), else the volume serial
// number and the 64-bit file index. The ID's upper half is folded into the
// device so that two files of one volume never share an identity, and on a
// file system whose IDs fit 64 bits (NTFS) the result is the file index and
// the volume serial number as the older call gives them.
bool handleIdentity(void* handle, FileIdentity* identity)
{
    FILE_ID_INFO id;
    if (GetFileInformationByHandleEx(handle, FileIdInfo, &id, sizeof id)) {
        std::uint64_t low = 0, high = 0;
        for (int i = 7; i >= 0; --i) {
            low = (low << 8) | id.FileId.Identifier[i];
            high = (high << 8) | id.FileId.Identifier[i + 8];
        }
        identity->device = (id.VolumeSerialNumber & 0xFFFFFFFFu) ^ high;
        identity->file = low;
        return true;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info))
        return false;
    identity->device = info.dwVolumeSerialNumber;
    identity->file = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

NativeFile openNativeFile(const char* name)
{
    NativeFile out;
    // Names are UTF-8 and reach the wide-character functions, converted into
    // memory got without throwing: the reader never throws.
    const int length = MultiByteToWideChar(CP_UTF8, 0, name, -1, nullptr, 0);
    if (length <= 0) {
        out.error = EINVAL;
        return out;
    }
    const std::unique_ptr<wchar_t[]> path(new (std::nothrow) wchar_t[static_cast<std::size_t>(length)]);
    if (!path) {
        out.error = ENOMEM;
        return out;
    }
    MultiByteToWideChar(CP_UTF8, 0, name, -1, path.get(), length);
    std::FILE* file = _wfopen(path.get(), L"rb");
    if (!file) {
        out.error = errno ? errno : EIO;
        return out;
    }
    struct _stat64 st;
    if (_fstat64(_fileno(file), &st) != 0) {
        out.error = errno ? errno : EIO;
    } else if ((st.st_mode & _S_IFMT) != _S_IFREG) {
        out.error = kErrorNotRegularFile;
    } else if (!handleIdentity(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))), &out.identity)) {
        out.error = EIO;
    }
    if (!out.error && !stampNativeFile(file, &out.stamp))
        out.error = errno ? errno : EIO;
    if (out.error) {
        std::fclose(file);
        return out;
    }
    std::setvbuf(file, nullptr, _IONBF, 0);
    out.file = file;
    out.size = st.st_size;
    return out;
}

// The size, the last write time and the change time, from the handle.
bool stampNativeFile(std::FILE* file, FileStamp* stamp)
{
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    FILE_BASIC_INFO info;
    LARGE_INTEGER size;
    if (!GetFileInformationByHandleEx(handle, FileBasicInfo, &info, sizeof info) ||
        !GetFileSizeEx(handle, &size)) {
        errno = EIO;
        return false;
    }
    *stamp = {size.QuadPart, {info.LastWriteTime.QuadPart, 0, info.ChangeTime.QuadPart, 0}};
    return true;
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

FileStamp stampOf(const struct stat& st)
{
#ifdef __APPLE__
    const struct timespec &m = st.st_mtimespec, &c = st.st_ctimespec;
#else
    const struct timespec &m = st.st_mtim, &c = st.st_ctim;
#endif
    return {static_cast<std::int64_t>(st.st_size), {m.tv_sec, m.tv_nsec, c.tv_sec, c.tv_nsec}};
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
    out.stamp = stampOf(st);
    return out;
}

bool stampNativeFile(std::FILE* file, FileStamp* stamp)
{
    struct stat st;
    if (fstat(fileno(file), &st) != 0)
        return false;
    *stamp = stampOf(st);
    return true;
}

bool seekNativeFile(std::FILE* file, std::int64_t pos)
{
    if (pos < 0 || pos > std::numeric_limits<off_t>::max())
        return false;
    return fseeko(file, static_cast<off_t>(pos), SEEK_SET) == 0;
}

#endif

#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
// Past what a fuzzer's inputs reach: smaller buffers come from the heap,
// which a process that opens many files reuses.
constexpr std::int64_t kMappedBuffer = 256 * 1024;
// A large buffer is asked for as whole huge pages of this size, aligned to it.
constexpr std::size_t kHugePage = 2 * 1024 * 1024;
#endif

void BufferRelease::operator()(std::uint8_t* bytes) const
{
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
    if (mapped != 0) {
        munmap(region, mapped); // all of a mapping of our own: nothing to fail or to tell
        return;
    }
#endif
    delete[] bytes;
}

FileBuffer takeFileBuffer(std::int64_t bytes, std::int64_t* granted)
{
    auto size = static_cast<std::size_t>(bytes);
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
    if (bytes >= kMappedBuffer) {
        // Every page a process touches first costs it a fault and, on a
        // virtual machine, microseconds more; one huge page costs that once.
        // The buffer takes all of the huge pages it spans; the mapping has
        // one more, unused, to align it.
        size = (size + kHugePage - 1) / kHugePage * kHugePage;
        const std::size_t length = size + kHugePage;
        void* mapped = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED)
            return FileBuffer();
        auto* region = static_cast<std::uint8_t*>(mapped);
        std::uint8_t* aligned =
            region + (kHugePage - reinterpret_cast<std::uintptr_t>(mapped) % kHugePage) % kHugePage;
        // Hints, and nothing lost where the system refuses them. The pages the
        // bytes asked for are taken now: in one go where huge pages are
        // given, else one by one, never more than were asked for.
        madvise(aligned, size, MADV_HUGEPAGE);
        madvise(aligned, static_cast<std::size_t>(bytes), MADV_POPULATE_WRITE);
        *granted = static_cast<std::int64_t>(size);
        return FileBuffer(aligned, BufferRelease{length, region});
    }
#endif
    *granted = bytes;
    return FileBuffer(new (std::nothrow) std::uint8_t[size]);
}

} // namespace d88
