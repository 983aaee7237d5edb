// d88info's reports, written to a stream in plain ASCII, from facts gathered
// beforehand (so that a read error is known before anything is printed).
// No line is longer than kWidth columns.
#ifndef D88INFO_REPORT_H
#define D88INFO_REPORT_H

#include "disk_facts.h"

#include <array>
#include <cstdio>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace d88info {

inline constexpr std::size_t kWidth = 100;

// Facts of the disks of a whole image, the way the summary shows them.
struct ImageFacts {
    const char* imageName = "IMAGE";                   // as the user named it, for the hints
    int diskCount = 0;                                 // disks, those inside another's records apart
    std::span<const std::unique_ptr<DiskFacts>> disks; // one for each indexed disk
    // When 64 disks are indexed and another disk header follows the last,
    // the file offset where it starts; -1 otherwise.
    std::int64_t moreDisksAt = -1;
};

// The facts of every indexed disk, each held apart: 64 of them in one block
// would be a megabyte and a half taken fresh from the system, and touched
// page by page, on every run.
struct GatheredImage {
    std::vector<std::unique_ptr<DiskFacts>> disks;
    ImageFacts facts;
};

// Gathers every disk of the map's image for the summary and the document,
// naming the image `imageName` in its hints. 0 when done; otherwise the
// reader's error, or ENOMEM when there is no memory for the facts, and
// nothing may be shown.
int gatherImage(d88::RecordMap& map, const char* imageName, GatheredImage* out);

// The media type the disk's geometry looks like ("2D", "2DD", "2HD"), or ""
// when no track holds records; the summary notes when the media byte differs.
std::string geometryMedia(const DiskFacts& disk);

// "write-protected", "not write-protected" or "unknown", for the protect byte.
const char* protectMeaning(int value);

// What the disk's boot sector says, as the summary's "boot:" line gives it.
std::string bootLine(const DiskFacts& disk);

// Why a disk that is not a D88 disk is not one.
std::string notD88Reason(const DiskFacts& disk);

// One block per indexed disk; repeats of one disk (a disk size of 0) are
// said once.
void printSummary(std::FILE* out, const ImageFacts& image);

// Every track of the disk's table with the IDs and flags of its records,
// each record listed once, then the map of sector numbers. Reads the tracks
// again: 0, or the reader's error when a read failed meanwhile (what was
// printed is then not to be trusted).
int printTracks(std::FILE* out, d88::RecordMap& map, const DiskFacts& disk);

// --- the map ---

// A row of the map: a track from 0 to the highest the table names, and for a
// present track a mark for each sector number from disk.lowR to disk.highR.
struct MapRow {
    int track = 0;
    TrackState state = TrackState::Absent;
    std::string marks;
};

// What one walk of a reading learns for the map, by sector number: how many
// records carry it (0, 1, 2 for more), and of the first its C/H and the mark
// it has where that C/H is the track's own.
struct MapCells {
    std::array<std::uint8_t, 256> count{}, c{}, h{};
    std::array<char, 256> mark{};
};
// The cells of readings that several disks of a file read, by reading number
// and the disk's common size code (which the marks depend on).
using SharedCells = std::map<std::pair<std::int32_t, int>, MapCells>;

// The map's rows for the disk, reading its tracks: 0, or the reader's error
// (the rows are then not to be shown). With `shared`, a reading an earlier
// disk reads is taken from there when its cells are kept, and kept there
// when walked.
int mapRows(d88::RecordMap& map, const DiskFacts& disk, std::vector<MapRow>* rows,
            SharedCells* shared = nullptr);

inline constexpr char kPresent = '#';
inline constexpr char kMissing = '.';
inline constexpr char kDuplicated = 'D';

// What a group of marks means on a disk's map.
struct MapMark {
    std::string marks; // one mark, or several standing for one meaning (the size-code digits)
    std::string words;
};

// The marks the disk's map may show, with their words: '#' and '.', then in
// the order in which one wins over another on a cell, those that occur on
// the disk (the flags, short, uncertain and read-past marks only then).
std::vector<MapMark> mapLegend(const DiskFacts& disk);

// The mark of a cell one record fills: the first that applies of the
// legend's order.
char markOf(const Record& record, int track, int commonSizeCode);

// "[data CRC error, stored short, 100 of 256 bytes]": what else there is to
// say of a record, "" when nothing.
std::string recordWords(const Record& record);

// Writes words separated by spaces, starting new lines indented by `indent`
// so that no line passes kWidth.
class Wrapped {
  public:
    Wrapped(std::FILE* out, std::size_t indent) : out_(out), indent_(indent) {}
    ~Wrapped() { finish(); }
    void word(const std::string& text);
    void finish();
    // Leaves the line as it stands: what follows a read that failed is not
    // to look like what a whole run would show.
    void abandon() { column_ = 0; }

  private:
    std::FILE* out_;
    std::size_t indent_;
    std::size_t column_ = 0;
};

} // namespace d88info

#endif
