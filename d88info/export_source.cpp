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
    const std::int64_t got = image_.readFileBytes(exported_.from + done_, {buffer_.get(), size});
    if (got != static_cast<std::int64_t>(size)) {
        // Short without an error: the file was cut while being read.
        error_ = image_.ioError() ? image_.ioError() : EIO;
        return false;
    }
    done_ += got;
    *piece = {buffer_.get(), size};
    return true;
}

} // namespace d88info
