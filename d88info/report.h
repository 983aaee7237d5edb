// d88info's reports, written to a stream in plain ASCII, from facts gathered
// beforehand (so that a read error is known before anything is printed).
#ifndef D88INFO_REPORT_H
#define D88INFO_REPORT_H

#include "disk_facts.h"
#include "error_text.h"

#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <vector>

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

// The facts of every indexed disk, with the storage they live in.
struct GatheredImage {
    std::unique_ptr<DiskFacts[]> disks;
    ImageFacts facts;
};

// Gathers every disk of an open image for the summary, naming the image
// `imageName` in its hints. 0 when done; otherwise the reader's error, or
// ENOMEM when there is no memory for the facts, and nothing may be shown.
int gatherImage(d88::D88Image& image, TrackScan& scan, const char* imageName, GatheredImage* out);

// The media type the disk's geometry looks like ("2D", "2DD", "2HD"), or ""
// when no track holds records; the summary notes when the media byte differs.
std::string geometryMedia(const DiskFacts& disk);

// "write-protected", "not write-protected" or "unknown", for the protect byte.
const char* protectMeaning(int value);

// What the disk's boot sector says, as the summary's "boot:" line gives it:
// which label it carries, or its bytes 1-16, or that there is none.
std::string bootLine(const DiskFacts& disk);

// One block per indexed disk, with each disk's boot label; repeats of one
// disk (a disk size of 0) are said once.
void printSummary(std::FILE* out, const ImageFacts& image);

// Every track of the disk's table with the IDs and flags of its records,
// then a map of sector numbers per track. Rescans the tracks; 0, or the
// reader's error when a read failed meanwhile (what was printed is then not
// to be trusted).
int printTracks(std::FILE* out, d88::D88Image& image, TrackScan& scan, const DiskFacts& disk);

// Calls record(r) for each of a track's own records that is a record of
// the disk, and counted(from, to) for each stretch that only the sector
// counts walk through (through no plausible header), as the bytes it
// covers counted from the track's start (`trackStart`, a file position).
template <class Record, class Counted>
void forEachListed(std::span<const FoundRecord> records, std::int64_t trackStart, Record record,
                   Counted counted)
{
    for (std::size_t i = 0; i < records.size();) {
        if (!records[i].counted) {
            record(records[i++]);
            continue;
        }
        const std::int64_t from = records[i].headerPos - trackStart;
        while (i + 1 < records.size() && records[i + 1].counted)
            ++i;
        counted(from, records[i].dataPos + records[i].available - 1 - trackStart);
        ++i;
    }
}

// "bytes 4,112-8,191 of track 12: walked by the sector counts, not
// plausible records".
std::string countedWords(std::int64_t from, std::int64_t to, int track);

// A row of the map: a track from 0 to the highest the table names, and for a
// present track a mark for each sector number from disk.lowR to disk.highR.
struct MapRow {
    int track = 0;
    TrackState state = TrackState::Absent;
    std::string marks;
};

// The map's rows for the disk, rescanning its tracks: 0, or the reader's
// error when a read failed (the rows are then not to be shown).
int mapRows(d88::D88Image& image, TrackScan& scan, const DiskFacts& disk, std::vector<MapRow>* rows);

// Map marks.
inline constexpr char kPresent = '#';
inline constexpr char kMissing = '.';
inline constexpr char kDuplicated = 'D';
inline constexpr char kForeign = 'x';                    // C or H of another track
inline constexpr char kPastLie = '~';                    // read past a field that lied
inline constexpr char kShort = 's';                      // stored short
inline constexpr char kOtherSizeCodes[] = "0123456789+"; // a size code other than the common one

// The mark of a record flagged by the dumper, one for each flag: 'i' ID CRC
// error, 'c' data CRC error, 'a' no address mark, 'm' no data mark, '!'
// another controller status, 'e' deleted data.
char flagMark(d88::SectorFlag flag);

// What a group of marks means on a disk's map.
struct MapMark {
    std::string marks; // one mark, or several standing for one meaning (the size-code digits)
    std::string words;
};

// The marks the disk's map may show, with their words, in the order the
// map's heading gives them: the flags only as they occur on the disk.
std::vector<MapMark> mapLegend(const DiskFacts& disk);

} // namespace d88info

#endif
