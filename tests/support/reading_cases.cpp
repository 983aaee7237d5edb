#include "reading_cases.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace testsupport {

using testimg::findRecord;

namespace {

using LF = d88::LyingField;

// Sectors `from`-16 of `track` read past one lie: the field of sector `r`
// that says `says` where `stored` is what the image holds.
struct Past {
    int from = 0; // 0: no sector is
    LF field = LF::None;
    int r = 0, says = 0, stored = 0;
    int track = 1;
};

// One layout: a change to a plain disk, the tracks checked, and what the
// sectors there give where it is not their stored data.
struct Layout {
    const char* what;
    std::function<void(Disk&)> change;
    std::vector<std::pair<int, int>> tracks = {{0, 1}};
    Past past = {};
    std::vector<std::pair<Key, Want>> wants = {};
    bool movable = true;
    bool toFileEnd = false;
    std::vector<std::pair<int, int>> absent = {};
    int secondTracks = 0; // a second plain disk of this many tracks after it
};

// A 16-byte header.
Bytes header(int c, int h, int r, int n, int count, int density, int dataSize)
{
    Bytes out(16, 0);
    out[0] = static_cast<std::uint8_t>(c), out[1] = static_cast<std::uint8_t>(h);
    out[2] = static_cast<std::uint8_t>(r), out[3] = static_cast<std::uint8_t>(n);
    out[4] = static_cast<std::uint8_t>(count), out[5] = static_cast<std::uint8_t>(count >> 8);
    out[6] = static_cast<std::uint8_t>(density);
    out[14] = static_cast<std::uint8_t>(dataSize), out[15] = static_cast<std::uint8_t>(dataSize >> 8);
    return out;
}

// Track 1's sector `r` stored as `stored` bytes under a data size of
// `dataSize`, with `inside` written `at` bytes into its data.
void storeShort(Disk& d, int r, std::size_t stored, int dataSize = 256, const Bytes& inside = {}, int at = 0)
{
    testimg::Record* rec = findRecord(d, 1, r);
    rec->data.resize(stored);
    rec->dataSize = static_cast<std::uint16_t>(dataSize);
    std::copy(inside.begin(), inside.end(), rec->data.begin() + at);
}

// Garbage after sector 5's 256 bytes of track 1: `garbage` bytes of 0x11,
// `decoy` written 8 bytes into them.
void garbageAfterSector5(Disk& disk, int garbage, const Bytes& decoy = {})
{
    testimg::Record* r5 = findRecord(disk, 1, 5);
    r5->dataSize = 256;
    r5->data.resize(256 + static_cast<std::size_t>(garbage), 0x11);
    std::copy(decoy.begin(), decoy.end(), r5->data.begin() + 256 + 8);
}

// Track 2's table entry at `extra` bytes past track 1's sector `r` header.
void entryInto(Disk& d, int r, std::size_t extra)
{
    std::vector<testimg::Placed> places;
    testimg::buildDisk(d, &places);
    for (const auto& p : places)
        if (p.track == 1 && p.r == r)
            d.trackOffsets[2] = static_cast<std::uint32_t>(p.header + extra);
}

void eachRecord(Disk& d, const std::function<void(testimg::Record&)>& change)
{
    for (auto& rec : d.tracks[1].records)
        change(rec);
}

const Want kMissing{.missing = true};
const Want kWhole256{.bytes = 256}; // sector 5 before garbage

// Sectors `from`-16 of `track` missing.
std::vector<std::pair<Key, Want>> missingFrom(int track, int from)
{
    std::vector<std::pair<Key, Want>> out;
    for (int r = from; r <= 16; ++r)
        out.push_back({{0, track, r}, kMissing});
    return out;
}

std::vector<Layout> layouts()
{
    std::vector<Layout> out = {
        {"a plain disk", [](Disk&) {}, {{0, 0}, {0, 1}, {0, 3}}},
        {"single-density records", [](Disk& d) { eachRecord(d, [](auto& rec) { rec.reserved[0] = 0x40; }); }},
        // The strict walk gives it nothing.
        {"a data size of 0 over 256 stored bytes",
         [](Disk& d) { findRecord(d, 1, 3)->dataSize = 0; },
         {{0, 1}},
         {3, LF::DataSize, 3, 0, 256}},
        {"a sector stored short: 100 bytes under a data size of 256",
         [](Disk& d) { storeShort(d, 3, 100); },
         {{0, 1}},
         {4, LF::DataSize, 3, 256, 100}},
        {"a data size that lands on a later header swallows the record between, in doubt",
         [](Disk& d) { findRecord(d, 1, 3)->dataSize = 256 + 16 + 256; },
         {{0, 1}},
         {},
         {{{0, 1, 3}, {.bytes = 528, .uncertain = true}}, {{0, 1, 4}, kMissing}}},
        {"every sector count says 8 of 16",
         [](Disk& d) { eachRecord(d, [](auto& rec) { rec.count = 8; }); },
         {{0, 1}},
         {9, LF::SectorCount, 8, 8, 16}},
        {"the first record's count says 0",
         [](Disk& d) { d.tracks[1].records.front().count = 0; },
         {{0, 1}},
         {1, LF::SectorCount, 1, 0, 16}},
        {"every count says 0xFFFF", [](Disk& d) { eachRecord(d, [](auto& rec) { rec.count = 0xFFFF; }); }},
        {"one byte of garbage between two records",
         [](Disk& d) { garbageAfterSector5(d, 1); },
         {{0, 1}},
         {6, LF::NoRecord, 5, 0, 1},
         {{{0, 1, 5}, kWhole256}}},
        {"garbage holding a header whose data sizes lead nowhere",
         [](Disk& d) { garbageAfterSector5(d, 48, header(0, 1, 6, 1, 16, 0, 1000)); },
         {{0, 1}},
         {6, LF::NoRecord, 5, 0, 48},
         {{{0, 1, 5}, kWhole256}}},
        {"garbage holding a header that is not plausible",
         [](Disk& d) { garbageAfterSector5(d, 48, header(0, 1, 6, 1, 16, 0x77, 24)); },
         {{0, 1}},
         {6, LF::NoRecord, 5, 0, 48},
         {{{0, 1, 5}, kWhole256}}},
        {"garbage after a sector whose data holds a header that reads on",
         [](Disk& d) {
             garbageAfterSector5(d, 40);
             std::fill(findRecord(d, 1, 5)->data.begin() + 256, findRecord(d, 1, 5)->data.end(), 0);
             // 18 bytes in: a header whose claim reaches past the garbage
             // into sector 6's data, where it could be cut.
             const Bytes lookAlike = header(0x6C, 0x44, 0x32, 3, 9, 0, 1000);
             std::copy(lookAlike.begin(), lookAlike.end(), findRecord(d, 1, 5)->data.begin() + 18);
         },
         {{0, 1}},
         {6, LF::NoRecord, 5, 0, 40},
         {{{0, 1, 5}, kWhole256}}},
        // Cut at sector 6 or read by the data size: the same fields read
        // otherwise for the sectors found, so the data size wins and sector
        // 5 is in doubt, as where the strict walk reads it.
        {"a data size that lands on a later header past an earlier lie",
         [](Disk& d) {
             storeShort(d, 2, 100);
             findRecord(d, 1, 5)->dataSize = 256 + 16 + 256;
         },
         {{0, 1}},
         {3, LF::DataSize, 2, 256, 100},
         {{{0, 1, 2}, {.bytes = 100}},
          {{0, 1, 5}, {.bytes = 528, .uncertain = true}},
          {{0, 1, 6}, kMissing}}},
        // The look-alike is no whole record: its data size is not its size
        // code's, so sector 9 is not in doubt. 6 + 16 + 78 = 100.
        {"a short sector whose data holds a header landing on the next record",
         [](Disk& d) { storeShort(d, 9, 100, 256, header(0, 1, 16, 1, 16, 0, 78), 6); },
         {{0, 1}},
         {10, LF::DataSize, 9, 256, 100}},
        // The reading that finds a sector more: sector 9 ends where the
        // record, which ends where sector 10 begins, begins; no header
        // stands in the bytes it gives.
        {"a short sector whose data holds a whole record of another sector number",
         [](Disk& d) { storeShort(d, 9, 16 + 16 + 128, 256, header(0, 1, 17, 0, 16, 0, 128), 16); },
         {{0, 1}},
         {10, LF::DataSize, 9, 256, 16},
         {{{0, 1, 9}, {.bytes = 16}},
          {{0, 1, 17},
           {.bytes = 128,
            .past = LF::DataSize,
            .lyingR = 9,
            .says = 256,
            .stored = 16,
            .hostR = 9,
            .hostOffset = 32,
            .n = 0}}}},
        {"several sectors stored short near the track's end",
         [](Disk& d) {
             for (int r : {6, 7, 8})
                 storeShort(d, r, 240);
         },
         {{0, 1}},
         {7, LF::DataSize, 6, 256, 240}},
        {"sectors stored far short of their data sizes, among look-alike headers",
         [](Disk& d) {
             for (int r = 1; r <= 16; r += 3)
                 storeShort(d, r, static_cast<std::size_t>(7 * r), r % 2 ? 256 : 512);
         },
         {{0, 1}},
         {2, LF::DataSize, 1, 256, 7}},
        {"a track whose first record carries the track before's ID",
         [](Disk& d) {
             testimg::Record& first = d.tracks[2].records.front();
             first.c = 0, first.h = 1, first.r = 17;
         },
         {{0, 1}, {0, 2}},
         {},
         {{{0, 2, 1}, kMissing}}}, // its ID is gone
        {"a track whose last record carries the next track's ID",
         [](Disk& d) {
             testimg::Record& last = d.tracks[1].records.back();
             last.c = 1, last.h = 0, last.r = 16;
         },
         {{0, 2}}},
        // Its count's last record is its own sector 15.
        {"a table entry into the track before's last record",
         [](Disk& d) { entryInto(d, 16, 0); },
         {{0, 1}, {0, 2}},
         {},
         {{{0, 2, 16}, {.past = LF::SectorCount, .lyingR = 15, .says = 16, .stored = 17}}},
         false},
        {"a table entry inside the data of the track before",
         [](Disk& d) { entryInto(d, 10, 40); },
         {{0, 1}, {0, 2}},
         {1, LF::NoRecord, 0, 0, 256 + 16 - 40, 2}, // up to the next header
         {},
         false},
        // Track 3 starts past the size: the strict reader has no track 3.
        {"a disk size that ends inside a track's records",
         [](Disk& d) { d.diskSize = static_cast<std::uint32_t>(testimg::trackStart(d, 2) + 600); },
         {{0, 1}, {0, 2}, {0, 3}},
         {1, LF::DiskSize, 0, 0, 0, 3},
         {},
         false,
         true},
        {"two disks: the first's last track ends where the disk does",
         [](Disk&) {},
         {{0, 3}, {1, 0}, {1, 3}},
         {},
         {},
         true,
         false,
         {},
         4},
        // Were the entry a track, the next disk's track 5 would answer for it.
        {"a table entry equal to an honest disk size names no track",
         [](Disk& d) { d.trackOffsets[5] = static_cast<std::uint32_t>(testimg::buildDisk(d).size()); },
         {{0, 3}, {0, 5}, {1, 0}},
         {},
         missingFrom(5, 1),
         true,
         false,
         {{0, 5}},
         8},
        {"a file that ends inside a record",
         [](Disk& d) {
             d.tracks.erase(2), d.tracks.erase(3);
             d.tracks[1].records.resize(10);
             storeShort(d, 10, 100);
             eachRecord(d, [](auto& rec) { rec.count = 16; });
         },
         {{0, 1}},
         {},
         missingFrom(1, 11)},
    };
    // Records of a density other than double after one to eight bytes of
    // garbage, the last of size code 8, with no data, ending the track: the
    // scans for headers, which test several positions at once, find each
    // wherever the garbage leaves it.
    static const std::vector<std::string> kShifted = [] {
        std::vector<std::string> names;
        for (int garbage = 1; garbage <= 8; ++garbage)
            names.push_back(std::string(garbage % 2 ? "high" : "single") + "-density records after " +
                            std::to_string(garbage) +
                            " bytes of garbage, the last of size code 8 and no data");
        return names;
    }();
    for (int garbage = 1; garbage <= 8; ++garbage) {
        out.push_back({kShifted[static_cast<std::size_t>(garbage - 1)].c_str(),
                       [garbage](Disk& d) {
                           const std::uint8_t density = garbage % 2 ? 0x01 : 0x40;
                           eachRecord(d, [density](auto& rec) { rec.reserved[0] = density; });
                           garbageAfterSector5(d, garbage);
                           testimg::Record* last = findRecord(d, 1, 16);
                           last->n = 8, last->dataSize = 0;
                           last->data.clear();
                       },
                       {{0, 1}},
                       {6, LF::NoRecord, 5, 0, garbage},
                       {{{0, 1, 5}, kWhole256}, {{0, 1, 16}, {.n = 8}}}});
    }
    return out;
}

} // namespace

// A disk of four tracks, sectors 1-16 stored in order, 256 bytes each.
Disk plainDisk()
{
    return testimg::formattedDisk(7, 4, 16, false);
}

std::vector<Case> readingCases()
{
    std::vector<Case> cases;
    for (const Layout& layout : layouts()) {
        Case c{layout.what,    {plainDisk()},    layout.tracks, {},
               layout.movable, layout.toFileEnd, layout.absent};
        layout.change(c.disks.front());
        if (layout.secondTracks > 0)
            c.disks.push_back(testimg::formattedDisk(8, layout.secondTracks, 16, false));
        c.wants.insert(layout.wants.begin(), layout.wants.end());
        for (int s = layout.past.from; s >= 1 && s <= 16; ++s) {
            Want& want = c.wants[{0, layout.past.track, s}];
            want.past = layout.past.field, want.lyingR = layout.past.r;
            want.says = layout.past.says, want.stored = layout.past.stored;
        }
        cases.push_back(std::move(c));
    }
    return cases;
}

Built buildDisks(const std::vector<Disk>& disks)
{
    Built built;
    for (const Disk& disk : disks) {
        built.diskAt.push_back(built.bytes.size());
        built.places.emplace_back();
        const Bytes bytes = testimg::buildDisk(disk, &built.places.back());
        built.bytes.insert(built.bytes.end(), bytes.begin(), bytes.end());
    }
    return built;
}

} // namespace testsupport
