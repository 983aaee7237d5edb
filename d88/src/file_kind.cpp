// Whether a file is a D88 image (file_kind.h says how it is told).
#include "d88/file_kind.h"

#include <algorithm>
#include <cstring>

namespace d88 {

namespace {

struct Signature {
    FileKind kind;
    const char* bytes;
    std::int32_t length;
};

// First bytes no D88 image starts with: they would be the disk's name.
constexpr Signature kSignatures[] = {
    {FileKind::Gzip, "\x1f\x8b", 2},     {FileKind::Zip, "PK\x03\x04", 4},
    {FileKind::Zip, "PK\x05\x06", 4},    {FileKind::SevenZip, "7z\xbc\xaf\x27\x1c", 6},
    {FileKind::Rar, "Rar!\x1a\x07", 6},  {FileKind::Png, "\x89PNG\r\n\x1a\n", 8},
    {FileKind::Jpeg, "\xff\xd8\xff", 3}, {FileKind::Elf, "\177ELF", 4},
};

// Sizes of plain sector images of usual disks: cylinders, heads, sectors, bytes.
constexpr std::int32_t kPlainGeometries[][4] = {
    {40, 1, 16, 256}, {40, 2, 16, 256}, {40, 2, 9, 512},  {80, 2, 16, 256},
    {80, 2, 9, 512},  {80, 2, 15, 512}, {77, 2, 8, 1024}, {80, 2, 18, 512},
};

FileKind signatureOf(D88Image& image, Outcome* read)
{
    std::uint8_t head[64] = {};
    std::int64_t got = 0;
    if ((*read = image.readFileBytes(0, head, &got)).failed())
        return FileKind::Unknown;
    for (const Signature& s : kSignatures)
        if (got >= s.length && std::memcmp(head, s.bytes, static_cast<std::size_t>(s.length)) == 0)
            return s.kind;
    // An LZH archive's first header: "-lh?-" or "-lz?-" from byte 2.
    if (got >= 7 && head[2] == '-' && head[3] == 'l' && (head[4] == 'h' || head[4] == 'z') && head[6] == '-')
        return FileKind::Lzh;
    // A Windows program: "MZ", and "PE\0\0" where its header says.
    if (got >= 64 && head[0] == 'M' && head[1] == 'Z') {
        std::uint8_t pe[4] = {};
        std::int64_t peGot = 0;
        const std::int64_t at = static_cast<std::uint32_t>(readLE32(head + 0x3C));
        if ((*read = image.readFileBytes(at, pe, &peGot)).failed())
            return FileKind::Unknown;
        if (peGot == 4 && std::memcmp(pe, "PE\0\0", 4) == 0)
            return FileKind::WindowsProgram;
    }
    return FileKind::D88;
}

std::uint8_t oddFields(const std::uint8_t* header)
{
    std::uint8_t odd = 0;
    const std::uint8_t media = header[kMediaTypeOffset];
    if (media != 0x00 && media != 0x10 && media != 0x20 && media != 0x30 && media != 0x40)
        odd |= kOddMediaType;
    if (header[kWriteProtectOffset] != 0x00 && header[kWriteProtectOffset] != 0x10)
        odd |= kOddWriteProtect;
    // Some writers run a long name on into the reserved bytes: it ends
    // before the write protect byte.
    if (std::find(header, header + kWriteProtectOffset, 0) == header + kWriteProtectOffset)
        odd |= kOddName;
    const std::int32_t size = readLE32(header + kDiskSizeOffset);
    if (size < 0 || (size > 0 && size < kDiskHeaderSize))
        odd |= kOddDiskSize;
    return odd;
}

} // namespace

Outcome judgeDisk(RecordMap& map, std::int32_t index, DiskVerdict* verdict)
{
    *verdict = DiskVerdict{};
    D88Image& image = map.image();
    const std::int64_t at = image.diskOffset(index);
    if (at < 0)
        return Outcome::found(false);
    // Only a size that lies makes the index step into a disk's own records.
    for (std::int32_t j = index - 1; j >= 0; --j) {
        if (image.diskOffset(j) >= at)
            continue;
        if (const Outcome loaded = map.loadDisk(j); loaded.failed())
            return loaded;
        const DiskLayout& earlier = map.disk();
        if (earlier.index == j && earlier.sizeLies && earlier.end > at) {
            verdict->insideDisk = j;
            std::int64_t best = -1;
            for (std::int32_t t = 0; t < kMaxTracks; ++t) {
                TrackFacts facts;
                if (earlier.standing[t] != TrackStanding::Present)
                    continue;
                if (const Outcome told = map.track(t, &facts); told.failed())
                    return told;
                if (facts.start <= at && facts.start > best)
                    best = facts.start, verdict->insideTrack = t;
            }
        }
        break;
    }
    const Outcome loaded = map.loadDisk(index);
    if (!loaded.done())
        return loaded.failed() ? loaded : Outcome{};
    verdict->readable = true;
    std::uint8_t header[kDiskHeaderSize];
    std::int64_t got = 0;
    if (const Outcome read = image.readFileBytes(at, header, &got); read.failed())
        return read;
    verdict->odd = oddFields(header);
    const DiskLayout& layout = map.disk();
    // A table entry names a track, or no track (0, or the disk's size: the
    // next disk's start); one into the header or past a size that tells
    // the truth is no value of the format's. A stray among tracks is common
    // enough; a table of strays only is no disk's.
    const std::int32_t size = readLE32(header + kDiskSizeOffset);
    bool strays = false;
    for (std::int32_t t = 0; t < layout.tableEntries; ++t) {
        const std::int32_t entry = readLE32(header + kTrackTableOffset + 4 * t);
        strays = strays || layout.standing[t] == TrackStanding::IntoHeader ||
                 (!layout.sizeLies && size >= kDiskHeaderSize && entry > size);
    }
    for (std::int32_t t = 0; t < kMaxTracks; ++t) {
        if (layout.standing[t] != TrackStanding::Present)
            continue;
        ++verdict->named;
        std::uint8_t first[kSectorHeaderSize];
        const Outcome read = image.readFileBytes(at + image.trackOffset(t), first, &got);
        if (read.failed())
            return read;
        verdict->plausible += got == kSectorHeaderSize && RecordHeader::parse(first).plausible();
    }
    if (verdict->named == 0 && strays)
        verdict->odd |= kOddTable;
    const bool sized = size >= kDiskHeaderSize || header[0] != 0;
    const bool records =
        verdict->plausible > 0 && (verdict->odd == 0 || 2 * verdict->plausible >= verdict->named);
    verdict->d88 = verdict->insideDisk < 0 &&
                   (verdict->named == 0 ? verdict->odd == 0 && sized : verdict->odd == 0 || records);
    return Outcome{};
}

Outcome judgeFile(RecordMap& map, FileVerdict* verdict)
{
    *verdict = FileVerdict{};
    D88Image& image = map.image();
    verdict->size = image.fileSize();
    Outcome read;
    verdict->kind = signatureOf(image, &read);
    if (read.failed())
        return read;
    if (verdict->kind == FileKind::D88) {
        bool any = false;
        for (std::int32_t index = 0; index < image.diskCount() && !any; ++index) {
            DiskVerdict disk;
            if (const Outcome judged = judgeDisk(map, index, &disk); judged.failed())
                return judged;
            any = disk.d88;
        }
        if (any) {
            const Outcome loaded = map.loadDisk(0);
            return loaded.failed() ? loaded : Outcome{};
        }
        verdict->kind = FileKind::Unknown;
        for (const auto& g : kPlainGeometries)
            if (verdict->size == static_cast<std::int64_t>(g[0]) * g[1] * g[2] * g[3]) {
                verdict->kind = FileKind::PlainSectors;
                verdict->cylinders = g[0], verdict->heads = g[1], verdict->sectors = g[2],
                verdict->sectorSize = g[3];
                break;
            }
    }
    return Outcome{};
}

} // namespace d88
