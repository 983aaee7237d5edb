// D88Image: read-only access to the disks stored in a D88 image file.
//
// Calling order: open(path) -> selectDisk(i) -> any number of reads ->
// close() (or open(nullptr)) or destruction. Nothing here prints, throws,
// creates, writes, renames or removes a file; every operation reports
// through its result. Reads return the number of bytes delivered, 0 meaning
// nothing. Any argument value is safe: a call with a track, size code or
// length out of range delivers nothing.
//
// An instance is not for sharing between threads: every operation, reads
// included, moves its one file position and its read window. Use one
// instance per thread.
//
// On Windows, names are UTF-8.
#ifndef D88_D88_IMAGE_H
#define D88_D88_IMAGE_H

#include "d88/layout.h"

#include <cstdint>
#include <memory>
#include <span>

namespace d88 {

class FileWindow;

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

    // Closes the image: the same as open(nullptr).
    void close();

    // Loads the header of disk `index` (0-based). False, leaving no disk
    // selected, when no image is open, the index is out of range or the
    // header cannot be read whole.
    bool selectDisk(std::int32_t index);

    // Copies up to maxLen bytes of the data of the sector whose ID is
    // (c, h, r, n) in track `track` (0-163) of the selected disk. Returns the
    // bytes copied: the smaller of the record's data size and maxLen, fewer
    // when the file ends inside the data, 0 when the sector is not found.
    std::int32_t readSector(std::int32_t track, std::int32_t c, std::int32_t h, std::int32_t r,
                            std::int32_t n, std::uint8_t* dest, std::int32_t maxLen);
    // The same, filling at most dest.size() bytes (at most 2^31 - 1 of them).
    std::int32_t readSector(std::int32_t track, SectorId id, std::span<std::uint8_t> dest);

    // Stores the C, H, R, N bytes of the track's records, in stored order,
    // 4 bytes a record, while they fit in `capacity`. Returns the bytes stored.
    std::int32_t readSectorIds(std::int32_t track, std::uint8_t* dest, std::int32_t capacity);
    // The same listing into `ids`, returning the number of IDs stored. When
    // `more` is given it tells whether the track holds further records that
    // did not fit, so a caller can list again into a larger span.
    std::int32_t readSectorIds(std::int32_t track, std::span<SectorId> ids, bool* more = nullptr);

    // Whether track `track` of the selected disk is present: its table entry
    // is not 0 and lies within the disk size. False when no disk is selected.
    bool trackPresent(std::int32_t track) const;

    // Sector numbers that begin and end every track for readSectors.
    void setSectorRange(std::int32_t first, std::int32_t last);

    // Reads `length` bytes of consecutive sectors starting at (c, h, r, n) in
    // `track`, in pieces of the nominal sector size (128 << n), moving to the
    // next sector number, then to the next track (head 0 -> 1, then next
    // cylinder). Returns the bytes delivered in whole pieces: the run stops at
    // the first piece that cannot be read whole.
    std::int32_t readSectors(std::int32_t track, std::int32_t c, std::int32_t h, std::int32_t r,
                             std::int32_t n, std::uint8_t* dest, std::int32_t length);
    // The same run filling `dest` (at most 2^31 - 1 bytes of it).
    std::int32_t readSectors(std::int32_t track, SectorId first, std::span<std::uint8_t> dest);

    // Number of disks indexed by the last successful open (0-64).
    std::int32_t diskCount() const { return diskCount_; }
    // File offset of indexed disk `index`, or -1 when out of range.
    std::int64_t diskOffset(std::int32_t index) const;
    // Index of the selected disk, -1 when none.
    std::int32_t selectedDisk() const { return selectedDisk_; }
    // Name of the selected disk: up to 16 bytes, ending at the first NUL,
    // "" when none. The pointer is into this object: it stays valid as long
    // as the object, but its text changes with the next selectDisk or open
    // of a file. Copy it to keep it.
    const char* diskName() const { return diskName_; }
    // Media type byte (0-255) of the selected disk, -1 when none.
    std::int32_t mediaType() const { return mediaType_; }
    // Disk size field of the selected disk (may be negative in a damaged
    // image), 0 when none.
    std::int32_t diskSize() const { return diskSize_; }
    // Track table entry `track` of the selected disk, 0 when out of range.
    std::int32_t trackOffset(std::int32_t track) const;

  private:
    struct Record;

    bool trackStart(std::int32_t track, std::int64_t* pos) const;
    template <class Store>
    std::int32_t listIds(std::int32_t track, std::int32_t maxRecords, bool* more, Store store);
    bool readRecordHeader(std::int64_t pos, Record* record);
    std::int32_t bytesAt(std::int64_t pos, std::int32_t len, const std::uint8_t** out);
    void clearSelection();

    struct CloseFile {
        void operator()(FileWindow* file) const;
    };
    std::unique_ptr<FileWindow, CloseFile> file_; // the open image, read through a window
    std::int32_t selectedDisk_ = -1;
    std::int32_t diskCount_ = 0;
    std::int32_t firstSector_ = 1;
    std::int32_t lastSector_ = 16;
    std::int32_t diskOffsets_[kMaxDisks] = {};
    std::int32_t diskSize_ = 0;
    std::int32_t diskBase_ = 0;
    std::int32_t trackOffsets_[kMaxTracks] = {};
    std::int32_t mediaType_ = -1;
    char diskName_[kDiskNameLength + 1] = {};
};

} // namespace d88

#endif
