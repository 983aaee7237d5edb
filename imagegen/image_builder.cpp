#include "image_builder.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace testimg {

namespace {

void putLE16(Bytes& out, std::size_t at, std::uint32_t value)
{
    out[at] = static_cast<std::uint8_t>(value);
    out[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void putLE32(Bytes& out, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

constexpr std::size_t kHeader = 0x2B0;

} // namespace

Bytes buildDisk(const Disk& disk, std::vector<Placed>* places)
{
    Bytes out(kHeader, 0);
    for (std::size_t i = 0; i < disk.name.size() && i < 16; ++i)
        out[i] = static_cast<std::uint8_t>(disk.name[i]);
    out[0x1B] = disk.mediaType;
    for (const auto& [index, track] : disk.tracks) {
        if (index < 0 || index >= 164)
            throw std::out_of_range("track index");
        putLE32(out, 0x20 + 4 * static_cast<std::size_t>(index), static_cast<std::uint32_t>(out.size()));
        for (const Record& rec : track.records) {
            const std::size_t at = out.size();
            out.resize(at + 16, 0);
            out[at] = rec.c;
            out[at + 1] = rec.h;
            out[at + 2] = rec.r;
            out[at + 3] = rec.n;
            putLE16(out, at + 4, rec.count.value_or(static_cast<std::uint16_t>(track.records.size())));
            for (std::size_t i = 0; i < 8; ++i)
                out[at + 6 + i] = rec.reserved[i];
            putLE16(out, at + 14, rec.dataSize.value_or(static_cast<std::uint16_t>(rec.data.size())));
            out.insert(out.end(), rec.data.begin(), rec.data.end());
            if (places)
                places->push_back({index, rec.r, at, out.size()});
        }
    }
    out.insert(out.end(), disk.tail.begin(), disk.tail.end());
    putLE32(out, 0x1C, disk.diskSize.value_or(static_cast<std::uint32_t>(out.size())));
    for (const auto& [index, value] : disk.trackOffsets)
        putLE32(out, 0x20 + 4 * static_cast<std::size_t>(index), value);
    for (const auto& [at, value] : disk.headerBytes)
        out.at(static_cast<std::size_t>(at)) = value;
    return out;
}

std::size_t trackStart(const Disk& disk, int track)
{
    std::vector<Placed> places;
    buildDisk(disk, &places);
    std::size_t start = SIZE_MAX;
    for (const Placed& place : places)
        if (place.track == track)
            start = std::min(start, place.header);
    return start;
}

Bytes buildImage(const std::vector<Disk>& disks)
{
    Bytes out;
    for (const Disk& disk : disks) {
        const Bytes bytes = buildDisk(disk);
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    return out;
}

Bytes sectorPattern(int seed, int track, int r, int size)
{
    // xorshift32 seeded by position: cheap, and no two sectors alike.
    std::uint32_t x = 0x9E3779B9u ^ (static_cast<std::uint32_t>(seed) * 0x85EBCA6Bu) ^
                      (static_cast<std::uint32_t>(track) << 16) ^ static_cast<std::uint32_t>(r);
    Bytes out(static_cast<std::size_t>(size));
    for (auto& byte : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        byte = static_cast<std::uint8_t>(x >> 24);
    }
    return out;
}

Disk formattedDisk(int seed, int trackCount, int sectorsPerTrack, bool interleaved)
{
    Disk disk;
    disk.name = "TESTDISK";
    for (int t = 0; t < trackCount; ++t) {
        Track track;
        const int half = (sectorsPerTrack + 1) / 2;
        for (int i = 0; i < sectorsPerTrack; ++i) {
            // 1, 9, 2, 10, ... for 16 sectors
            const int r = interleaved ? (i % 2 == 0 ? 1 + i / 2 : 1 + half + i / 2) : 1 + i;
            Record rec;
            rec.c = static_cast<std::uint8_t>(t / 2);
            rec.h = static_cast<std::uint8_t>(t % 2);
            rec.r = static_cast<std::uint8_t>(r);
            rec.n = 1;
            rec.data = sectorPattern(seed, t, r, 256);
            track.records.push_back(rec);
        }
        disk.tracks[t] = track;
    }
    return disk;
}

Disk sharedDecoyTrack(const Disk& real, int decoys)
{
    Record decoy;
    decoy.c = decoy.h = decoy.r = 0xFF;
    decoy.n = 1;
    return sharedDecoyTrack(real, decoys, decoy);
}

Disk sharedDecoyTrack(const Disk& real, int decoys, const Record& decoy)
{
    Disk crafted;
    auto& records = crafted.tracks[0].records;
    for (int i = 0; i < decoys; ++i) {
        records.push_back(decoy);
        if (decoy.r != 0xFF)
            records.back().r = static_cast<std::uint8_t>(1 + i % 16);
    }
    for (const auto& [index, track] : real.tracks)
        records.insert(records.end(), track.records.begin(), track.records.end());
    for (auto& rec : records)
        rec.count = 65535;
    for (int t = 1; t < 164; ++t)
        crafted.trackOffsets[t] = 0x2B0;
    return crafted;
}

Bytes disksSharingOneWalk(int disks, std::uint16_t diskSize)
{
    Bytes out;
    for (int d = 0; d < disks; ++d) {
        const std::size_t base = out.size();
        out.resize(base + diskSize, 0);
        putLE32(out, base + 0x1C, diskSize);
        for (std::size_t t = 0; t < 164; ++t)
            putLE32(out, base + 0x20 + 4 * t, diskSize);
        // The header's own 16-byte pieces read as records, too: their counts
        // (name bytes 4-5, reserved bytes 0x14-0x15, table entries) say 0xFFFF.
        out[base + 4] = out[base + 5] = out[base + 0x14] = out[base + 0x15] = 0xFF;
        for (std::size_t at = base + kHeader; at + 16 <= base + diskSize; at += 16)
            putLE16(out, at + 4, 0xFFFF);
    }
    return out;
}

namespace {

// An empty record: the IDs, a count of 0xFFFF, no data.
void emptyRecord(Bytes& out, int c, int h, int r)
{
    const std::size_t at = out.size();
    out.resize(at + 16, 0);
    out[at] = static_cast<std::uint8_t>(c), out[at + 1] = static_cast<std::uint8_t>(h);
    out[at + 2] = static_cast<std::uint8_t>(r), out[at + 3] = 1;
    putLE16(out, at + 4, 0xFFFF);
}

} // namespace

Bytes sharedTailTracks(int records)
{
    Bytes out(kHeader, 0);
    for (std::size_t t = 0; t < 164; ++t)
        putLE32(out, 0x20 + 4 * t, static_cast<std::uint32_t>(kHeader + 16 * t));
    for (int i = 0; i < records; ++i)
        emptyRecord(out, 0, 0, i % 255 + 1);
    return out;
}

Bytes longTracks(int perTrack, bool runOn)
{
    Bytes out(kHeader, 0);
    for (std::size_t i = 0; i < 164; ++i) {
        const std::size_t t = runOn ? 163 - i : i;
        putLE32(out, 0x20 + 4 * t, static_cast<std::uint32_t>(out.size()));
        for (int r = 0; r < perTrack; ++r)
            emptyRecord(out, runOn ? 0 : static_cast<int>(t / 2), runOn ? 0 : static_cast<int>(t % 2),
                        r % 250 + 1);
    }
    putLE32(out, 0x1C, static_cast<std::uint32_t>(out.size()));
    return out;
}

Bytes emptyRecords(int records)
{
    Bytes out;
    for (int i = 0; i < records; ++i)
        emptyRecord(out, 0, 0, i % 255 + 1);
    return out;
}

Bytes headersOverOneRun(int disks, const Bytes& run)
{
    const std::size_t runStart = kHeader * static_cast<std::size_t>(std::max(disks, 0));
    Bytes out(runStart, 0);
    for (std::size_t base = 0; base < runStart; base += kHeader) {
        putLE32(out, base + 0x1C, kHeader);
        if (base / kHeader % 2 == 0)
            for (std::size_t t = 0; t < 164; ++t)
                putLE32(out, base + 0x20 + 4 * t, static_cast<std::uint32_t>(runStart - base));
    }
    out.insert(out.end(), run.begin(), run.end());
    return out;
}

Disk flaggedTrack(int records)
{
    Disk disk;
    Track& track = disk.tracks[0];
    for (int i = 0; i < records; ++i) {
        Record rec;
        rec.r = static_cast<std::uint8_t>(i % 255 + 1);
        rec.count = 1;
        rec.reserved[1] = 0x10; // deleted data mark
        rec.reserved[2] = 0x01; // a controller status with no word of its own
        track.records.push_back(rec);
    }
    return disk;
}

Bytes resyncBait(int levels, int run)
{
    std::vector<Record> records;
    Record rec;
    rec.c = 0xF0;
    rec.n = 0;
    rec.count = 0;
    rec.dataSize = 0xFFFF;
    records.push_back(rec);
    rec.dataSize = 0;
    for (int level = 0; level < levels; ++level) {
        // 24 bytes that are no header before each run, so that a size
        // code's 128 bytes land inside a header, never on one.
        records.back().data.assign(24, 0xEE);
        for (int i = 0; i < run; ++i) {
            rec.r = static_cast<std::uint8_t>(2 + 7 * level + (i < 7 ? i : 0));
            records.push_back(rec);
        }
    }
    records.back().data.assign(160, 0xEE);
    Disk disk;
    disk.tracks[0].records = records;
    const Bytes built = buildDisk(disk);
    return Bytes(built.begin() + kHeader, built.end());
}

Disk tinyDiskOfHugeLayout()
{
    Disk disk;
    Record rec;
    rec.n = 5;
    rec.r = 0;
    disk.tracks[0].records.push_back(rec);
    rec.r = 255;
    disk.tracks[0].records.push_back(rec);
    rec.c = 31, rec.h = 1, rec.r = 1;
    disk.tracks[63].records.push_back(rec);
    return disk;
}

Disk lyingDiskA(int seed)
{
    Disk disk = formattedDisk(seed);
    setBootLabel(disk, kDiskALabel);
    makeFieldsLie(disk);
    return disk;
}

void makeFieldsLie(Disk& disk)
{
    findRecord(disk, 12, 3)->dataSize = 0;
    findRecord(disk, 13, 5)->count = 0;
    disk.tracks[16].records.front().count = 0;
    for (Record& rec : disk.tracks[20].records)
        rec.count = 0x1000;
    for (Record& rec : disk.tracks[22].records)
        rec.count = 0xFFFF;
    findRecord(disk, 24, 9)->dataSize = 512;
    const std::uint32_t size = static_cast<std::uint32_t>(buildDisk(disk).size());
    for (int t = 80; t < 164; ++t)
        disk.trackOffsets[t] = size;
    disk.trackOffsets[100] = 0x10;
}

Record* findRecord(Disk& disk, int track, int r)
{
    return const_cast<Record*>(findRecord(static_cast<const Disk&>(disk), track, r));
}

const Record* findRecord(const Disk& disk, int track, int r)
{
    const auto it = disk.tracks.find(track);
    if (it == disk.tracks.end())
        return nullptr;
    for (const Record& rec : it->second.records)
        if (rec.r == r && rec.c == track / 2 && rec.h == track % 2 && rec.n == 1)
            return &rec;
    return nullptr;
}

void setBootLabel(Disk& disk, const std::array<std::uint8_t, 16>& label, int at)
{
    Record* boot = findRecord(disk, 0, 1);
    if (!boot)
        throw std::logic_error("no boot sector");
    for (std::size_t i = 0; i < label.size(); ++i)
        boot->data.at(static_cast<std::size_t>(at) + i) = label[i];
}

Bytes expectedRun(const Disk& disk, int track, int sector, int length)
{
    Bytes out;
    while (static_cast<int>(out.size()) < length) {
        const std::size_t piece = std::min<std::size_t>(256, static_cast<std::size_t>(length) - out.size());
        const Record* rec = findRecord(disk, track, sector);
        if (!rec || rec->data.size() < piece)
            break;
        out.insert(out.end(), rec->data.begin(), rec->data.begin() + static_cast<long>(piece));
        if (++sector > 16) {
            sector = 1;
            ++track;
        }
    }
    return out;
}

Bytes expectedRecovery(const Disk& disk, int track, int sector, int length, int* found)
{
    Bytes out;
    int count = 0;
    while (static_cast<int>(out.size()) < length) {
        const std::size_t piece = std::min<std::size_t>(256, static_cast<std::size_t>(length) - out.size());
        Bytes bytes(piece, 0);
        if (const Record* rec = findRecord(disk, track, sector)) {
            std::copy_n(rec->data.begin(), std::min(piece, rec->data.size()), bytes.begin());
            ++count;
        }
        out.insert(out.end(), bytes.begin(), bytes.end());
        if (++sector > 16) {
            sector = 1;
            ++track;
        }
    }
    if (found)
        *found = count;
    return out;
}

void writeFile(const std::string& path, const Bytes& bytes)
{
    errno = 0;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) {
        const int error = errno; // the C library's, where the stream leaves it
        throw std::runtime_error("cannot write " + path +
                                 (error ? std::string(": ") + std::strerror(error) : ""));
    }
}

} // namespace testimg
