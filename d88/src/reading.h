// One extent's reading (record_map.h states the rule), kept in a few numbers
// and the places where it departs from the records' data sizes: memory for a
// track, not for each of its records. A cursor walks it record by record.
#ifndef D88_READING_H
#define D88_READING_H

#include "d88/record_map.h"
#include "file_window.h"

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace d88 {

// What the strict rule does on a track: where its walk can start (-1 when
// the disk size field keeps it from the track) and the disk size it checks.
struct StrictStart {
    std::int64_t start = -1;
    std::int32_t diskSize = 0;
};

struct Reading {
    std::int64_t start = 0, end = 0; // the extent
    std::int64_t first = -1;         // its first record's header; -1 when it has none
    std::int64_t recordsEnd = 0;     // where its last record's bytes end
    bool cut = false;                // the candidates ran out before the extent did
    std::int32_t number = 0;         // among the file's readings, in the order they were made
    // Records the reading did not go on from by their data size: the header
    // and the next header (or the extent's end), in stored order.
    std::vector<std::pair<std::int64_t, std::int64_t>> jumps;
    std::vector<std::int32_t> uncertain; // indexes of uncertain records, ascending
    // Indexes [from, to) of the records the strict rule gives as the reading
    // does, ascending; the others are past `lie`.
    std::vector<std::pair<std::int32_t, std::int32_t>> strict;
    Lie lie;
    std::int32_t records = 0, lies = 0;
    std::int64_t skipped = 0;
    bool failed = false; // a read failed while it was made: not to be kept
    // The first record of each ID, by ID: made when the track is first
    // looked in (16 bytes an ID), so that no lookup walks the track.
    struct FirstOfId {
        std::uint32_t id;
        std::int32_t index;
        std::int64_t pos;
    };
    std::vector<FirstOfId> firstOfId;
};

// An ID as one number: C, H, R and N from the low byte up.
inline std::uint32_t idKey(const SectorId& id)
{
    return static_cast<std::uint32_t>(id.c) | static_cast<std::uint32_t>(id.h) << 8 |
           static_cast<std::uint32_t>(id.r) << 16 | static_cast<std::uint32_t>(id.n) << 24;
}

class ExtentPass;

// Reads the extent [start, end). `strict` says where the strict rule walks
// from, `track` names it in the lie. `pass` is the last extent's pass: used
// when it serves this extent, else replaced. Failed (reading.failed, with the
// window's error) when a read fails or memory runs out.
Reading readExtent(FileWindow& file, std::int64_t start, std::int64_t end, const StrictStart& strict,
                   std::int32_t track, std::unique_ptr<ExtentPass>& pass);

// Walks a reading's records in stored order.
class ReadingCursor {
  public:
    ReadingCursor(FileWindow& file, const Reading& reading);
    // At the reading's record `index`, whose header is at `pos`.
    ReadingCursor(FileWindow& file, const Reading& reading, std::int32_t index, std::int64_t pos);
    bool done() const { return pos_ < 0; }
    std::int32_t index() const { return index_; }
    // The record here; false when its header cannot be read (the window
    // holds the error).
    bool record(Record* out);
    void next();

  private:
    bool load();
    FileWindow* file_;
    const Reading* reading_;
    std::int64_t pos_;
    std::int32_t index_ = 0;
    std::size_t jump_ = 0, uncertain_ = 0, strict_ = 0;
    std::int64_t next_ = -1;
};

// Where the record at `pos` with data size `dataSize` goes on to when the
// reading steps by its data size: its data's end, or the extent's end when
// the file ends inside its data or fewer bytes than a header's are left.
std::int64_t sizeStep(std::int64_t pos, std::int32_t dataSize, std::int64_t end, std::int64_t fileSize);

// The bytes a record at `pos` gives when the next header is at `next`: its
// data size when the step is by it; otherwise as much as lies before `next`,
// at most the larger of its data size and its size code's sector.
std::int32_t givenBytes(std::int64_t pos, const RecordHeader& header, std::int64_t next, bool bySize,
                        std::int64_t fileSize);

} // namespace d88

#endif
