// A read-only file seen through a window of its bytes held in memory.
//
// Record walks ask for a few bytes at a time, always moving forward from a
// track's start. The window grows while walks move on, also over what they
// skip (so a walk that returns to the same track start finds its bytes still
// there), up to a fixed cap, and starts afresh elsewhere otherwise; a file within the cap is read
// whole at the open. It holds file bytes only, never anything parsed from them, and its memory
// does not depend on the file's size.
#ifndef D88_FILE_WINDOW_H
#define D88_FILE_WINDOW_H

#include "d88/d88_image.h"
#include "native_file.h"

#include <cstdint>
#include <cstdio>
#include <memory>

namespace d88 {

class FileWindow {
  public:
    // The largest single request: the largest sector data, 65535 bytes.
    static constexpr std::int32_t kMaxView = 64 * 1024;

    // Opens `path` for binary reading; nullptr, with the reason in `error`
    // (an errno value or kErrorNotRegularFile), when it is not a regular file or cannot be opened, or
    // kErrorImageChanged when a file read whole changed meanwhile. Never throws: a window that cannot
    // be allocated is refused with ENOMEM.
    static std::unique_ptr<FileWindow> open(const char* path, int* error);
    ~FileWindow();
    FileWindow(const FileWindow&) = delete;
    FileWindow& operator=(const FileWindow&) = delete;

    // Makes the `len` (1..kMaxView) bytes at `pos` available and points `out`
    // at them. Returns how many are available: fewer at the end of the file,
    // 0 past it or when reading fails.
    std::int32_t view(std::int64_t pos, std::int32_t len, const std::uint8_t** out)
    {
        // Most requests of a walk fall inside the window: keep that path short.
        if (pos >= start_ && len > 0 && len <= kMaxView && pos + len <= start_ + length_) {
            *out = bytes_.get() + (pos - start_);
            return len;
        }
        return viewOutside(pos, len, out);
    }

    // The first error since the file was opened or the error was cleared:
    // an errno value from a seek or read that failed, or ENOMEM when the
    // window could not grow. 0 when none. The views stay safe either way;
    // they only deliver fewer bytes.
    int error() const { return error_; }
    void clearError() { error_ = 0; }
    // Records an error met outside the window's own reads (memory for what
    // is built from its bytes), as the first error if none came before.
    void noteError(int error) { fail(error); }

    const FileIdentity& identity() const { return identity_; }
    std::int64_t size() const { return size_; }

    // kErrorImageChanged when the file ended before the size it had at the
    // open, or when its stamp differs now from the one at the open; an errno
    // value when the system cannot say; else 0. Unlike error(), nothing
    // clears it. Always 0, with no look, for a file read whole.
    int changed();

  private:
    FileWindow(const NativeFile& native);
    void fail(int error);
    std::int32_t viewOutside(std::int64_t pos, std::int32_t len, const std::uint8_t** out);
    void readMore(std::int64_t end);
    void swapSpare();
    bool reserve(std::int64_t bytes);

    std::FILE* file_;
    std::int64_t size_;          // file size when opened; nothing past it is read
    std::int64_t streamPos_ = 0; // where the stream stands, -1 when unknown
    FileBuffer bytes_;
    std::int64_t capacity_ = 0; // bytes_ grows on demand, up to a fixed cap
    std::int64_t start_ = 0;    // file offset of bytes_[0]
    std::int64_t length_ = 0;   // bytes held
    // What the window held before it last started afresh: a walk that goes
    // back there (to a disk's first track after a look at where the next disk
    // begins) finds it still held.
    FileBuffer spareBytes_;
    std::int64_t spareCapacity_ = 0, spareStart_ = 0, spareLength_ = 0;
    int error_ = 0;
    bool cutShort_ = false; // the file ended before size_
    bool whole_ = false;    // read whole at the open, as one state, and never again
    FileIdentity identity_;
    FileStamp stamp_; // as at the open
};

} // namespace d88

#endif
