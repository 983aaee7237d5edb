#include "disk_facts.h"

#include <climits>
#include <cstdio>

namespace d88info {

bool gatherDisk(d88::D88Image& image, int index, DiskFacts* facts)
{
    if (!image.selectDisk(index))
        return false;
    facts->index = index;
    facts->fileOffset = image.diskOffset(index);
    facts->name = image.diskName();
    facts->mediaType = image.mediaType();
    facts->diskSize = image.diskSize();
    facts->tracks.clear();

    // The table ends at the first entry that lies at or past the lowest track
    // start seen so far.
    std::int64_t firstTrackStart = INT64_MAX;
    int entries = 0;
    for (; entries < d88::kMaxTracks; ++entries) {
        if (d88::kTrackTableOffset + 4 * entries >= firstTrackStart)
            break;
        const std::int32_t offset = image.trackOffset(entries);
        if (image.trackPresent(entries) && offset < firstTrackStart)
            firstTrackStart = offset;
    }
    facts->tableEntries = entries;

    // Room for the usual tracks first; a track that says it holds more gets
    // room for as many records as a sector count can announce.
    SectorId ids[256];
    for (int t = 0; t < entries; ++t) {
        if (!image.trackPresent(t))
            continue;
        TrackFacts track{t, image.trackOffset(t), {}};
        bool more = false;
        const std::int32_t got = image.readSectorIds(t, ids, &more);
        if (more) {
            track.ids.resize(static_cast<std::size_t>(d88::kMaxRecordsPerTrack));
            track.ids.resize(static_cast<std::size_t>(image.readSectorIds(t, track.ids)));
        } else {
            track.ids.assign(ids, ids + got);
        }
        facts->tracks.push_back(std::move(track));
    }
    return true;
}

std::string indexRanges(const std::vector<int>& sorted)
{
    std::string out;
    for (std::size_t i = 0; i < sorted.size();) {
        std::size_t j = i;
        while (j + 1 < sorted.size() && sorted[j + 1] == sorted[j] + 1)
            ++j;
        if (!out.empty())
            out += ", ";
        out += std::to_string(sorted[i]);
        if (j > i) {
            out += '-';
            out += std::to_string(sorted[j]);
        }
        i = j + 1;
    }
    return out.empty() ? "none" : out;
}

std::string escapeName(const std::string& raw)
{
    std::string out;
    for (const char ch : raw) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte >= 0x20 && byte < 0x7F && ch != '"' && ch != '\\') {
            out += ch;
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02x", byte);
            out += hex;
        }
    }
    return out;
}

const char* mediaMeaning(int mediaType)
{
    switch (mediaType) {
    case 0x00:
        return "2D";
    case 0x10:
        return "2DD";
    case 0x20:
        return "2HD";
    default:
        return "";
    }
}

} // namespace d88info
