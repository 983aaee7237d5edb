// A disk's bytes for another program: as a plain sector image (its sectors
// back to back, no headers), or the disk alone as a D88 image of its own.
// Neither is held whole: the output takes it a piece at a time
// (ExportSource), as it is read.
#ifndef D88INFO_RAW_EXPORT_H
#define D88INFO_RAW_EXPORT_H

#include "disk_facts.h"

#include <cstdint>
#include <string>

namespace d88info {

struct Export {
    bool plain = false;      // a plain sector image; else the disk's own bytes
    std::int64_t from = 0;   // the disk's own bytes: the file offset they start at
    std::int64_t length = 0; // bytes delivered
    std::int64_t wanted = 0; // what a complete disk would give
    std::string stop;        // why fewer arrive, empty when complete
    // A plain sector image: track 0's size code and sector numbers lowR up
    // over perTrack, on tracks 0 to lastTrack, each sector at its offset.
    int disk = 0;
    int sizeCode = 1;
    int lowR = 1;
    int perTrack = 0;
    int lastTrack = -1;
};

// No report is larger than 16 times the image and 1 MiB, and no export is
// larger than that or 64 MiB: a larger layout comes from a damaged or
// hostile table, not a disk.
std::int64_t proportionLimit(std::int64_t fileSize);
std::int64_t exportLimit(std::int64_t fileSize);

// A plain sector image of the disk: every sector position of the geometry
// track 0 gives, over the tracks up to the highest the table names (also
// those past the end of the file); zeros where a sector is missing or stored
// short. False with `error` set when there is nothing to export or the
// layout asks for more than an export may hold, or with `readError` set
// when a read failed.
bool exportRaw(d88::RecordMap& map, const DiskFacts& disk, Export* result, std::string* error,
               int* readError);

// The disk's bytes from its offset for its extent, never past the end of
// the file: a D88 image of that disk alone. False with `error` set when the
// disk has no size of its own, or one larger than an export may hold.
bool exportDisk(const DiskFacts& disk, Export* result, std::string* error);

} // namespace d88info

#endif
