#include "report.h"

#include "d88_words.h"
#include "message_text.h"

#include <algorithm>
#include <cerrno>
#include <new>
#include <string>

namespace d88info {

// The usual media type for a geometry: high density when a track holds more
// than a double-density track can (about 6,250 bytes), 2DD for more than 84
// track positions, 2D otherwise.
std::string geometryMedia(const DiskFacts& disk)
{
    if (disk.highestWithRecords < 0)
        return "";
    if (disk.largestTrackBytes > 7000)
        return "2HD";
    return disk.highestWithRecords >= 84 ? "2DD" : "2D";
}

const char* protectMeaning(int value)
{
    switch (value) {
    case 0x00:
        return "not write-protected";
    case 0x10:
        return "write-protected";
    default:
        return "unknown";
    }
}

namespace {

void printBootLabel(std::FILE* out, const ImageFacts& image, const DiskFacts& disk)
{
    std::fprintf(out, "  boot:       %s\n", bootLine(disk).c_str());
    if (disk.kind != zanvo::DiskKind::Unknown && disk.index != 0)
        std::fprintf(out, "  note:       `zanvo-extract --disk=%d %s` cuts this disk\n", disk.index,
                     fileio::commandName(image.imageName, fileio::messagesReadUtf8()).c_str());
}

// "data CRC error x1; deleted data x2; controller status 0x55 x1".
std::string flagCounts(const DiskFacts& disk)
{
    std::string flags;
    disk.forEachFlagCount([&flags](d88::SectorFlag flag, std::uint8_t status, std::int64_t count) {
        flags += flags.empty() ? "" : "; ";
        flags += zanvo::flagWords(flag, status);
        flags += " x" + std::to_string(count);
    });
    return flags;
}

void printRecords(std::FILE* out, const ImageFacts& image, const DiskFacts& disk)
{
    std::string records, codes;
    for (int i = 0; i < disk.recordCountKinds; ++i) {
        const auto& [count, tracks] = disk.recordCounts[i];
        records += (records.empty() ? "" : "; ") + std::to_string(count) + " a track on " +
                   std::to_string(tracks) + (tracks == 1 ? " track" : " tracks");
    }
    for (int n = 0; n < 256; ++n) {
        if (disk.sizeCodes[n] == 0)
            continue;
        const std::int32_t bytes = d88::nominalSectorSize(n);
        codes += (codes.empty() ? "" : "; ") + std::string("N=") + std::to_string(n) +
                 (bytes > 0 ? " (" + std::to_string(bytes) + " bytes)" : std::string()) + " x" +
                 std::to_string(disk.sizeCodes[n]);
    }
    const std::string flags = flagCounts(disk);
    std::fprintf(out, "  records:    %s\n", records.empty() ? "none" : records.c_str());
    if (disk.stubby > 0)
        std::fprintf(out, "  short:      %lld record%s stored shorter than %s size code\n",
                     static_cast<long long>(disk.stubby), disk.stubby == 1 ? "" : "s",
                     disk.stubby == 1 ? "its" : "their");
    if (disk.uncertain > 0)
        std::fprintf(out,
                     "  uncertain:  %lld record%s whose bytes the image can also be read to hold otherwise\n",
                     static_cast<long long>(disk.uncertain), disk.uncertain == 1 ? "" : "s");
    if (disk.noRecordBytes > 0)
        std::fprintf(
            out,
            "  no record:  %s byte%s of the tracks %s no record (skipped; `d88info %s %d` shows where)\n",
            thousands(disk.noRecordBytes).c_str(), disk.noRecordBytes == 1 ? "" : "s",
            disk.noRecordBytes == 1 ? "is" : "are",
            fileio::commandName(image.imageName, fileio::messagesReadUtf8()).c_str(), disk.index);
    if (disk.cutTracks > 0)
        std::fprintf(
            out, "  too many:   %d track%s read only in part: more candidate headers than a reading weighs\n",
            disk.cutTracks, disk.cutTracks == 1 ? "" : "s");
    if (disk.pastLies > 0) {
        std::string fields;
        const auto add = [&fields](const std::string& field) {
            fields += (fields.empty() ? "" : ", ") + field;
        };
        if (disk.sizeLies > 0)
            add("the data size field of " + std::to_string(disk.sizeLies) +
                (disk.sizeLies == 1 ? " record" : " records"));
        if (disk.countLies > 0)
            add("sector counts on " + std::to_string(disk.countLies) +
                (disk.countLies == 1 ? " track" : " tracks"));
        if (disk.noRecordLies > 0)
            add("bytes that are no record on " + std::to_string(disk.noRecordLies) +
                (disk.noRecordLies == 1 ? " track" : " tracks"));
        if (disk.diskSizeLies)
            add("the disk size field");
        std::fprintf(out, "  lies:       %lld record%s read past fields that lied: %s\n",
                     static_cast<long long>(disk.pastLies), disk.pastLies == 1 ? "" : "s", fields.c_str());
    }
    std::fprintf(out, "  size codes: %s\n", codes.empty() ? "none" : codes.c_str());
    if (!flags.empty())
        std::fprintf(out, "  flags:      %s (set when the disk was dumped; `d88info %s %d` shows where)\n",
                     flags.c_str(), fileio::commandName(image.imageName, fileio::messagesReadUtf8()).c_str(),
                     disk.index);
}

void printDisk(std::FILE* out, const ImageFacts& image, const DiskFacts& disk)
{
    std::fprintf(out, "disk %d at offset %lld (0x%llx)\n", disk.index,
                 static_cast<long long>(disk.fileOffset), static_cast<unsigned long long>(disk.fileOffset));
    std::fprintf(out, "  name:       \"%s\"\n", escapeName(disk.name).c_str());
    const std::string meaning = mediaMeaning(disk.mediaType);
    std::fprintf(out, "  media type: 0x%02x (%s)\n", disk.mediaType,
                 meaning.empty() ? "unknown" : meaning.c_str());
    std::fprintf(out, "  protect:    0x%02x (%s)\n", disk.writeProtect, protectMeaning(disk.writeProtect));
    const auto size = static_cast<unsigned long>(disk.diskSize);
    if (disk.layout.sizeLies)
        std::fprintf(
            out, "  disk size:  %lu (0x%lx), which lies: the disk's records end at offset %lld (0x%llx)\n",
            size, size, static_cast<long long>(disk.fileOffset + disk.extent),
            static_cast<unsigned long long>(disk.fileOffset + disk.extent));
    else
        std::fprintf(
            out, "  disk size:  %lu (0x%lx)%s\n", size, size,
            disk.diskSize == 0 ? " (it bounds nothing: the tracks are read up to the end of the file)" : "");
    if (disk.truncated())
        std::fprintf(
            out,
            "  truncated:  the file ends at offset %lld (0x%llx), %lld bytes before the end of this disk\n",
            static_cast<long long>(disk.fileSize), static_cast<unsigned long long>(disk.fileSize),
            static_cast<long long>(disk.fileOffset + disk.diskSize - disk.fileSize));
    std::fprintf(out, "  tracks:     %d present: %s\n", disk.count(TrackState::Present),
                 trackRanges(disk, TrackState::Present).c_str());
    if (disk.count(TrackState::PastEnd) > 0)
        std::fprintf(out, "  past end:   %d in the table but past the end of the file: %s\n",
                     disk.count(TrackState::PastEnd), trackRanges(disk, TrackState::PastEnd).c_str());
    const int strays = disk.count(TrackState::IntoHeader);
    if (strays > 0)
        std::fprintf(out, "  strays:     %d table entr%s into the disk header, naming no track: %s\n", strays,
                     strays == 1 ? "y points" : "ies point",
                     trackRanges(disk, TrackState::IntoHeader).c_str());
    const auto shares = [&disk](int t) {
        return disk.tracks[t].state == TrackState::Present && disk.tracks[t].facts.sameAs != t;
    };
    const std::string shared = trackRanges(shares);
    if (shared != "none")
        std::fprintf(out, "  shared:     tracks that hold the same records as a lower track: %s\n",
                     shared.c_str());
    if (disk.layout.tableEntries < d88::kMaxTracks)
        std::fprintf(out,
                     "  table:      %d entries (the first track starts at 0x%x; the rest is sector data)\n",
                     disk.layout.tableEntries, d88::kTrackTableOffset + 4 * disk.layout.tableEntries);
    printRecords(out, image, disk);

    const std::string looksLike = geometryMedia(disk);
    if (!looksLike.empty() && looksLike != meaning)
        std::fprintf(
            out,
            "  note:       the media byte says %s, but %lld-byte tracks on positions up to %d look like %s\n",
            meaning.empty() ? "nothing known" : meaning.c_str(),
            static_cast<long long>(disk.largestTrackBytes), disk.highest(TrackState::Present),
            looksLike.c_str());
    if (const std::string odd = zanvo::oddFieldWords(disk.verdict.odd, disk.header); !odd.empty())
        std::fprintf(out, "  note:       %s: not a D88 disk's, though its records are\n", odd.c_str());
    printBootLabel(out, image, disk);
}

} // namespace

int gatherImage(d88::RecordMap& map, const char* imageName, GatheredImage* out)
{
    d88::D88Image& image = map.image();
    const auto count = static_cast<std::size_t>(image.diskCount());
    try {
        out->disks.clear();
        out->disks.reserve(count);
    } catch (const std::bad_alloc&) {
        return ENOMEM;
    }
    int error = 0;
    TrackOwners owners;
    for (std::size_t i = 0; i < count; ++i) {
        // A disk that starts where an earlier one did is that disk again.
        std::size_t same = 0;
        while (same < i && out->disks[same]->fileOffset != image.diskOffset(static_cast<int>(i)))
            ++same;
        std::unique_ptr<DiskFacts> facts(same < i ? new (std::nothrow) DiskFacts(*out->disks[same])
                                                  : new (std::nothrow) DiskFacts);
        if (!facts)
            return ENOMEM;
        DiskFacts* disk = facts.get();
        out->disks.push_back(std::move(facts)); // room reserved: no allocation
        if (same < i) {
            disk->index = static_cast<int>(i);
            disk->sameDiskAs = static_cast<int>(same);
            continue;
        }
        if (gatherDisk(map, static_cast<int>(i), disk, &error, &owners) == Gathering::ReadFailed)
            return error;
        if (!owners.add(*disk))
            return ENOMEM;
    }
    out->facts.imageName = imageName;
    // Disk indexes that start inside another disk's records are no disks.
    out->facts.diskCount = static_cast<int>(std::count_if(
        out->disks.begin(), out->disks.end(), [](const auto& disk) { return disk->verdict.insideDisk < 0; }));
    out->facts.disks = out->disks;
    out->facts.moreDisksAt = image.moreDisksAt();
    return 0;
}

std::string notD88Reason(const DiskFacts& disk)
{
    return zanvo::notD88DiskWords(disk.verdict, disk.header);
}

std::string bootLine(const DiskFacts& disk)
{
    if (!disk.bootFound) {
        if (const std::string other = zanvo::otherKindWords(disk.mediaType, disk.bootSizeCode);
            !other.empty())
            return "no ZANVO boot sector: " + other;
        return "no 256-byte boot sector (track 0, C 0 H 0 R 1 N 1)";
    }
    if (disk.kind != zanvo::DiskKind::Unknown)
        return std::string("ZANVO ") + zanvo::kindName(disk.kind) + " label at bytes 1-16";
    std::string line = "no ZANVO label; " + zanvo::labelBytes(disk.boot);
    // One byte throughout is what a formatter leaves (0xe5 most often): the
    // disk was never written there, rather than written with something else.
    const std::uint8_t* label = disk.boot + zanvo::kLabelOffset;
    if (std::all_of(label, label + zanvo::kLabelLength, [&](std::uint8_t b) { return b == label[0]; }))
        line += ", one byte repeated: as a sector formatted and never written holds";
    return line;
}

void printSummary(std::FILE* out, const ImageFacts& image)
{
    std::fprintf(out, "disks: %d\n", image.diskCount);
    for (int i = 0; i < static_cast<int>(image.disks.size());) {
        const DiskFacts& disk = *image.disks[static_cast<std::size_t>(i)];
        std::fprintf(out, "\n");
        if (disk.verdict.insideDisk >= 0)
            std::fprintf(out, "disk %d at offset %lld: not a disk: %s\n", disk.index,
                         static_cast<long long>(disk.fileOffset), notD88Reason(disk).c_str());
        else if (disk.gathered && !disk.verdict.d88)
            std::fprintf(out, "disk %d at offset %lld: not a D88 disk: %s\n", disk.index,
                         static_cast<long long>(disk.fileOffset), notD88Reason(disk).c_str());
        else if (disk.gathered)
            printDisk(out, image, disk);
        else
            std::fprintf(out, "disk %d at offset %lld: its header cannot be read\n", disk.index,
                         static_cast<long long>(disk.fileOffset));
        // A disk size of 0 makes every next disk start where this one did.
        int same = i + 1;
        while (same < static_cast<int>(image.disks.size()) &&
               image.disks[static_cast<std::size_t>(same)]->fileOffset == disk.fileOffset)
            ++same;
        if (same > i + 1)
            std::fprintf(
                out,
                "\ndisk%s %d%s%s: disk %d again (its disk size is 0, so the next disk starts where it did)\n",
                same > i + 2 ? "s" : "", i + 1, same > i + 2 ? "-" : "",
                same > i + 2 ? std::to_string(same - 1).c_str() : "", i);
        i = same;
    }
    if (image.moreDisksAt >= 0)
        std::fprintf(out, "\nmore disks follow from offset %lld (0x%llx): only the first %d are indexed\n",
                     static_cast<long long>(image.moreDisksAt),
                     static_cast<unsigned long long>(image.moreDisksAt), d88::kMaxDisks);
}

} // namespace d88info
