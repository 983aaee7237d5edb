// What d88info --compare says: the listing (plain ASCII, lines of at most
// kWidth columns) or the JSON document, each written as the tracks are
// compared.
#ifndef D88INFO_COMPARE_REPORT_H
#define D88INFO_COMPARE_REPORT_H

#include "compare.h"
#include "disk_facts.h"

#include <cstdio>

namespace d88info {

// One of the two dumps: the image as the user named it and the disk taken.
struct ComparedDisk {
    const char* image = nullptr;
    int diskCount = 0;
    std::int64_t fileSize = 0;
    const DiskFacts* facts = nullptr;
    d88::RecordMap* map = nullptr; // with the disk laid out
};

// Compares the two disks and writes the listing to `out`: a line for each
// dump, a note when they carry the labels of two different disks, each track
// with a sector to say something of, and the summary line. False when a read
// failed (`failed` says which and why); the output then stops where it was.
bool compareListing(std::FILE* out, const ComparedDisk (&disks)[2], ComparisonTotals* totals,
                    CompareError* failed);

// The same as one JSON document, without its final newline.
bool compareJson(std::FILE* out, const ComparedDisk (&disks)[2], ComparisonTotals* totals,
                 CompareError* failed);

// "first and second are Disk A and Disk F of ZANVO": when both carry a
// label and the labels differ; "" otherwise.
std::string otherDiskNote(const ComparedDisk (&disks)[2]);

} // namespace d88info

#endif
