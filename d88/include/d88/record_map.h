// RecordMap: the tracks of an image as their bytes show them, behind fields
// that lie. It is what the programs and the page read through; the strict
// reader (d88/d88_image.h) reads what the fields say.
//
// One rule reads every track.
//
// Its extent runs from its table entry to the next track's start (or the
// disk's end), or further, to the end of its own records where the strict
// walk (by data sizes, through plausible headers, no sector number twice)
// reaches its count's last record past that start. A header is plausible
// when its size code is at most 8, its density byte 0x00, 0x40 or 0x01, and
// it is not sixteen zero bytes; clean when the track reads on from it to the
// extent's end skipping no bytes; sound when its data sizes alone do.
//
// From a record the reading goes on: by its data size, to a plausible header
// or the extent's end; cut at the best clean header inside its data, or at
// the extent's end there; to its size code's length where a clean header or
// the end stands exactly there; or past its data to the nearest sound header
// (the nearest clean one when none is sound), the bytes past the larger of
// its data size and its size code's length being no record. A track whose
// entry is no header begins at such a header too. From every header the
// reading takes the way on that is best by one order:
//
//   1. the fewest fields read otherwise than they say (data sizes not
//      stepped by, sector counts unlike the next record's, the last record's
//      unlike the first's) less the sector numbers found: a field is read
//      otherwise only for a sector it gains;
//   2. then the fewest sector numbers that come again;
//   3. then the data size's step; between other ways, the one that finds
//      more sector numbers, then the nearest header.
//
// It begins as the strict walk goes, while that walk finds sectors in
// plausible records (records whose data ends on a plausible header, at the
// extent's end, or that are their count's last): where the strict rule finds
// a sector so, the reading gives the same bytes. No record's bytes hold a
// header of the reading. A record is uncertain when its bytes hold a header
// from which whole records (each with its size code's data size) land
// exactly on the reading's next record: the image can be read so that it
// holds other bytes.
//
// The best way on from each header is known after one backward pass over
// the extent, so a track costs time in proportion to its extent, and what it
// gives depends on nothing else: not on other tracks or disks, nor on the
// order of questions. A track that holds more candidate headers than
// kMaxCandidates is read up to where they run out, and says so.
#ifndef D88_RECORD_MAP_H
#define D88_RECORD_MAP_H

#include "d88/d88_image.h"
#include "d88/layout.h"
#include "d88/outcome.h"
#include "d88/sector_flags.h"
#include "d88/sector_place.h"

#include <cstdint>
#include <memory>
#include <span>

namespace d88 {

// What a track's table entry leads to.
enum class TrackStanding : std::uint8_t {
    Absent,     // entry 0 or negative, past the table's end, at or past the disk's end
    IntoHeader, // the entry points into the disk header: it names no track
    PastEnd,    // a track of the disk that the file ends before
    Present,
};

// What keeps the strict rule from giving a record's bytes as the reading
// gives them.
enum class LyingField : std::uint8_t {
    None,        // the strict rule gives them too
    DataSize,    // a data size that does not step to the next record
    SectorCount, // a sector count that ends the track before its records do
    DiskSize,    // a disk size that ends the disk before the track
    NoRecord,    // bytes that are no record, which the strict rule reads as one
};

struct Lie {
    LyingField field = LyingField::None;
    std::int32_t track = 0;  // where it is (all but DiskSize)
    SectorId id;             // the record whose field lied, or that the bytes follow (NoRecord)
    std::int32_t says = 0;   // what the field says (the disk size, as an unsigned number)
    std::int32_t stored = 0; // what is there: bytes stored (DataSize), records held
                             // (SectorCount), bytes that are no record (NoRecord)
    friend constexpr bool operator==(const Lie&, const Lie&) = default;
};

// One record of a track as the reading gives it.
struct Record {
    RecordHeader header;        // its fields as stored
    std::int64_t headerPos = 0; // file position of its header
    std::int32_t available = 0; // bytes of data the reading gives it
    std::int32_t skipped = 0;   // bytes after them, before the next record or the
                                // track's end, that no record holds
    bool bySize = true;         // the reading went on from it as its data size says
    bool uncertain = false;     // its bytes hold a header the track could as well be read from
    Lie pastLie;                // what keeps the strict rule from these bytes

    std::int64_t dataPos() const { return headerPos + kSectorHeaderSize; }
    SectorFlags flags() const { return SectorFlags::of(header.deletedMark, header.status); }
    // Fewer bytes than its size code's sector holds.
    bool storedShort() const { return available < nominalSectorSize(header.id.n); }
};

// A present track's reading, in numbers.
struct TrackFacts {
    TrackStanding standing = TrackStanding::Absent;
    std::int64_t start = 0, end = 0; // its extent in the file (Present)
    std::int64_t recordsEnd = 0;     // where its last record's bytes end
    std::int32_t records = 0;
    std::int32_t lies = 0;      // records read otherwise than their data size says
    std::int32_t uncertain = 0; // uncertain records
    std::int32_t pastLies = 0;  // records the strict rule does not give as the reading does
    std::int64_t leading = 0;   // bytes at its start that are no record
    std::int64_t skipped = 0;   // bytes no record holds, leading ones included
    std::int32_t sameAs = -1;   // the lowest track of the disk with the same extent
    std::int32_t reading = -1;  // which of the file's readings: tracks of any disk with one share it
    bool cut = false;           // read only up to `end`: it holds more candidate headers
                                // than a reading weighs
};

// The selected disk, as the map lays it out.
struct DiskLayout {
    std::int32_t index = -1;
    std::int64_t offset = 0;
    std::int32_t tableEntries = 0; // entries that are track offsets (the rest is track data)
    bool sizeLies = false;         // the size field ends the disk before or inside its records
    std::int64_t end = 0;          // where the disk ends: at its size, or at the end of the
                                   // file when the size lies; never past the file
    std::int64_t claimedEnd = 0;   // where its size field says it ends
    TrackStanding standing[kMaxTracks] = {};
};

// A stretch of a track's records that another track's reading holds too.
struct SharedRun {
    std::int32_t first = 0; // this track's records first..first + count - 1
    std::int32_t count = 0;
    std::int32_t track = 0; // are that lower track's records from..from + count - 1
    std::int32_t from = 0;
};

class RecordMap {
  public:
    // At most this many candidate headers are weighed in one track's extent
    // (16 bytes each while it is read).
    static constexpr std::int32_t kMaxCandidates = 1 << 21;

    // Reads the image's open file through the image; follows its opens.
    constexpr explicit RecordMap(D88Image& image) : image_(&image) {}
    ~RecordMap();
    RecordMap(const RecordMap&) = delete;
    RecordMap& operator=(const RecordMap&) = delete;

    // The image it reads through.
    D88Image& image() const { return *image_; }

    // Selects disk `index` on the image and lays it out: its standing of
    // every table entry, whether its size lies, its tracks' extents.
    // NotThere when no image is open or there is no such disk.
    Outcome loadDisk(std::int32_t index);
    // The disk laid out last (index -1 when none).
    const DiskLayout& disk() const;

    // A track of the disk laid out last; NotThere when it is not present.
    Outcome track(std::int32_t track, TrackFacts* facts);
    // Where a present track's extent ends, without reading it (its reading
    // ends there or before); -1 when it is not present.
    std::int64_t extentEnd(std::int32_t track);
    // Calls fn(record, index) for each of the track's records in stored
    // order, from record `first` on, until fn returns false. NotThere when
    // the track is not present.
    template <class Fn> Outcome eachRecord(std::int32_t track, Fn&& fn, std::int32_t first = 0)
    {
        return walk(
            track, first,
            [](const Record& record, std::int32_t index, void* context) {
                return (*static_cast<Fn*>(context))(record, index);
            },
            &fn);
    }
    // The first record of the track with the ID `at.id`: its facts in
    // `record` and up to dest.size() of its available bytes in `dest`, how
    // many in `copied`. NotThere when the track holds none.
    Outcome findSector(const SectorPlace& at, std::span<std::uint8_t> dest, Record* record,
                       std::int32_t* copied);
    // The stretches of the track's records that lower tracks of the disk
    // hold too, in order: each record is in at most one.
    Outcome sharedRuns(std::int32_t track, std::span<SharedRun> out, std::int32_t* count);

  private:
    Outcome walk(std::int32_t track, std::int32_t first, bool (*fn)(const Record&, std::int32_t, void*),
                 void* context);
    struct State;
    State* state();
    struct Reading* readingOf(std::int32_t track);

    struct DropState {
        void operator()(State* state) const;
    };
    D88Image* image_;
    std::unique_ptr<State, DropState> state_;
};

} // namespace d88

#endif
