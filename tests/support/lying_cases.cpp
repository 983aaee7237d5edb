#include "lying_cases.h"

#include "test_support.h"

namespace testsupport {

namespace {

using testimg::Disk;

// Sectors 1-16 in order on every track, so that the sectors behind a lie
// are easy to name.
Disk diskA()
{
    Disk disk = testimg::formattedDisk(9, 80, 16, false);
    testimg::setBootLabel(disk, testimg::kDiskALabel);
    return disk;
}

template <class Change> Disk changed(Change change)
{
    Disk disk = diskA();
    change(disk);
    return disk;
}

std::string pastLie(const std::string& file, int count, const std::string& places, const std::string& lie)
{
    return "zanvo-extract: warning: " + file + ": " + std::to_string(count) + " sector" +
           (count == 1 ? "" : "s") + " read past a field that lied: " + places + ": " + lie + "\n";
}

} // namespace

std::vector<LyingCase> lyingCases()
{
    const std::string size0 = "the data size field of track 12 sector 3 says 0 where 256 bytes are stored";
    const std::string size100 =
        "the data size field of track 12 sector 3 says 100 where 256 bytes are stored";
    const std::string count0 =
        "the sector count field of track 16 sector 1 says 0 where the track holds 16 records";
    std::string diskSize0;
    const std::pair<const char*, std::pair<int, const char*>> files[] = {
        {"DRIVER", {22, "track 10 sectors 6-16, track 11 sectors 1-11"}},
        {"ZANVO00", {1, "track 11 sector 12"}},
        {"ZANVO01", {17, "track 11 sectors 13-16, track 12 sectors 1-13"}},
        {"ZANVO02",
         {55, "track 12 sectors 14-16, track 13 sectors 1-16, track 14 sectors 1-16, track 15 sectors "
              "1-16, track 16 sectors 1-4"}},
        {"ZANVO03", {16, "track 16 sectors 5-16, track 17 sectors 1-4"}},
        {"ZANVO04", {16, "track 17 sectors 5-16, track 18 sectors 1-4"}},
        {"ZANVO05", {21, "track 18 sectors 5-16, track 19 sectors 1-9"}},
        {"ZANVO06", {11, "track 19 sectors 10-16, track 20 sectors 1-4"}},
        {"ZANVO07", {35, "track 20 sectors 5-16, track 21 sectors 1-16, track 22 sectors 1-7"}},
        {"ZANVO08", {21, "track 22 sectors 8-16, track 23 sectors 1-12"}},
        {"ZANVO09", {3, "track 23 sectors 13-15"}},
        {"ZANVO10",
         {34, "track 23 sector 16, track 24 sectors 1-16, track 25 sectors 1-16, track 26 sector 1"}},
        {"ZANVO11", {24, "track 26 sectors 2-16, track 27 sectors 1-9"}},
    };
    for (const auto& [file, run] : files)
        diskSize0 += pastLie(file, run.first, run.second, "the disk size field says 0");

    return {
        {"a data size field of 0", changed([](Disk& d) { testimg::findRecord(d, 12, 3)->dataSize = 0; }),
         pastLie("ZANVO01", 11, "track 12 sectors 3-13", size0) +
             pastLie("ZANVO02", 3, "track 12 sectors 14-16", size0)},
        {"a data size field too small",
         changed([](Disk& d) { testimg::findRecord(d, 12, 3)->dataSize = 100; }),
         pastLie("ZANVO01", 11, "track 12 sectors 3-13", size100) +
             pastLie("ZANVO02", 3, "track 12 sectors 14-16", size100)},
        {"a data size field too large",
         changed([](Disk& d) { testimg::findRecord(d, 24, 9)->dataSize = 512; }),
         pastLie("ZANVO10", 7, "track 24 sectors 10-16",
                 "the data size field of track 24 sector 9 says 512 where 256 bytes are stored")},
        {"a count of 0 on a track's first record",
         changed([](Disk& d) { d.tracks[16].records.front().count = 0; }),
         pastLie("ZANVO02", 4, "track 16 sectors 1-4", count0) +
             pastLie("ZANVO03", 12, "track 16 sectors 5-16", count0)},
        {"counts that end a track half way", changed([](Disk& d) {
             for (testimg::Record& rec : d.tracks[13].records)
                 rec.count = 8;
         }),
         pastLie("ZANVO02", 8, "track 13 sectors 9-16",
                 "the sector count field of track 13 sector 8 says 8 where the track holds 16 records")},
        {"big-endian counts", changed([](Disk& d) {
             for (testimg::Record& rec : d.tracks[20].records)
                 rec.count = 0x1000;
         }),
         ""},
        {"counts of 0xFFFF", changed([](Disk& d) {
             for (testimg::Record& rec : d.tracks[22].records)
                 rec.count = 0xFFFF;
         }),
         ""},
        {"a disk size of 0", changed([](Disk& d) { d.diskSize = 0; }), diskSize0},
        {"a stray entry into the header and entries at the disk's end", changed([](Disk& d) {
             const auto size = static_cast<std::uint32_t>(testimg::buildDisk(d).size());
             for (int t = 80; t < 164; ++t)
                 d.trackOffsets[t] = size;
             d.trackOffsets[100] = 0x10;
         }),
         ""},
        {"an honest record longer than its size code",
         changed([](Disk& d) { testimg::findRecord(d, 12, 3)->data.resize(512, 0x5A); }), ""},
        {"a missing sector beside a lying one", changed([](Disk& d) {
             testimg::findRecord(d, 12, 3)->dataSize = 0;
             auto& records = d.tracks[12].records;
             records.erase(records.begin() + 3); // sector 4
         }),
         "zanvo-extract: warning: ZANVO01: 1 of 17 sectors missing (track 12 sector 4); zeros written for "
         "what "
         "is missing\n" +
             pastLie("ZANVO01", 10, "track 12 sector 3, track 12 sectors 5-13", size0) +
             pastLie("ZANVO02", 3, "track 12 sectors 14-16", size0) + cutSummary(12, 1, 0)},
        {"a record stored with no data",
         changed([](Disk& d) { testimg::findRecord(d, 12, 5)->data.clear(); }),
         "zanvo-extract: warning: ZANVO01: 1 of 17 sectors stored short (track 12 sector 5); zeros written "
         "for "
         "what is missing\n" +
             cutSummary(12, 1, 0)},
    };
}

} // namespace testsupport
