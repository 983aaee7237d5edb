#include "reading_cases.h"

#include <algorithm>
#include <cstdint>

namespace testsupport {

using testimg::findRecord;

namespace {

std::vector<Disk> one(const std::function<void(Disk&)>& change)
{
    Disk disk = plainDisk();
    change(disk);
    return {disk};
}

// Sectors `from`-16 of track 1 read past one lie.
void pastFrom(std::map<Key, Want>& wants, int from, d88::LyingField field, int r, int says, int stored, int track = 1)
{
    for (int s = from; s <= 16; ++s) {
        Want& want = wants[{0, track, s}];
        want.past = field, want.lyingR = r, want.says = says, want.stored = stored;
    }
}

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

// Garbage after sector 5's 256 bytes of track 1: `garbage` bytes of 0x11,
// `decoy` written 8 bytes into them.
void garbageAfterSector5(Disk& disk, int garbage, const Bytes& decoy = {})
{
    testimg::Record* r5 = findRecord(disk, 1, 5);
    r5->dataSize = 256;
    r5->data.resize(256 + static_cast<std::size_t>(garbage), 0x11);
    std::copy(decoy.begin(), decoy.end(), r5->data.begin() + 256 + 8);
}

} // namespace

// A disk of four tracks, sectors 1-16 stored in order, 256 bytes each.
Disk plainDisk()
{
    return testimg::formattedDisk(7, 4, 16, false);
}

std::vector<Case> readingCases()
{
    using LF = d88::LyingField;
    const auto none = [](const std::vector<Disk>&) { return std::map<Key, Want>{}; };
    const std::vector<std::pair<int, int>> track1 = {{0, 1}};
    return {
        {"a plain disk", [] { return one([](Disk&) {}); }, {{0, 0}, {0, 1}, {0, 3}}, none},
        {"single-density records", [] { return one([](Disk& d) {
             for (auto& rec : d.tracks[1].records)
                 rec.reserved[0] = 0x40;
         }); }, track1, none},
        {"a data size of 0 over 256 stored bytes",
         [] { return one([](Disk& d) { findRecord(d, 1, 3)->dataSize = 0; }); }, track1,
         [](const std::vector<Disk>&) {
             std::map<Key, Want> w;
             pastFrom(w, 3, LF::DataSize, 3, 0, 256); // the strict walk gives it nothing
             return w;
         }},
        {"a sector stored short: 100 bytes under a data size of 256",
         [] { return one([](Disk& d) {
             findRecord(d, 1, 3)->data.resize(100);
             findRecord(d, 1, 3)->dataSize = 256;
         }); }, track1,
         [](const std::vector<Disk>&) {
             std::map<Key, Want> w;
             pastFrom(w, 4, LF::DataSize, 3, 256, 100);
             return w;
         }},
        {"a data size that lands on a later header swallows the record between, in doubt",
         [] { return one([](Disk& d) { findRecord(d, 1, 3)->dataSize = 256 + 16 + 256; }); }, track1,
         [](const std::vector<Disk>&) {
             std::map<Key, Want> w;
             w[{0, 1, 3}].bytes = 528, w[{0, 1, 3}].uncertain = true;
             w[{0, 1, 4}].missing = true;
             return w;
         }},
        {"every sector count says 8 of 16",
         [] { return one([](Disk& d) {
             for (auto& rec : d.tracks[1].records)
                 rec.count = 8;
         }); }, track1,
         [](const std::vector<Disk>&) {
             std::map<Key, Want> w;
             pastFrom(w, 9, LF::SectorCount, 8, 8, 16);
             return w;
         }},
        {"the first record's count says 0",
         [] { return one([](Disk& d) { d.tracks[1].records.front().count = 0; }); }, track1,
         [](const std::vector<Disk>&) {
             std::map<Key, Want> w;
             pastFrom(w, 1, LF::SectorCount, 1, 0, 16);
             return w;
         }},
        {"every count says 0xFFFF", [] { return one([](Disk& d) {
             for (auto& rec : d.tracks[1].records)
                 rec.count = 0xFFFF;
         }); }, track1, none},
        {"one byte of garbage between two records", [] { return one([](Disk& d) { garbageAfterSector5(d, 1); }); },
         track1,
         [](const std::vector<Disk>&) {
             std::map<Key, Want> w;
             w[{0, 1, 5}].bytes = 256;
             pastFrom(w, 6, LF::NoRecord, 5, 0, 1);
             return w;
         }},
        {"garbage holding a header whose data sizes lead nowhere",
         [] { return one([](Disk& d) { garbageAfterSector5(d, 48, header(0, 1, 6, 1, 16, 0, 1000)); }); }, track1,
         [](const std::vector<Disk>&) {
             std::map<Key, Want> w;
             w[{0, 1, 5}].bytes = 256;
             pastFrom(w, 6, LF::NoRecord, 5, 0, 48);
             return w;
         }},
        {"garbage holding a header that is not plausible",
         [] { return one([](Disk& d) { garbageAfterSector5(d, 48, header(0, 1, 6, 1, 16, 0x77, 24)); }); }, track1,
         [](const std::vector<Disk>&) {
             std::map<Key, Want> w;
             w[{0, 1, 5}].bytes = 256;
             pastFrom(w, 6, LF::NoRecord, 5, 0, 48);
             return w;
         }},
        {"garbage after a sector whose data holds a header that reads on",
         [] { return one([](Disk& d) {
             garbageAfterSector5(d, 40);
             std::fill(findRecord(d, 1, 5)->data.begin() + 256, findRecord(d, 1, 5)->data.end(), 0);
             // 18 bytes in: a header whose claim reaches past the garbage
             // into sector 6's data, where it could be cut.
             const Bytes lookAlike = header(0x6C, 0x44, 0x32, 3, 9, 0, 1000);
             std::copy(lookAlike.begin(), lookAlike.end(), findRecord(d, 1, 5)->data.begin() + 18);
         }); }, track1,
         [](const std::vector<Disk>&) {
             std::map<Key, Want> w;
             w[{0, 1, 5}].bytes = 256;
             pastFrom(w, 6, LF::NoRecord, 5, 0, 40);
             return w;
         }},
        {"a data size that lands on a later header past an earlier lie",
         [] { return one([](Disk& d) {
             findRecord(d, 1, 2)->data.resize(100);
             findRecord(d, 1, 2)->dataSize = 256;
             findRecord(d, 1, 5)->dataSize = 256 + 16 + 256;
         }); }, track1,
         [](const std::vector<Disk>&) {
             // Cut at sector 6 or read by the data size: the same fields
             // read otherwise for the sectors found, so the data size wins
             // and sector 5 is in doubt, as where the strict walk reads it.
             std::map<Key, Want> w;
             w[{0, 1, 2}].bytes = 100;
             pastFrom(w, 3, LF::DataSize, 2, 256, 100);
             w[{0, 1, 5}].bytes = 528, w[{0, 1, 5}].uncertain = true;
             w[{0, 1, 6}].missing = true;
             return w;
         }},
        {"a short sector whose data holds a header landing on the next record",
         [] { return one([](Disk& d) {
             testimg::Record* r9 = findRecord(d, 1, 9);
             r9->data.resize(100);
             r9->dataSize = 256;
             const Bytes phantom = header(0, 1, 16, 1, 16, 0, 78); // 6 + 16 + 78 = 100
             std::copy(phantom.begin(), phantom.end(), r9->data.begin() + 6);
         }); }, track1,
         [](const std::vector<Disk>&) {
             std::map<Key, Want> w;
             // The look-alike is no whole record: its data size is not its
             // size code's, so sector 9 is not in doubt.
             pastFrom(w, 10, LF::DataSize, 9, 256, 100);
             return w;
         }},
        {"a short sector whose data holds a whole record of another sector number",
         [] { return one([](Disk& d) {
             testimg::Record* r9 = findRecord(d, 1, 9);
             r9->data.resize(16 + 16 + 128);
             r9->dataSize = 256;
             const Bytes whole = header(0, 1, 17, 0, 16, 0, 128); // ends where sector 10 begins
             std::copy(whole.begin(), whole.end(), r9->data.begin() + 16);
         }); }, track1,
         [](const std::vector<Disk>&) {
             // The reading that finds a sector more: sector 9 ends where the
             // record begins; no header stands in the bytes it gives.
             std::map<Key, Want> w;
             w[{0, 1, 9}].bytes = 16;
             Want& inside = w[{0, 1, 17}];
             inside.hostR = 9, inside.hostOffset = 32, inside.bytes = 128, inside.n = 0;
             pastFrom(w, 10, LF::DataSize, 9, 256, 16);
             inside.past = LF::DataSize, inside.lyingR = 9, inside.says = 256, inside.stored = 16;
             return w;
         }},
        {"several sectors stored short near the track's end",
         [] { return one([](Disk& d) {
             for (int r : {6, 7, 8}) {
                 findRecord(d, 1, r)->data.resize(240);
                 findRecord(d, 1, r)->dataSize = 256;
             }
         }); }, track1,
         [](const std::vector<Disk>&) {
             std::map<Key, Want> w;
             pastFrom(w, 7, LF::DataSize, 6, 256, 240);
             return w;
         }},
        {"sectors stored far short of their data sizes, among look-alike headers",
         [] { return one([](Disk& d) {
             for (int r = 1; r <= 16; r += 3) {
                 findRecord(d, 1, r)->data.resize(static_cast<std::size_t>(7 * r));
                 findRecord(d, 1, r)->dataSize = r % 2 ? 256 : 512;
             }
         }); }, track1,
         [](const std::vector<Disk>&) {
             std::map<Key, Want> w;
             pastFrom(w, 2, LF::DataSize, 1, 256, 7);
             return w;
         }},
        {"a track whose first record carries the track before's ID",
         [] { return one([](Disk& d) {
             testimg::Record& first = d.tracks[2].records.front();
             first.c = 0, first.h = 1, first.r = 17;
         }); }, {{0, 1}, {0, 2}},
         [](const std::vector<Disk>&) {
             std::map<Key, Want> w;
             w[{0, 2, 1}].missing = true; // its ID is gone
             return w;
         }},
        {"a track whose last record carries the next track's ID",
         [] { return one([](Disk& d) {
             testimg::Record& last = d.tracks[1].records.back();
             last.c = 1, last.h = 0, last.r = 16;
         }); }, {{0, 2}},
         [](const std::vector<Disk>&) { return std::map<Key, Want>{}; }},
        {"a table entry into the track before's last record",
         [] { return one([](Disk& d) {
             std::vector<testimg::Placed> places;
             testimg::buildDisk(d, &places);
             for (const auto& p : places)
                 if (p.track == 1 && p.r == 16)
                     d.trackOffsets[2] = static_cast<std::uint32_t>(p.header);
         }); }, {{0, 1}, {0, 2}},
         [](const std::vector<Disk>&) {
             std::map<Key, Want> w;
             // Its count's last record is its own sector 15.
             w[{0, 2, 16}].past = LF::SectorCount, w[{0, 2, 16}].lyingR = 15;
             w[{0, 2, 16}].says = 16, w[{0, 2, 16}].stored = 17;
             return w;
         }, false},
        {"a table entry inside the data of the track before",
         [] { return one([](Disk& d) {
             std::vector<testimg::Placed> places;
             testimg::buildDisk(d, &places);
             for (const auto& p : places)
                 if (p.track == 1 && p.r == 10)
                     d.trackOffsets[2] = static_cast<std::uint32_t>(p.header + 40);
         }); }, {{0, 1}, {0, 2}},
         [](const std::vector<Disk>&) {
             std::map<Key, Want> w;
             pastFrom(w, 1, LF::NoRecord, 0, 0, 256 + 16 - 40, 2); // up to the next header
             return w;
         }, false},
        {"a disk size that ends inside a track's records",
         [] { return one([](Disk& d) {
             d.diskSize = static_cast<std::uint32_t>(testimg::trackStart(d, 2) + 600);
         }); }, {{0, 1}, {0, 2}, {0, 3}},
         [](const std::vector<Disk>&) {
             std::map<Key, Want> w;
             // Track 3 starts past the size: the strict reader has no track 3.
             pastFrom(w, 1, LF::DiskSize, 0, 0, 0, 3);
             return w;
         }, false, true},
        {"two disks: the first's last track ends where the disk does",
         [] { return std::vector<Disk>{plainDisk(), testimg::formattedDisk(8, 4, 16, false)}; },
         {{0, 3}, {1, 0}, {1, 3}}, none},
        {"a table entry equal to an honest disk size names no track",
         [] {
             Disk first = plainDisk();
             first.trackOffsets[5] = static_cast<std::uint32_t>(testimg::buildDisk(first).size());
             // Were the entry a track, the next disk's track 5 would answer for it.
             return std::vector<Disk>{first, testimg::formattedDisk(8, 8, 16, false)};
         },
         {{0, 3}, {0, 5}, {1, 0}},
         [](const std::vector<Disk>&) {
             std::map<Key, Want> w;
             for (int r = 1; r <= 16; ++r)
                 w[{0, 5, r}].missing = true;
             return w;
         }, true, false, {{0, 5}}},
        {"a file that ends inside a record",
         [] { return one([](Disk& d) {
             d.tracks.erase(2), d.tracks.erase(3);
             d.tracks[1].records.resize(10);
             d.tracks[1].records.back().data.resize(100);
             d.tracks[1].records.back().dataSize = 256;
             for (auto& rec : d.tracks[1].records)
                 rec.count = 16;
         }); }, track1,
         [](const std::vector<Disk>&) {
             std::map<Key, Want> w;
             for (int r = 11; r <= 16; ++r)
                 w[{0, 1, r}].missing = true;
             return w;
         }},
    };
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
