#include "export_source.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace d88info {

bool ExportSource::fill(std::int64_t size)
{
    if (!exported_.plain) {
        std::int64_t got = 0;
        const d88::Outcome read = map_.image().readFileBytes(
            exported_.from + done_, {buffer_.get(), static_cast<std::size_t>(size)}, &got);
        // Reads stop at the size the file had at the open: short without an
        // error is a part asked for past it.
        error_ = read.failed() ? read.error : got != size ? EIO : 0;
        return error_ == 0;
    }
    const std::int64_t sectorSize = d88::nominalSectorSize(exported_.sizeCode);
    for (std::int64_t at = 0; at < size; at += sectorSize) {
        const std::int64_t position = (done_ + at) / sectorSize;
        const int track = static_cast<int>(position / exported_.perTrack);
        const int r = exported_.lowR + static_cast<int>(position % exported_.perTrack);
        const std::span<std::uint8_t> sector(buffer_.get() + at, static_cast<std::size_t>(sectorSize));
        d88::Record record;
        std::int32_t copied = 0;
        const d88::Outcome read =
            map_.findSector(d88::placeOnTrack(track, static_cast<std::uint8_t>(r),
                                              static_cast<std::uint8_t>(exported_.sizeCode)),
                            sector, &record, &copied);
        if (read.failed()) {
            error_ = read.error;
            return false;
        }
        std::fill(sector.begin() + copied, sector.end(), std::uint8_t{0});
        holes_[static_cast<std::size_t>(position)] = copied < sectorSize;
    }
    return true;
}

bool ExportSource::next(std::span<const std::uint8_t>* piece)
{
    const std::int64_t left = exported_.length - done_;
    *piece = {};
    if (left <= 0)
        return true;
    if (!buffer_) {
        buffer_.reset(new (std::nothrow) std::uint8_t[kPiece]);
        try {
            if (exported_.plain)
                holes_.assign(static_cast<std::size_t>((exported_.lastTrack + 1) * exported_.perTrack),
                              false);
        } catch (const std::bad_alloc&) {
            buffer_.reset();
        }
        if (!buffer_) {
            error_ = ENOMEM;
            return false;
        }
        if (exported_.plain && map_.loadDisk(exported_.disk).failed()) {
            error_ = EIO;
            return false;
        }
    }
    // Whole sectors a piece: kPiece is a multiple of every sector size.
    const std::int64_t size = std::min(left, kPiece);
    if (!fill(size))
        return false;
    done_ += size;
    *piece = {buffer_.get(), static_cast<std::size_t>(size)};
    return true;
}

std::string ExportSource::holes() const
{
    constexpr int kShownHoles = 24;
    const int perTrack = exported_.perTrack;
    const int tracks = perTrack > 0 ? static_cast<int>(holes_.size()) / perTrack : 0;
    const auto hole = [&](int t, int i) { return holes_[static_cast<std::size_t>(t * perTrack + i)]; };
    const auto empty = [&](int t) {
        for (int i = 0; i < perTrack; ++i)
            if (!hole(t, i))
                return false;
        return true;
    };
    std::string out;
    int shown = 0, more = 0;
    // "4" or "4-9". Built by appending: GCC 12 at -O3 warns falsely about
    // "-" + std::to_string(n).
    const auto span = [](int first, int last) {
        std::string s = std::to_string(first);
        if (last > first)
            s.append(1, '-').append(std::to_string(last));
        return s;
    };
    const auto name = [&](const std::string& range) {
        if (shown++ < kShownHoles)
            out += (out.empty() ? "" : ", ") + range;
        else
            ++more;
    };
    for (int t = 0; t < tracks;) {
        if (empty(t)) {
            int last = t;
            while (last + 1 < tracks && empty(last + 1))
                ++last;
            name((last > t ? "tracks " : "track ") + span(t, last));
            t = last + 1;
            continue;
        }
        for (int i = 0; i < perTrack;) {
            if (!hole(t, i)) {
                ++i;
                continue;
            }
            int last = i;
            while (last + 1 < perTrack && hole(t, last + 1))
                ++last;
            name("track " + std::to_string(t) + (last > i ? " sectors " : " sector ") +
                 span(exported_.lowR + i, exported_.lowR + last));
            i = last + 1;
        }
        ++t;
    }
    if (out.empty())
        return out;
    if (more > 0)
        out.append(" and ").append(std::to_string(more)).append(" more");
    const auto missing = std::count(holes_.begin(), holes_.end(), true);
    return "zeros written for " + std::to_string(missing) + " of " + std::to_string(holes_.size()) +
           " sectors, missing or stored short: " + out;
}

} // namespace d88info
