#include "disk_facts.h"
#include "recognition.h"
#include "report.h"

#include <algorithm>
#include <map>
#include <string>

namespace d88info {

namespace {

// The usual media type for a geometry: high density when a track holds more
// than a double-density track can (about 6,250 bytes), 2DD for more than 84
// track positions, 2D otherwise.
std::string geometryMedia(const DiskFacts& disk, std::int64_t* largestTrackBytes)
{
    std::int64_t largest = 0;
    int highest = -1;
    for (const TrackFacts& track : disk.tracks) {
        std::int64_t bytes = 0;
        for (const SectorId& id : track.ids)
            bytes += d88::nominalSectorSize(id.n);
        largest = std::max(largest, bytes);
        if (!track.ids.empty())
            highest = track.index;
    }
    *largestTrackBytes = largest;
    if (highest < 0)
        return "";
    if (largest > 7000)
        return "2HD";
    return highest >= 84 ? "2DD" : "2D";
}

void printBootLabel(std::FILE* out, d88::D88Image& image)
{
    std::uint8_t boot[256] = {};
    if (image.readSector(0, 0, 0, 1, 1, boot, sizeof boot) == 0) {
        std::fprintf(out, "  boot:       no 256-byte boot sector (track 0, C 0 H 0 R 1 N 1)\n");
        return;
    }
    switch (zanvo::recogniseDisk(boot)) {
    case zanvo::DiskKind::DiskA:
        std::fprintf(out, "  boot:       ZANVO Disk A label at bytes 1-16\n");
        return;
    case zanvo::DiskKind::DiskF:
        std::fprintf(out, "  boot:       ZANVO Disk F label at bytes 1-16\n");
        return;
    case zanvo::DiskKind::Unknown:
        break;
    }
    std::fprintf(out, "  boot:       no ZANVO label; bytes 1-16:");
    for (int i = zanvo::kLabelOffset; i < zanvo::kLabelOffset + zanvo::kLabelLength; ++i)
        std::fprintf(out, " %02x", boot[i]);
    std::fprintf(out, "\n");
}

void printDisk(std::FILE* out, d88::D88Image& image, const DiskFacts& disk)
{
    std::fprintf(out, "disk %d at offset %lld (0x%llx)\n", disk.index,
                 static_cast<long long>(disk.fileOffset), static_cast<unsigned long long>(disk.fileOffset));
    std::fprintf(out, "  name:       \"%s\"\n", escapeName(disk.name).c_str());
    const std::string meaning = mediaMeaning(disk.mediaType);
    std::fprintf(out, "  media type: 0x%02x (%s)\n", disk.mediaType,
                 meaning.empty() ? "unknown" : meaning.c_str());
    std::fprintf(out, "  disk size:  %ld (0x%lx)%s\n", static_cast<long>(disk.diskSize),
                 static_cast<unsigned long>(static_cast<std::uint32_t>(disk.diskSize)),
                 disk.diskSize < 0 ? " (negative: no track can be read)" : "");

    std::vector<int> present;
    std::map<std::size_t, int> recordsPerTrack;
    std::map<int, long> sizeCodes;
    for (const TrackFacts& track : disk.tracks) {
        present.push_back(track.index);
        ++recordsPerTrack[track.ids.size()];
        for (const SectorId& id : track.ids)
            ++sizeCodes[id.n];
    }
    std::fprintf(out, "  tracks:     %zu present: %s\n", present.size(), indexRanges(present).c_str());
    if (disk.tableEntries < d88::kMaxTracks)
        std::fprintf(out,
                     "  table:      %d entries (the first track starts at 0x%x; the rest is sector data)\n",
                     disk.tableEntries, d88::kTrackTableOffset + 4 * disk.tableEntries);
    std::string records, codes;
    for (const auto& [count, tracks] : recordsPerTrack)
        records += (records.empty() ? "" : "; ") + std::to_string(count) + " a track on " +
                   std::to_string(tracks) + (tracks == 1 ? " track" : " tracks");
    for (const auto& [n, count] : sizeCodes)
        codes += (codes.empty() ? "" : "; ") + std::string("N=") + std::to_string(n) +
                 (d88::nominalSectorSize(n) > 0 ? " (" + std::to_string(d88::nominalSectorSize(n)) + " bytes)"
                                                : std::string()) +
                 " x" + std::to_string(count);
    std::fprintf(out, "  records:    %s\n", records.empty() ? "none" : records.c_str());
    std::fprintf(out, "  size codes: %s\n", codes.empty() ? "none" : codes.c_str());

    std::int64_t largest = 0;
    const std::string looksLike = geometryMedia(disk, &largest);
    if (!looksLike.empty() && looksLike != meaning)
        std::fprintf(
            out,
            "  note:       the media byte says %s, but %lld-byte tracks on positions up to %d look like %s\n",
            meaning.empty() ? "nothing known" : meaning.c_str(), static_cast<long long>(largest),
            present.empty() ? 0 : present.back(), looksLike.c_str());
    if (disk.index == 0)
        printBootLabel(out, image);
}

} // namespace

void printSummary(std::FILE* out, d88::D88Image& image)
{
    std::fprintf(out, "disks: %d\n", image.diskCount());
    for (int i = 0; i < image.diskCount(); ++i) {
        DiskFacts disk;
        std::fprintf(out, "\n");
        if (!gatherDisk(image, i, &disk)) {
            std::fprintf(out, "disk %d: its header cannot be read\n", i);
            continue;
        }
        printDisk(out, image, disk);
    }
}

} // namespace d88info
