#include "file_window.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <system_error>

namespace d88 {

namespace {

// At most this much of the file is held: enough for the longest walk a
// crafted track can make over empty records (65535 records of 16 bytes) and
// then some, whatever the file's size.
constexpr std::int64_t kCapacity = 2 * 1024 * 1024;
// A fresh window reads at least this much; a growing one at least doubles.
constexpr std::int64_t kFirstRead = 4 * 1024;
constexpr std::int64_t kMinGrowth = 64 * 1024;
// The buffer starts at this size and doubles as the window grows.
constexpr std::int64_t kFirstCapacity = 64 * 1024;

bool seekTo(std::FILE* file, std::int64_t pos, int whence)
{
#ifdef _WIN32
    return _fseeki64(file, pos, whence) == 0;
#else
    if (pos > std::numeric_limits<off_t>::max())
        return false;
    return fseeko(file, static_cast<off_t>(pos), whence) == 0;
#endif
}

// Names go to the system as they are on POSIX systems; on Windows they are
// UTF-8 and reach the wide-character functions.
std::filesystem::path nativePath(const char* name)
{
#ifdef _WIN32
    const std::string bytes(name);
    return std::filesystem::path(std::u8string(bytes.begin(), bytes.end()));
#else
    return std::filesystem::path(name);
#endif
}

std::FILE* openForReading(const char* name)
{
#ifdef _WIN32
    return _wfopen(nativePath(name).c_str(), L"rb");
#else
    return std::fopen(name, "rb");
#endif
}

// Directories, FIFOs and devices are not images: opening a FIFO would block
// and a directory "opens" on some systems only to fail on the first read.
bool namesNonRegularFile(const char* name)
{
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(nativePath(name), ec);
    if (ec)
        return false; // let the open itself report what is wrong
    return status.type() != std::filesystem::file_type::regular;
}

std::int64_t tell(std::FILE* file)
{
#ifdef _WIN32
    return _ftelli64(file);
#else
    return ftello(file);
#endif
}

} // namespace

std::unique_ptr<FileWindow> FileWindow::open(const char* path)
{
    if (namesNonRegularFile(path))
        return nullptr;
    std::FILE* file = openForReading(path);
    if (!file)
        return nullptr;
    // The window does the buffering; an unbuffered stream reads straight
    // into it with one system call per read.
    std::setvbuf(file, nullptr, _IONBF, 0);
    std::int64_t size = -1;
    if (seekTo(file, 0, SEEK_END))
        size = tell(file);
    if (size < 0) {
        std::fclose(file);
        return nullptr;
    }
    return std::unique_ptr<FileWindow>(new FileWindow(file, size));
}

FileWindow::FileWindow(std::FILE* file, std::int64_t size) : file_(file), size_(size), streamPos_(-1) {}

FileWindow::~FileWindow()
{
    std::fclose(file_); // read-only: nothing can be lost here
}

std::int32_t FileWindow::viewOutside(std::int64_t pos, std::int32_t len, const std::uint8_t** out)
{
    if (pos < 0 || pos >= size_ || len <= 0 || len > kMaxView)
        return 0;
    const std::int64_t want = std::min(pos + len, size_);
    const std::int64_t end = start_ + length_;
    if (pos < start_ || want > end) {
        if (length_ > 0 && pos >= start_ && pos <= end && want - start_ <= kCapacity) {
            readMore(start_ +
                     std::min(kCapacity, std::max({want - start_, 2 * length_, length_ + kMinGrowth})));
        } else {
            start_ = pos;
            length_ = 0;
            readMore(pos + std::max<std::int64_t>(len, kFirstRead));
        }
    }
    const std::int64_t available = start_ + length_ - pos;
    if (available <= 0)
        return 0;
    *out = bytes_.get() + (pos - start_);
    return static_cast<std::int32_t>(std::min<std::int64_t>(available, len));
}

// Reads on from the window's end up to file offset `end` (never past the
// file's size). A failed seek is never followed by a read.
void FileWindow::readMore(std::int64_t end)
{
    const std::int64_t from = start_ + length_;
    end = std::min(end, size_);
    if (end <= from)
        return;
    if (streamPos_ != from && !seekTo(file_, from, SEEK_SET)) {
        failed_ = true;
        streamPos_ = -1;
        return;
    }
    reserve(end - start_);
    const auto want = static_cast<std::size_t>(end - from);
    const std::size_t got = std::fread(bytes_.get() + length_, 1, want, file_);
    length_ += static_cast<std::int64_t>(got);
    streamPos_ = from + static_cast<std::int64_t>(got);
    if (got < want && std::ferror(file_)) {
        failed_ = true;
        streamPos_ = -1;
        std::clearerr(file_);
    }
}

void FileWindow::reserve(std::int64_t bytes)
{
    if (bytes <= capacity_)
        return;
    const std::int64_t capacity = std::min(kCapacity, std::max({bytes, 2 * capacity_, kFirstCapacity}));
    auto grown = std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(capacity));
    if (length_ > 0)
        std::memcpy(grown.get(), bytes_.get(), static_cast<std::size_t>(length_));
    bytes_ = std::move(grown);
    capacity_ = capacity;
}

} // namespace d88
