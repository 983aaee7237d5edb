// D88Image: read-only access to the disks stored in a D88 image file.
//
// Calling order: open(path) -> selectDisk(i) -> any number of reads ->
// close() (or open(nullptr)) or destruction. Nothing here prints, throws,
// creates, writes, renames or removes a file. Every operation that reads
// the file tells what it met: the forms the programs use return an Outcome
// (d88/outcome.h), and outcome() gives the last call's to callers of the
// others, whose results are byte counts and yes-or-no answers. A read that
// fails is told by the call that met it and by no later one. Any argument
// value is safe: a call with a track, size code or length out of range
// delivers nothing.
//
// An instance is not for sharing between threads: every operation, reads
// included, moves its one file position and its read window. Use one
// instance per thread.
//
// On Windows, names are UTF-8.
#ifndef D88_D88_IMAGE_H
#define D88_D88_IMAGE_H

#include "d88/found_record.h"
#include "d88/layout.h"
#include "d88/outcome.h"
#include "d88/sector_flags.h"
#include "d88/sector_place.h"

#include <cstdint>
#include <memory>
#include <span>

namespace d88 {

class FileWindow;
class RecordMap;

// How a track's records stand to other tracks': its first `own` records are
// its own; the rest (records - own of them) are records from, from + 1, ...
// of track `with` (-1 when none).
struct TrackShare {
    std::int32_t records = 0;
    std::int32_t own = 0;
    std::int32_t with = -1;
    std::int32_t from = 0;
};

// What a file is, as opposed to what it is called: device and inode number
// on POSIX systems, volume serial number and file index on Windows. Two
// names lead to the same file exactly when their identities are equal.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t file = 0;
    friend constexpr bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

#ifdef _WIN32
// The identity of the file an open Windows handle (a HANDLE) stands for, by
// the rule the reader takes the image's by, so that a caller can compare its
// own files with the image; false when the system cannot say.
bool handleIdentity(void* handle, FileIdentity* identity);
#endif

class D88Image {
  public:
    // Constant-initialisable: a D88Image with static storage costs nothing at
    // start-up.
    constexpr D88Image() = default;
    ~D88Image();
    D88Image(const D88Image&) = delete;
    D88Image& operator=(const D88Image&) = delete;

    // With a path: closes any image already open, opens the file read-only
    // and indexes up to kMaxDisks disks, following each header's disk size.
    // False when the path cannot be opened or is not a readable regular file;
    // a file too short for one header opens with diskCount() 0.
    // With nullptr: closes the image and returns true.
    bool open(const char* path);
    // open(), telling why it failed.
    Outcome openImage(const char* path);

    // Closes the image: the same as open(nullptr). diskCount() becomes 0,
    // selectedDisk() and mediaType() -1, and every read delivers nothing; the
    // last selection's name, disk size and track table are kept, and
    // diskName(), diskSize() and trackOffset() still give them until the next
    // selectDisk or open of a file.
    void close();

    // Loads the header of disk `index` (0-based). False, leaving no disk
    // selected, when no image is open, the index is out of range or the
    // header cannot be read whole.
    bool selectDisk(std::int32_t index);
    // selectDisk(): NotThere when no image is open or the index is out of
    // range, Failed when the header cannot be read.
    Outcome loadDisk(std::int32_t index);

    // Copies up to maxLen bytes of the data of the sector whose ID is
    // (c, h, r, n) in track `track` (0-163) of the selected disk. Returns the
    // bytes copied: the smaller of the record's data size and maxLen, fewer
    // when the file ends inside the data, 0 when the sector is not found.
    std::int32_t readSector(std::int32_t track, std::int32_t c, std::int32_t h, std::int32_t r,
                            std::int32_t n, std::uint8_t* dest, std::int32_t maxLen);
    // Stores the C, H, R, N bytes of the track's records, in stored order,
    // 4 bytes a record, while they fit in `capacity`. Returns the bytes stored.
    std::int32_t readSectorIds(std::int32_t track, std::uint8_t* dest, std::int32_t capacity);

    // How many of the selected disk's 164 table entries are track offsets.
    // Some images carry fewer: the table ends where the lowest track that
    // lies within the disk begins, and what follows is that track's data. A
    // disk size of 0 bounds nothing, so the end of the file does. An entry
    // that points into the header's fixed fields, or before the end of its
    // own slot, is a stray and ends nothing. kMaxTracks when no entry points
    // within; 0 when no disk is selected.
    std::int32_t tableEntries() const;

    // --- The found records: tracks as their bytes show them, behind record
    // fields that lie (d88/found_record.h says how). Each disk's records are
    // read once into one map and kept once, shared by the tracks and disks
    // that reach them, up to 48 MiB; past that each track is read again
    // when it is asked for. The strict operations above answer from them
    // where they agree.

    // Each of these is Failed when a read it needs fails, and answers
    // nothing then.

    // How the selected disk's table entry `track` stands; Absent when no
    // disk is selected.
    Outcome trackStanding(std::int32_t track, TrackStanding* standing);
    // The records track `track` holds, in stored order, from its record
    // `first` on, into `records`: how many were stored, in `stored`.
    // NotThere when the track is not present. When `more` is given it
    // tells whether more did not fit.
    Outcome foundRecords(std::int32_t track, std::span<FoundRecord> records, std::int32_t* stored,
                         bool* more = nullptr, std::int32_t first = 0);
    // Which of the track's records are its own and which it shares with a
    // track that reached them first; NotThere when the track is not present.
    Outcome trackShares(std::int32_t track, TrackShare* share);
    // For each sector number R, how many of the track's records carry it
    // (0, 1, or 2 for two or more) and the index of the first among them;
    // NotThere when the track is not present. Told without a walk of the
    // track's records, however many tracks share them.
    Outcome sectorNumbers(std::int32_t track, std::span<std::uint8_t, 256> count,
                          std::span<std::int32_t, 256> first);
    // Whether the selected disk's size field lies (found_record.h), and
    // where the disk ends: at its size, or where its last track's records
    // end when the size lies; never past the file. NotThere with no disk
    // selected.
    Outcome diskExtent(bool* sizeLies, std::int64_t* end);
    // The lowest-numbered track whose records are this track's (its table
    // entry is the same); the track itself when there is none lower.
    Outcome sameRecordsAs(std::int32_t track, std::int32_t* lowest);
    // Looks sector `at` up among its track's found records: the first with
    // its ID. When found, copies its fields to `record` and up to dest.size()
    // of its available bytes into `dest`, and stores how many in `copied`;
    // NotThere when it is not in the track.
    Outcome findFoundSector(const SectorPlace& at, std::span<std::uint8_t> dest, FoundRecord* record,
                            std::int32_t* copied);

    // Sector numbers that begin and end every track for readSectors.
    void setSectorRange(std::int32_t first, std::int32_t last);

    // Reads `length` bytes of consecutive sectors starting at (c, h, r, n) in
    // `track`, in pieces of the nominal sector size (128 << n), moving to the
    // next sector number, then to the next track (head 0 -> 1, then next
    // cylinder). Returns the bytes delivered in whole pieces: the run stops at
    // the first piece that cannot be read whole.
    std::int32_t readSectors(std::int32_t track, std::int32_t c, std::int32_t h, std::int32_t r,
                             std::int32_t n, std::uint8_t* dest, std::int32_t length);

    // Number of disks indexed by the last successful open (0-64).
    std::int32_t diskCount() const { return diskCount_; }
    // Where a disk header past the kMaxDisks indexed disks starts, whole
    // within the file; -1 when there is none.
    std::int64_t moreDisksAt() const { return moreDisksAt_; }
    // File offset of indexed disk `index`, or -1 when out of range.
    std::int64_t diskOffset(std::int32_t index) const;
    // Index of the selected disk, -1 when none.
    std::int32_t selectedDisk() const { return selectedDisk_; }
    // Name of the selected disk: up to 16 bytes, ending at the first NUL;
    // "" after a failed selection and on a fresh object (close() keeps it).
    // The pointer is into this object: it stays valid as long as the object,
    // but its text changes with the next selectDisk or open of a file. Copy
    // it to keep it.
    const char* diskName() const { return diskName_; }
    // Media type byte (0-255) of the selected disk, -1 when none.
    std::int32_t mediaType() const { return mediaType_; }
    // Disk size field of the selected disk (may be negative in a damaged
    // image); 0 after a failed selection and on a fresh object (close()
    // keeps it).
    std::int32_t diskSize() const { return diskSize_; }
    // Track table entry `track` of the selected disk, 0 when out of range.
    std::int32_t trackOffset(std::int32_t track) const;
    // Size of the open file in bytes, when it was opened; 0 when none is open.
    std::int64_t fileSize() const;
    // Copies the file's bytes from `offset` into `dest`, whatever they hold,
    // and stores how many arrived in `got`: fewer at the end of the file.
    Outcome readFileBytes(std::int64_t offset, std::span<std::uint8_t> dest, std::int64_t* got);

    // What the last operation that reads met. The byte counts of the strict
    // reads above are short alike at the end of the file and where a read
    // failed: this tells a damaged image from a failing device.
    Outcome outcome() const { return outcome_; }

    // The identity of the open file, taken from the open descriptor, so that
    // it stays right whatever happens to the name it was opened by. False
    // when no file is open.
    bool fileIdentity(FileIdentity* identity) const;

    // Done when the open file is as it was at the open: it never ended
    // before the size it had then, and its size and time of last change (to
    // the nanosecond where the system keeps it) are those of the open.
    // Failed with kErrorImageChanged when not, with an errno value when the
    // system cannot say. A rewrite of the same size within the clock's
    // resolution cannot be seen. Done when no file is open. It reads
    // nothing, and leaves outcome() as it was.
    Outcome checkUnchanged() const;

  private:
    struct Record;

    // readSector and readSectors from a place, filling at most dest.size()
    // bytes (at most 2^31 - 1 of them).
    std::int32_t readSector(const SectorPlace& at, std::span<std::uint8_t> dest);
    std::int32_t readSectors(const SectorPlace& first, std::span<std::uint8_t> dest);

    bool trackStart(std::int32_t track, std::int64_t* pos) const;
    bool readRecordHeader(std::int64_t pos, Record* record);
    bool lookup(const SectorPlace& at, std::int64_t* dataPos, Record* found);
    std::int32_t readFound(const SectorPlace& at, std::uint8_t* dest, std::int32_t maxLen, Record* found);
    std::int32_t bytesAt(std::int64_t pos, std::int32_t len, const std::uint8_t** out);
    void clearSelection();
    RecordMap* recordMap();
    // Ends an operation that reads: its outcome, Failed when a read met an
    // error (and then nothing built from this call's reads is kept).
    Outcome settle(bool there);
    void dropMaps();
    bool lookupKept(const SectorPlace& at, std::int64_t* dataPos, Record* found, bool* known);

    struct CloseFile {
        void operator()(FileWindow* file) const;
    };
    struct DropMap {
        void operator()(RecordMap* map) const;
    };
    std::unique_ptr<FileWindow, CloseFile> file_;  // the open image, read through a window
    std::unique_ptr<RecordMap, DropMap> map_;      // the found records, made when first asked for
    std::uint32_t selections_ = 0;                 // counts selections, so the map follows them
    std::uint32_t mapLaidOut_ = 0;                 // the selection the map was laid out for
    std::int64_t mapBase_ = -1;                    // the disk the map holds
    std::unique_ptr<RecordMap, DropMap> spareMap_; // the map of the disk selected before
    std::int64_t spareBase_ = -1;
    std::int32_t selectedDisk_ = -1;
    std::int32_t diskCount_ = 0;
    std::int64_t moreDisksAt_ = -1;
    std::int32_t firstSector_ = 1;
    std::int32_t lastSector_ = 16;
    std::int32_t diskOffsets_[kMaxDisks] = {};
    std::int32_t diskSize_ = 0;
    std::int32_t diskBase_ = 0;
    std::int32_t trackOffsets_[kMaxTracks] = {};
    std::int32_t mediaType_ = -1;
    char diskName_[kDiskNameLength + 1] = {};
    Outcome outcome_;
};

} // namespace d88

#endif
