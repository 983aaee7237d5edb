// What the page shows for one image: what zanvo-extract would cut from it and
// say about it, and d88info's document of its facts, each found through the
// same library calls the two programs make, and nothing written anywhere.
#ifndef ZANVO_WEB_EXAMINE_H
#define ZANVO_WEB_EXAMINE_H

#include "recognition.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zanvoweb {

struct CutFile {
    std::string name;
    std::vector<std::uint8_t> bytes; // exactly what zanvo-extract writes to the file
    int holes = 0;                   // sectors missing or stored short: zeros in the file
    int flagged = 0;                 // sectors the dumper flagged, written as stored
    int uncertain = 0;               // sectors the image leaves in doubt
    // With several dumps: how many of its sectors each dump gave, in the
    // order of the dumps, and how many of them are disputed between dumps.
    std::vector<int> from;
    int disputed = 0;
};

// One dump of a set: where the page put it, and its name as the user knows it.
struct DumpFile {
    const char* path;
    const char* name;
};

// One disk of the file, as zanvo-extract's recognition sees it.
struct DiskSeen {
    int index = 0;
    std::string kind; // "A", "F", "other" (a D88 disk of neither) or "notD88"
};

struct Examination {
    std::string name; // the image's name as the user knows it
    // The dumps joined, the image first, as `zanvo-extract --also` joins
    // them; empty for one image.
    std::vector<std::string> dumps;

    // zanvo-extract's part, for the disk `cut`.
    std::vector<DiskSeen> disks; // each disk of the file once (a disk size of 0 repeats one)
    int cut = 0;
    zanvo::DiskKind kind = zanvo::DiskKind::Unknown;
    std::vector<CutFile> files;        // in the order the tool writes them
    std::vector<std::string> warnings; // what follows "zanvo-extract: warning: "
    std::vector<std::string> errors;   // what follows "zanvo-extract: " for a failure
    std::string tally;                 // the tool's last word when a file is not all there

    // d88info's part: what `d88info --json IMAGE` prints (also for a file
    // that is not a D88 image), its tracks without their records, or why the
    // image could not be read.
    std::string info;      // the JSON document; empty when it could not be made
    std::string infoError; // what follows "d88info: " when the image could not be read
};

// Examines the image file at `path`, known to the user as `name`, cutting
// disk `disk` as `zanvo-extract --disk=K` does; with a negative `disk`, the
// first disk of the file that is Disk A or Disk F (disk 0 when none is), so
// that a title disk behind a blank one is not missed.
void examineImage(const char* path, const char* name, int disk, Examination* out);

// The same for several dumps of one disk, the first the image: its disks,
// its document and the disk cut are the first's, and the files are cut from
// all of them together, as `zanvo-extract --also` cuts them (each other
// dump's disk the first of the same kind in it). A dump of another disk is
// an error, and nothing is cut.
void examineImages(std::span<const DumpFile> dumps, int disk, Examination* out);

// The examination for the page's script, the files' bytes left out (the page
// takes them separately): name, disks (index and kind each), cut, disk ("A",
// "F" or ""), recognised (the tool's message on recognising it, in UTF-8, or
// ""), files as names, sizes, holes and flagged sectors, warnings, errors,
// tally, info (d88info's document, or null) and infoError; with several
// dumps, dumps (their names) and for each file from (its sectors from each
// dump) and disputed.
std::string examinationJson(const Examination& exam);

} // namespace zanvoweb

#endif
