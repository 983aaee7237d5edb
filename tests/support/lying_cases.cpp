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

// The line of a file read past a lie: "complete; " unless it has holes, the
// field in brief, and where d88info shows the detail (the tests' image is
// disk.d88).
std::string pastLie(const std::string& file, int count, const std::string& field, bool complete = true)
{
    return "zanvo-extract: warning: " + file + ": " + (complete ? "complete; " : "") + std::to_string(count) +
           " sector" + (count == 1 ? "" : "s") + " read past " + field +
           "; `d88info disk.d88 0` shows where\n";
}

} // namespace

std::vector<LyingCase> lyingCases()
{
    const std::string size12 = "a wrong data size field on track 12";
    const std::string count16 = "a wrong sector count field on track 16";
    std::string diskSize0;
    // Each file's sectors, all read past the disk size.
    const std::pair<const char*, int> files[] = {
        {"DRIVER", 22},
        {"ZANVO00", 1},
        {"ZANVO01", 17},
        {"ZANVO02", 55},
        {"ZANVO03", 16},
        {"ZANVO04", 16},
        {"ZANVO05", 21},
        {"ZANVO06", 11},
        {"ZANVO07", 35},
        {"ZANVO08", 21},
        {"ZANVO09", 3},
        {"ZANVO10", 34},
        {"ZANVO11", 24},
    };
    for (const auto& [file, sectors] : files)
        diskSize0 += pastLie(file, sectors, "a wrong disk size field");

    return {
        {"a data size field of 0", changed([](Disk& d) { testimg::findRecord(d, 12, 3)->dataSize = 0; }),
         pastLie("ZANVO01", 11, size12) + pastLie("ZANVO02", 3, size12)},
        {"a data size field too small",
         changed([](Disk& d) { testimg::findRecord(d, 12, 3)->dataSize = 100; }),
         pastLie("ZANVO01", 11, size12) + pastLie("ZANVO02", 3, size12)},
        {"a data size field too large",
         changed([](Disk& d) { testimg::findRecord(d, 24, 9)->dataSize = 512; }),
         pastLie("ZANVO10", 7, "a wrong data size field on track 24")},
        {"a count of 0 on a track's first record",
         changed([](Disk& d) { d.tracks[16].records.front().count = 0; }),
         pastLie("ZANVO02", 4, count16) + pastLie("ZANVO03", 12, count16)},
        {"counts that end a track half way", changed([](Disk& d) {
             for (testimg::Record& rec : d.tracks[13].records)
                 rec.count = 8;
         }),
         pastLie("ZANVO02", 8, "a wrong sector count field on track 13")},
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
             pastLie("ZANVO01", 10, size12, false) + pastLie("ZANVO02", 3, size12) + cutSummary(12, 1, 0)},
        {"a record stored with no data",
         changed([](Disk& d) { testimg::findRecord(d, 12, 5)->data.clear(); }),
         "zanvo-extract: warning: ZANVO01: 1 of 17 sectors stored short (track 12 sector 5); zeros written "
         "for "
         "what is missing\n" +
             cutSummary(12, 1, 0)},
    };
}

} // namespace testsupport
