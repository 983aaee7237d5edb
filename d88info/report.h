// d88info's reports, written to a stream in plain ASCII, from facts gathered
// beforehand (so that a read error is known before anything is printed).
#ifndef D88INFO_REPORT_H
#define D88INFO_REPORT_H

#include "disk_facts.h"

#include <cstdio>
#include <memory>
#include <span>
#include <string>

namespace d88info {

// Facts of the disks of a whole image, the way the summary shows them.
struct ImageFacts {
    const char* imageName = "IMAGE"; // as the user named it, for the hints
    int diskCount = 0;
    std::span<const DiskFacts> disks; // one for each indexed disk
    // When 64 disks are indexed and another disk header follows the last,
    // the file offset where it starts; -1 otherwise.
    std::int64_t moreDisksAt = -1;
};

// Where a 65th disk would start, when the file holds one; -1 otherwise.
std::int64_t moreDisksAt(d88::D88Image& image);

// The facts of every indexed disk, with the storage they live in.
struct GatheredImage {
    std::unique_ptr<DiskFacts[]> disks;
    ImageFacts facts;
};

// Gathers every disk of an open image for the summary, naming the image
// `imageName` in its hints. False when there is no memory for it; a read
// error meanwhile shows in image.ioError().
bool gatherImage(d88::D88Image& image, TrackScan& scan, const char* imageName, GatheredImage* out);

// One block per indexed disk, with each disk's boot label; repeats of one
// disk (a disk size of 0) are said once.
void printSummary(std::FILE* out, const ImageFacts& image);

// Every track of the selected disk's table with the IDs and flags of its
// records, then a map of sector numbers per track. Rescans the tracks.
void printTracks(std::FILE* out, d88::D88Image& image, TrackScan& scan, const DiskFacts& disk);

// One row of the map: a character for each sector number from disk.lowR to
// disk.highR (present, missing, duplicated, another track's C/H, flagged,
// another size code) for the records of track `track`.
std::string mapRow(const DiskFacts& disk, int track, std::span<const SectorRecord> records);

// Map marks, for the legends of any page that draws the map.
inline constexpr char kPresent = '#';
inline constexpr char kMissing = '.';
inline constexpr char kDuplicated = 'D';
inline constexpr char kForeign = 'x'; // C or H of another track
inline constexpr char kFlagged = '!'; // a controller status or a deleted-data mark

} // namespace d88info

#endif
