#include "export_source.h"

#include <algorithm>
#include <cerrno>
#include <new>

namespace d88info {

bool ExportSource::next(std::span<const std::uint8_t>* piece)
{
    const std::int64_t left = exported_.length - done_;
    if (left <= 0) {
        *piece = {};
        return true;
    }
    if (exported_.bytes) {
        *piece = {exported_.bytes.get() + done_, static_cast<std::size_t>(left)};
        done_ = exported_.length;
        return true;
    }
    if (!buffer_)
        buffer_.reset(new (std::nothrow) std::uint8_t[kPiece]);
    if (!buffer_) {
        error_ = ENOMEM;
        return false;
    }
    const auto size = static_cast<std::size_t>(std::min(left, kPiece));
    std::int64_t got = 0;
    const d88::Outcome read = image_.readFileBytes(exported_.from + done_, {buffer_.get(), size}, &got);
    if (read.failed() || got != static_cast<std::int64_t>(size)) {
        // Reads stop at the size the file had at the open: short without
        // an error is a part asked for past it.
        error_ = read.failed() ? read.error : EIO;
        return false;
    }
    done_ += got;
    *piece = {buffer_.get(), size};
    return true;
}

} // namespace d88info
