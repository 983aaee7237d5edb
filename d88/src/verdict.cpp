#include "d88/verdict.h"

#include <cstdio>
#include <limits>

namespace d88 {

namespace {

template <class... Values> void say(Verdict* verdict, const char* format, Values... values)
{
    std::snprintf(verdict->reason, sizeof verdict->reason, format, values...);
}

// Whether disk `index` starts inside the records of an earlier disk: the
// nearest earlier disk that starts before it and is a disk itself, when its
// size field lies and its records reach past this disk's start. Only a size
// that lies makes the index step into a disk's own records. Failed when a
// read fails.
Outcome startsInside(D88Image& image, std::int32_t index, Verdict* verdict, bool* inside)
{
    *inside = false;
    const std::int64_t at = image.diskOffset(index);
    for (std::int32_t j = index - 1; j >= 0; --j) {
        const std::int64_t from = image.diskOffset(j);
        if (from >= at)
            continue;
        if (const Outcome loaded = image.loadDisk(j); !loaded.done()) {
            if (loaded.failed())
                return loaded;
            continue;
        }
        bool lies = false;
        std::int64_t end = 0;
        if (const Outcome extent = image.diskExtent(&lies, &end); extent.failed())
            return extent;
        if (!lies || end <= at) {
            // The nearest disk before it ends before it starts, or tells
            // its size truthfully: the earlier ones were judged by it.
            return Outcome{};
        }
        std::int32_t track = -1;
        std::int64_t best = -1;
        for (std::int32_t t = 0; t < kMaxTracks; ++t) {
            const std::int64_t start = from + image.trackOffset(t);
            TrackStanding standing = TrackStanding::Absent;
            if (const Outcome told = image.trackStanding(t, &standing); told.failed())
                return told;
            if (standing == TrackStanding::Present && start <= at && start > best) {
                best = start;
                track = t;
            }
        }
        verdict->insideDisk = j;
        verdict->insideTrack = track;
        *inside = true;
        return Outcome{};
    }
    return Outcome{};
}

} // namespace

Verdict judgeDisk(D88Image& image, std::int32_t index)
{
    Verdict verdict;
    const long long fileSize = image.fileSize();
    const Outcome first =
        index < 0 || index >= image.diskCount() ? Outcome::found(false) : image.loadDisk(index);
    if (!first.done()) {
        if ((verdict.readError = first.error) != 0)
            return verdict;
        if (index == 0)
            say(&verdict, "the file is %lld bytes, shorter than a disk header (%d bytes)", fileSize,
                static_cast<int>(kDiskHeaderSize));
        else
            say(&verdict, "%s", "its header cannot be read");
        return verdict;
    }
    bool inside = false;
    if (const Outcome looked = startsInside(image, index, &verdict, &inside); looked.failed()) {
        verdict.readError = looked.error;
        return verdict;
    }
    const Outcome selected = image.loadDisk(index);
    if ((verdict.readError = selected.error) != 0)
        return verdict;
    if (inside) {
        say(&verdict, "it starts inside disk %d's track %d (disk %d's size field lies)",
            static_cast<int>(verdict.insideDisk), static_cast<int>(verdict.insideTrack),
            static_cast<int>(verdict.insideDisk));
        return verdict;
    }
    if (!selected.done()) {
        say(&verdict, "%s", "its header cannot be read");
        return verdict;
    }
    const auto size = static_cast<std::uint32_t>(image.diskSize());
    bool lies = false;
    std::int64_t end = 0;
    if ((verdict.readError = image.diskExtent(&lies, &end).error) != 0)
        return verdict;
    if (!lies && size != 0 && size < static_cast<std::uint32_t>(kDiskHeaderSize)) {
        say(&verdict, "its disk size field says %lu bytes, less than the disk's own %d-byte header",
            static_cast<unsigned long>(size), static_cast<int>(kDiskHeaderSize));
        return verdict;
    }
    const std::int64_t base = image.diskOffset(index);
    const std::int64_t limit = !lies && size > 0 ? static_cast<std::int64_t>(size) : fileSize - base;
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
            "none of the %d track offsets in its table lies past its header and within its disk size (%lu "
            "bytes)",
            named, static_cast<unsigned long>(size));
    else if (base + firstTrack > fileSize)
        say(&verdict, "its first track would start at offset %lld, past the end of the file (%lld bytes)",
            static_cast<long long>(base + firstTrack), fileSize);
    else
        verdict.possible = true;
    return verdict;
}

Verdict judgeImage(D88Image& image)
{
    Verdict first = judgeDisk(image, 0);
    for (std::int32_t index = 1; !first.possible && first.readError == 0 && index < image.diskCount();
         ++index) {
        const Verdict other = judgeDisk(image, index);
        if (other.readError != 0 || other.possible) {
            first.readError = other.readError;
            first.possible = other.possible;
            first.reason[0] = '\0';
        }
    }
    if (first.readError != 0)
        return first;
    if (const Outcome selected = image.loadDisk(0); selected.failed())
        first.readError = selected.error;
    return first;
}

} // namespace d88
