// D88Image: the strict reader. It reads an image exactly as its fields say:
// disks follow one another by their disk size fields, a track starts at its
// table entry, a sector is found by walking its track's records by their data
// sizes up to the record whose sector count ends the track, and a run of
// sectors moves on from sector to sector and track to track. Nothing is
// guessed: where a field lies, the strict reader follows the lie. The record
// map (d88/record_map.h) reads tracks as their bytes show them; it is what
// the programs use.
//
// Calling order: open(path) -> selectDisk(i) -> any number of reads ->
// close() (or open(nullptr)) or destruction. Nothing here prints, throws,
// creates, writes, renames or removes a file. Every operation that reads
// tells what it met: the forms that return an Outcome (d88/outcome.h) say
// it, and outcome() gives the last call's to callers of the others, whose
// results are byte counts and yes-or-no answers. Any argument value is safe:
// a track, size code or length out of range delivers nothing.
//
// An instance is not for sharing between threads: every read moves its one
// file position and its read window. On Windows, names are UTF-8.
#ifndef D88_D88_IMAGE_H
#define D88_D88_IMAGE_H

#include "d88/layout.h"
#include "d88/outcome.h"
#include "d88/sector_place.h"

#include <cstdint>
#include <memory>
#include <span>

namespace d88 {

class FileWindow;
class RecordMap;

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
    // and indexes up to kMaxDisks disks, following each header's disk size
    // (a negative size, or an offset past 2 GiB, ends the index). False when
    // the path cannot be opened or is not a readable regular file; a file
    // too short for one header opens with diskCount() 0. A file of up to 2 MiB is read whole
    // here, never again: all read of it is one state of the file, and one that changes under
    // three such readings in a row fails with kErrorImageChanged. With nullptr: closes, true.
    bool open(const char* path);
    // open(), telling why it failed.
    Outcome openImage(const char* path);
    // The same as open(nullptr). diskCount() becomes 0, selectedDisk() and
    // mediaType() -1, and every read delivers nothing; the last selection's
    // name, disk size and track table stay readable.
    void close();

    // Loads the header of disk `index` (0-based). False, leaving no disk
    // selected, when no image is open, the index is out of range or the
    // header cannot be read whole.
    bool selectDisk(std::int32_t index);
    // selectDisk(): NotThere when no image is open or the index is out of
    // range, Failed when the header cannot be read.
    Outcome loadDisk(std::int32_t index);

    // Copies up to maxLen bytes of the data of the sector whose ID is
    // (c, h, r, n) in track `track` (0-163) of the selected disk: the first
    // record with that ID among those the walk examines. Returns the bytes
    // copied: the smaller of the record's data size and maxLen, fewer when
    // the file ends inside the data, 0 when the sector is not found.
    std::int32_t readSector(std::int32_t track, std::int32_t c, std::int32_t h, std::int32_t r,
                            std::int32_t n, std::uint8_t* dest, std::int32_t maxLen);
    // Stores the C, H, R, N bytes of the track's records, in stored order,
    // 4 bytes a record, while they fit in `capacity`. Unlike a lookup, the
    // listing goes on past a count of 0. Returns the bytes stored.
    std::int32_t readSectorIds(std::int32_t track, std::uint8_t* dest, std::int32_t capacity);

    // Sector numbers that begin and end every track for readSectors; stored
    // without a check.
    void setSectorRange(std::int32_t first, std::int32_t last);
    // Reads `length` bytes of consecutive sectors starting at (c, h, r, n) in
    // `track`, in pieces of the nominal sector size (128 << n; one piece for
    // a size code no record can hold), moving to the next sector number, then
    // to the next track (head 0 -> 1, then the next cylinder). Returns the
    // bytes delivered in whole pieces: the run stops at the first piece that
    // cannot be read whole.
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
    // "" after a failed selection and on a fresh object. The pointer is into
    // this object: its text changes with the next selection. Copy it to keep
    // it.
    const char* diskName() const { return diskName_; }
    // Media type byte (0-255) of the selected disk, -1 when none.
    std::int32_t mediaType() const { return mediaType_; }
    // Disk size field of the selected disk, as a signed 32-bit number; 0
    // after a failed selection and on a fresh object.
    std::int32_t diskSize() const { return diskSize_; }
    // Track table entry `track` of the selected disk, 0 when out of range.
    std::int32_t trackOffset(std::int32_t track) const;
    // Size of the open file in bytes, when it was opened; 0 when none is open.
    std::int64_t fileSize() const;

    // Copies the file's bytes from `offset` into `dest`, whatever they hold,
    // and stores how many arrived in `got`: fewer at the end of the file.
    Outcome readFileBytes(std::int64_t offset, std::span<std::uint8_t> dest, std::int64_t* got);

    // What the last operation that reads met. The byte counts of the strict
    // reads are short alike at the end of the file and where a read failed:
    // this tells a damaged image from a failing device.
    Outcome outcome() const { return outcome_; }

    // The identity of the open file, taken from the open descriptor, so that
    // it stays right whatever happens to the name it was opened by. False
    // when no file is open.
    bool fileIdentity(FileIdentity* identity) const;

    // Done when the open file is as it was at the open: it never ended before the size it had then, and
    // its size, the time its bytes last changed and the time its bytes or attributes did are those of the
    // open. Failed with kErrorImageChanged when not, with an errno value when the system cannot say; Done,
    // with no look, when no file is open or it was read whole at the open. It reads nothing; outcome() stays.
    Outcome checkUnchanged() const;

  private:
    friend class RecordMap; // reads the same file through the same window

    bool trackStart(std::int32_t track, std::int64_t* pos) const;
    std::int32_t find(const SectorPlace& at, std::span<std::uint8_t> dest);
    void clearSelection();
    // Ends an operation that reads: its outcome, Failed when a read met an
    // error.
    Outcome settle(bool there);

    struct CloseFile {
        void operator()(FileWindow* file) const;
    };
    std::unique_ptr<FileWindow, CloseFile> file_; // the open image, read through a window
    std::uint32_t opened_ = 0;                    // counts opens, so a record map follows them
    std::int32_t selectedDisk_ = -1;
    std::int32_t diskCount_ = 0;
    std::int64_t moreDisksAt_ = -1;
    std::int32_t firstSector_ = 1;
    std::int32_t lastSector_ = 16;
    std::int32_t diskOffsets_[kMaxDisks] = {};
    std::int32_t diskSize_ = 0;
    std::int32_t trackOffsets_[kMaxTracks] = {};
    std::int32_t mediaType_ = -1;
    char diskName_[kDiskNameLength + 1] = {};
    Outcome outcome_;
};

} // namespace d88

#endif
