// A disk's bytes for another program: as a plain sector image (its sectors
// back to back, no headers), or the disk alone as a D88 image of its own.
// Buffers are allocated without throwing; a failure is an error like any.
#ifndef D88INFO_RAW_EXPORT_H
#define D88INFO_RAW_EXPORT_H

#include "disk_facts.h"

#include <cstdint>
#include <memory>
#include <string>

namespace d88info {

struct Export {
    std::unique_ptr<std::uint8_t[]> bytes; // the bytes, or none for a disk read as it is written
    std::int64_t from = 0;                 // without bytes: the file offset they are read from
    std::int64_t length = 0;               // bytes delivered
    std::int64_t wanted = 0;               // what a complete disk would give
    std::string stop;                      // why fewer arrived, empty when complete
    std::string holes;                     // where zeros stand for sectors the disk lacks, empty when none
    int readError = 0;                     // reading met this error: nothing is to be written
};

// Larger exports would come from a damaged or hostile table, not a disk.
inline constexpr std::int64_t kMaxExport = 64 * 1024 * 1024;

// Every sector position of the disk's geometry, each at its offset: track
// 0's size code and the range of its sector numbers, over the tracks up to
// the highest the table names (also those past the end of the file), each
// sector looked up among its track's found records; zeros where one is
// missing or stored short, and `holes` says where. False with `error` set
// when there is nothing to export or no memory for it, or with
// result->readError set when a read failed.
bool exportRaw(d88::D88Image& image, TrackScan& scan, const DiskFacts& disk, Export* result,
               std::string* error);

// The disk's bytes from its offset for its size, never past the end of the
// file: a D88 image of that disk alone. Nothing is read or held here: the
// bytes are read from the image a piece at a time as they are written
// (ExportSource). False with `error` set when the disk has no size of its
// own, or one larger than an export may hold.
bool exportDisk(const DiskFacts& disk, Export* result, std::string* error);

} // namespace d88info

#endif
