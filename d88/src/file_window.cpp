#include "file_window.h"

#include "native_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace d88 {

namespace {

// At most this much of the file is held: enough for the longest walk a
// crafted track can make over empty records (65535 records of 16 bytes) and
// then some, whatever the file's size.
constexpr std::int64_t kCapacity = 2 * 1024 * 1024;
// A fresh window reads at least this much; a growing one at least doubles.
constexpr std::int64_t kFirstRead = 8 * 1024;
constexpr std::int64_t kMinGrowth = 64 * 1024;
// The buffer starts at this size and doubles as the window grows.
constexpr std::int64_t kFirstCapacity = 64 * 1024;

} // namespace

std::unique_ptr<FileWindow> FileWindow::open(const char* path, int* error)
{
    const NativeFile native = openNativeFile(path);
    *error = native.error;
    if (!native.file)
        return nullptr;
    std::unique_ptr<FileWindow> window(new (std::nothrow) FileWindow(native));
    if (!window) {
        std::fclose(native.file);
        *error = ENOMEM;
    } else if (window->size_ <= kCapacity) {
        // Whole, once, between two looks at its stamp; after a read that failed, as it is asked for.
        window->readMore(window->size_);
        if ((*error = window->cutShort_ || !window->error_ ? window->changed() : 0) != 0)
            window.reset();
        else if (!(window->whole_ = !window->error_))
            window->length_ = window->error_ = 0;
    }
    return window;
}

FileWindow::FileWindow(const NativeFile& native)
    : file_(native.file), size_(native.size), identity_(native.identity), stamp_(native.stamp)
{
}

int FileWindow::changed()
{
    if (cutShort_ || whole_)
        return whole_ ? 0 : kErrorImageChanged;
    FileStamp now;
    errno = 0;
    if (!stampNativeFile(file_, &now))
        return errno ? errno : EIO;
    return now == stamp_ ? 0 : kErrorImageChanged;
}

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
    if (pos >= spareStart_ && want <= spareStart_ + spareLength_) {
        swapSpare();
    } else if (pos < start_ || want > end) {
        // A view a little ahead of the window, within what it may hold,
        // grows it over the gap: a walk that skips from track to track reads
        // on in one go rather than starting afresh at every track, while a
        // jump far ahead (to the next disk) still starts afresh.
        if (length_ > 0 && pos >= start_ && pos - end <= std::max(length_, kMinGrowth) &&
            want - start_ <= kCapacity) {
            readMore(start_ +
                     std::min(kCapacity, std::max({want - start_, 2 * length_, length_ + kMinGrowth})));
        } else {
            swapSpare();
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

void FileWindow::swapSpare()
{
    std::swap(bytes_, spareBytes_);
    std::swap(capacity_, spareCapacity_);
    std::swap(start_, spareStart_);
    std::swap(length_, spareLength_);
}

void FileWindow::fail(int error)
{
    if (error_ == 0)
        error_ = error ? error : EIO;
}

// Reads on from the window's end up to file offset `end` (never past the
// file's size). A failed seek is never followed by a read.
void FileWindow::readMore(std::int64_t end)
{
    const std::int64_t from = start_ + length_;
    end = std::min(end, size_);
    if (end <= from || !reserve(end - start_))
        return;
    errno = 0;
    if (streamPos_ != from && !seekNativeFile(file_, from)) {
        fail(errno);
        streamPos_ = -1;
        return;
    }
    const auto want = static_cast<std::size_t>(end - from);
    errno = 0;
    const std::size_t got = std::fread(bytes_.get() + length_, 1, want, file_);
    length_ += static_cast<std::int64_t>(got);
    streamPos_ = from + static_cast<std::int64_t>(got);
    if (got < want && std::ferror(file_)) {
        fail(errno);
        streamPos_ = -1;
        std::clearerr(file_);
    } else if (got < want) {
        // The end of the file before the size it had at the open: it was
        // cut (or replaced) while being read. What follows is not the image
        // that was opened, and no missing sector either.
        cutShort_ = true;
        fail(kErrorImageChanged);
        streamPos_ = -1;
        std::clearerr(file_);
    }
}

// Grows the buffer to hold `bytes` from the window's start. False, with
// ENOMEM recorded and the bytes held kept, when memory runs out.
bool FileWindow::reserve(std::int64_t bytes)
{
    if (bytes <= capacity_)
        return true;
    // Never more than the file is held: a small image asks for a buffer of its
    // size (a large one may be granted whole huge pages, more than it holds).
    const std::int64_t capacity =
        std::min({kCapacity, size_, std::max({bytes, 2 * capacity_, kFirstCapacity})});
    std::int64_t granted = 0;
    FileBuffer grown = takeFileBuffer(capacity, &granted);
    if (!grown) {
        fail(ENOMEM);
        return false;
    }
    if (length_ > 0)
        std::memcpy(grown.get(), bytes_.get(), static_cast<std::size_t>(length_));
    bytes_ = std::move(grown);
    capacity_ = std::min({kCapacity, size_, granted});
    return true;
}

} // namespace d88
