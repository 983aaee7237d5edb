#include "verdict.h"

#include <cstdint>

namespace d88info {

bool looksLikeD88(d88::D88Image& image, std::string* reason)
{
    const std::int64_t fileSize = image.fileSize();
    if (image.diskCount() == 0 || !image.selectDisk(0)) {
        *reason = "the file is " + std::to_string(fileSize) + " bytes, shorter than a disk header (" +
                  std::to_string(d88::kDiskHeaderSize) + " bytes)";
        return false;
    }
    const std::int32_t size = image.diskSize();
    if (size < 0 || (size > 0 && size < d88::kDiskHeaderSize)) {
        *reason = "its disk size field says " + std::to_string(size) + " bytes, less than the disk's own " +
                  std::to_string(d88::kDiskHeaderSize) + "-byte header";
        return false;
    }
    // The table ends where the first track begins (some images carry fewer
    // than 164 entries); entries past that are sector data. A disk size of 0
    // bounds nothing, so the file does.
    const std::int64_t limit = size > 0 ? size : fileSize;
    int named = 0;
    std::int64_t firstTrack = INT64_MAX;
    for (int t = 0; t < d88::kMaxTracks && d88::kTrackTableOffset + 4 * t < firstTrack; ++t) {
        const std::int32_t offset = image.trackOffset(t);
        if (offset == 0)
            continue;
        ++named;
        if (offset > 0 && offset <= limit && offset < firstTrack)
            firstTrack = offset;
    }
    if (named == 0)
        return true; // an unformatted disk: a header and nothing else
    if (firstTrack == INT64_MAX) {
        *reason = "none of the " + std::to_string(named) +
                  " track offsets in its table lies within its disk size (" + std::to_string(size) +
                  " bytes)";
        return false;
    }
    if (firstTrack < d88::kTrackTableOffset + 4) {
        *reason = "its first track would start at offset " + std::to_string(firstTrack) +
                  ", inside the disk header's fixed fields";
        return false;
    }
    if (firstTrack > fileSize) {
        *reason = "its first track would start at offset " + std::to_string(firstTrack) +
                  ", past the end of the file (" + std::to_string(fileSize) + " bytes)";
        return false;
    }
    return true;
}

} // namespace d88info
