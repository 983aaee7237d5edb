// Builds D88 images in memory from a description, for tests and samples.
//
// Everything the reader looks at can be set: records in any order with any
// C, H, R, N, sector count, data size and data; any header byte, disk size or
// track table entry overridden. Unset fields take the values a well-formed
// image would have.
#ifndef TESTS_IMAGE_BUILDER_H
#define TESTS_IMAGE_BUILDER_H

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testimg {

using Bytes = std::vector<std::uint8_t>;

struct Record {
    std::uint8_t c = 0, h = 0, r = 1, n = 1;
    std::optional<std::uint16_t> count;     // default: records in the track
    std::optional<std::uint16_t> dataSize;  // default: data.size()
    std::array<std::uint8_t, 8> reserved{}; // header bytes 6-13
    Bytes data;
};

struct Track {
    std::vector<Record> records;
};

struct Disk {
    std::string name; // raw bytes at 0x00, at most 16 are written
    std::uint8_t mediaType = 0;
    std::map<int, Track> tracks;               // by track index 0-163, laid out in index order
    std::optional<std::uint32_t> diskSize;     // default: the disk's length
    std::map<int, std::uint32_t> trackOffsets; // raw table entries, over the computed ones
    std::map<int, std::uint8_t> headerBytes;   // any header byte, applied last
    Bytes tail;                                // bytes after the last track, inside the disk
};

// Where a record landed in a built disk: its header's offset from the disk
// start and the offset just past its data.
struct Placed {
    int track;
    std::uint8_t r;
    std::size_t header;
    std::size_t end;
};

// The bytes of one disk (and, if asked, where each record went) and of an
// image holding the disks back to back.
Bytes buildDisk(const Disk& disk, std::vector<Placed>* places = nullptr);
// Where the first record of track `track` lands in buildDisk(disk), from
// the disk's start; SIZE_MAX when the track holds none.
std::size_t trackStart(const Disk& disk, int track);
Bytes buildImage(const std::vector<Disk>& disks);

// Deterministic, position-dependent sector contents: every (disk, track,
// sector) gets different bytes, so a sector read from the wrong place shows.
Bytes sectorPattern(int seed, int track, int r, int size);

// A formatted 2D-style disk: `trackCount` tracks of sectors 1..sectorsPerTrack,
// N = 1, IDs C = track / 2, H = track % 2, data from sectorPattern(seed, ...).
// With `interleaved`, each track stores its records in the physical order
// 1, 9, 2, 10, ... rather than 1, 2, 3, ...
Disk formattedDisk(int seed, int trackCount = 80, int sectorsPerTrack = 16, bool interleaved = true);

// A crafted disk whose 164 track table entries all point at one run:
// `decoys` records that match nothing (C, H and R 0xFF, N 1, sector count
// 65535, no data, unless `decoy` says otherwise; its R, when not 0xFF,
// cycles through 1-16), then
// every record of `real`, track after track, also with sector count 65535.
// Each lookup walks the decoys.
Disk sharedDecoyTrack(const Disk& real, int decoys);
Disk sharedDecoyTrack(const Disk& real, int decoys, const Record& decoy);

// `disks` disks of `diskSize` bytes back to back, each a header whose every
// table entry equals its disk size (the offset of the next disk's header),
// then empty records of sector count 0xFFFF: every track's walk runs on
// through the disks after it.
Bytes disksSharingOneWalk(int disks, std::uint16_t diskSize);

// A disk of size 0 whose 164 track entries each start one record further
// into a single run of `records` records (C 0 H 0, R cycling through 1-255,
// N 1, count 0xFFFF, no data): every track is the tail of the one before,
// and the disk is indexed 64 times at offset 0.
Bytes sharedTailTracks(int records);

// A disk of 164 tracks of `perTrack` records each (IDs of the track, R
// cycling through 1-250, N 1, count 0xFFFF, no data): more records than a
// reader may keep when `perTrack` runs to thousands. With `runOn`, every
// record carries C 0 H 0 and the tracks lie from 163 down to 0, so each
// track's records run on into the lower tracks' ones to the image's end,
// and track 0, the last, is the first a reader asks for.
Bytes longTracks(int perTrack, bool runOn = false);

// `records` empty records (C 0 H 0, R cycling through 1-255, N 1, count
// 0xFFFF, no data), back to back.
Bytes emptyRecords(int records);

// `disks` disk headers of 688 bytes back to back, then `run`. Headers 0, 2,
// 4, ... name 164 tracks, all starting at the run's first byte, under a disk
// size of 688 that lies (where it ends stands a header that names no track);
// the headers between them name no track and tell their size truly, so
// that no disk starts inside the records of the one before it.
Bytes headersOverOneRun(int disks, const Bytes& run);

// One track of `records` empty records (C 0 H 0, R cycling through 1-255,
// N 1), each flagged (deleted data, and controller status 0x01) and each
// with a sector count of 1.
Disk flaggedTrack(int records);

// The records of a track that tempts a reader to resynchronise (C 0xF0, H 0,
// size code 0, no data, sector count 0): the first claims 0xFFFF bytes.
// Then `levels` runs of `run` headers, each run behind 24 bytes that are no
// header, so that neither the last header's data size nor its size code
// (128 bytes) lands on a header; the next run's first seven headers lie in
// those 128 bytes, with sector numbers not yet seen on the track (at most 35
// levels). The last run ends on 160 bytes that are no header.
Bytes resyncBait(int levels, int run);

// A disk of 736 bytes whose track 0 holds sectors 0 and 255 of size code 5
// (no data) and whose track 63 holds one record: a plain sector image of its
// layout (64 tracks of 256 sectors of 4 KiB) is 64 MiB.
Disk tinyDiskOfHugeLayout();

// Makes a formatted disk's record fields lie the ways real dumps' fields do,
// each on a track of its own: on track 12 the data size field of sector 3
// says 0 (256 bytes stored); on track 13 sector 5's sector count says 0; on
// track 16 the first record's count says 0; on track 20 every count is
// written big-endian (0x1000 for 16); on track 22 every count says 0xFFFF;
// on track 24 sector 9's data size says 512 (256 stored). Table entries past
// the last track point at the disk's end, and entry 100 strays into the
// header (0x10).
void makeFieldsLie(Disk& disk);

// A Disk A whose fields lie so.
Disk lyingDiskA(int seed);

// The record of sector `r` in `track`, or nullptr.
Record* findRecord(Disk& disk, int track, int r);
const Record* findRecord(const Disk& disk, int track, int r);

// The labels the title's boot sectors carry at bytes 1-16: Disk A's is
// half-width katakana in Shift_JIS followed by "Sys".
inline constexpr std::array<std::uint8_t, 16> kDiskALabel = {0xBB, 0xDE, 0xDD, 0xB3, 0xDE, 0xAB, 0x21, 0xC4,
                                                             0xDE, 0xD8, 0xB0, 0xD1, 0xBD, 'S',  'y',  's'};
inline constexpr std::array<std::uint8_t, 16> kDiskFLabel = {'Z', 'A', 'N', 'V', 'O', ' ', 'D', 'i',
                                                             's', 'k', ' ', 'F', ' ', 'S', 'y', 's'};

// Puts a 16-byte label at bytes 1-16 of the boot sector (track 0, sector 1).
void setBootLabel(Disk& disk, const std::array<std::uint8_t, 16>& label, int at = 1);

// The bytes a run of 256-byte sectors covers, taken from the description
// (not from built bytes): from `track`/`sector` on, sectors 1..16 a track,
// IDs C = track / 2, H = track % 2, N = 1. Stops before the first sector that
// is missing or too short; only whole 256-byte pieces, or the final short
// piece, are counted.
Bytes expectedRun(const Disk& disk, int track, int sector, int length);

// The bytes a sector-by-sector cut recovers, taken from the description:
// the same walk as expectedRun, but a sector that is missing gives 256 zeros
// and a sector stored short its data and then zeros, and the walk goes on to
// `length`. `found` (when given) counts the sectors found.
Bytes expectedRecovery(const Disk& disk, int track, int sector, int length, int* found = nullptr);

// Writes bytes to a file; throws on failure (test code).
void writeFile(const std::string& path, const Bytes& bytes);

} // namespace testimg

#endif
