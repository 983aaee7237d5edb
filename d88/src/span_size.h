// Spans meet the int32 interface: a span longer than an int32 can count is
// taken as the longest that it can.
#ifndef D88_SPAN_SIZE_H
#define D88_SPAN_SIZE_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace d88 {

inline std::int32_t clampedSize(std::size_t size)
{
    return static_cast<std::int32_t>(std::min<std::size_t>(size, std::numeric_limits<std::int32_t>::max()));
}

} // namespace d88

#endif
