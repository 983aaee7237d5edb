#include "d88/verdict.h"

#include <cstdio>
#include <limits>

namespace d88 {

namespace {

template <class... Values> void say(Verdict* verdict, const char* format, Values... values)
{
    std::snprintf(verdict->reason, sizeof verdict->reason, format, values...);
}

} // namespace

Verdict judgeImage(D88Image& image)
{
    Verdict verdict;
    image.clearIoError();
    const long long fileSize = image.fileSize();
    const bool selected = image.diskCount() > 0 && image.selectDisk(0);
    if ((verdict.readError = image.ioError()) != 0)
        return verdict;
    if (!selected) {
        say(&verdict, "the file is %lld bytes, shorter than a disk header (%d bytes)", fileSize,
            static_cast<int>(kDiskHeaderSize));
        return verdict;
    }
    const std::int32_t size = image.diskSize();
    // The field is unsigned: 2 GiB or more is beyond what an image may hold.
    if (size < 0) {
        say(&verdict, "its disk size field says %lu bytes, 2 GiB or more, past what an image may hold",
            static_cast<unsigned long>(static_cast<std::uint32_t>(size)));
        return verdict;
    }
    if (size > 0 && size < kDiskHeaderSize) {
        say(&verdict, "its disk size field says %ld bytes, less than the disk's own %d-byte header",
            static_cast<long>(size), static_cast<int>(kDiskHeaderSize));
        return verdict;
    }
    const std::int64_t limit = size > 0 ? size : fileSize;
    const std::int32_t entries = image.tableEntries();
    int named = 0;
    std::int64_t firstTrack = std::numeric_limits<std::int64_t>::max();
    for (std::int32_t t = 0; t < entries; ++t) {
        const std::int32_t offset = image.trackOffset(t);
        if (offset == 0)
            continue;
        ++named;
        // An entry into the header names no track: a stray, not a verdict.
        if (offset >= kTrackTableOffset + 4 * (t + 1) && offset <= limit && offset < firstTrack)
            firstTrack = offset;
    }
    verdict.possible = true;
    if (named == 0)
        return verdict; // an unformatted disk: a header and nothing else
    verdict.possible = false;
    if (firstTrack == std::numeric_limits<std::int64_t>::max())
        say(&verdict,
            "none of the %d track offsets in its table lies past its header and within its disk size (%ld "
            "bytes)",
            named, static_cast<long>(size));
    else if (firstTrack > fileSize)
        say(&verdict, "its first track would start at offset %lld, past the end of the file (%lld bytes)",
            static_cast<long long>(firstTrack), fileSize);
    else
        verdict.possible = true;
    return verdict;
}

} // namespace d88
