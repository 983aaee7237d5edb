// The layouts the reading is held to: each a change to a plain disk (or a
// few disks), the tracks to look at, and what each sector is to give there,
// said from the stored records. Shared by the tests of the reading and of
// the programs' agreement.
#ifndef TESTS_READING_CASES_H
#define TESTS_READING_CASES_H

#include "d88/record_map.h"
#include "image_builder.h"

#include <cstddef>
#include <functional>
#include <map>
#include <tuple>
#include <utility>
#include <vector>

namespace testsupport {

using testimg::Bytes;
using testimg::Disk;

// What one sector is to give.
struct Want {
    bool missing = false;
    int bytes = -1; // how many, from its data on; -1: as many as are stored for it
    bool uncertain = false;
    d88::LyingField past = d88::LyingField::None; // what the strict walk stops at before it
    int lyingR = 0, says = 0, stored = 0;         // where, and what the field or the bytes say
    int hostR = 0, hostOffset = 0; // a record stored inside another's data: where its data starts
    int n = 1;                     // its size code
};

using Key = std::tuple<int, int, int>; // disk, track, sector number

struct Case {
    const char* what;
    std::vector<Disk> disks;
    std::vector<std::pair<int, int>> tracks; // (disk, track) whose sectors 1-16 are checked
    std::map<Key, Want> wants;               // the others give their stored data
    bool movable = true; // no table entry points into another track: tracks may be laid out anew
    // Its disk size lies, so its last track runs on to the file's end: what
    // follows the disk is part of that track.
    bool toFileEnd = false;
    std::vector<std::pair<int, int>> absent = {}; // (disk, track) that are no track at all
};

std::vector<Case> readingCases();

// A disk of four tracks, sectors 1-16 stored in order, 256 bytes each.
Disk plainDisk();

struct Built {
    Bytes bytes;
    std::vector<std::size_t> diskAt;
    std::vector<std::vector<testimg::Placed>> places;
};
Built buildDisks(const std::vector<Disk>& disks);

} // namespace testsupport

#endif
