// The one map of an image's records: what it gives for each sector, built
// from images whose records, tracks and disks overlap, lie or hold garbage.
// Expected bytes come from the images' descriptions, never from the reader.
#include "d88/d88_image.h"
#include "image_builder.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <regex>
#include <span>
#include <string>
#include <vector>

namespace {

using testimg::Bytes;
using testimg::Disk;
using testsupport::sameBytes;
using Json = nlohmann::json;

// A formatted disk of 4 tracks, sectors stored in order 1-16.
Disk plainDisk(int seed)
{
    return testimg::formattedDisk(seed, 4, 16, false);
}

// A header's 16 bytes: C, H, R, N, count 16, the density byte, data size.
Bytes header(int c, int h, int r, int n, int density = 0, int size = 256)
{
    Bytes out(16, 0);
    out[0] = static_cast<std::uint8_t>(c), out[1] = static_cast<std::uint8_t>(h);
    out[2] = static_cast<std::uint8_t>(r), out[3] = static_cast<std::uint8_t>(n);
    out[4] = 16;
    out[6] = static_cast<std::uint8_t>(density);
    out[14] = static_cast<std::uint8_t>(size & 0xFF), out[15] = static_cast<std::uint8_t>(size >> 8);
    return out;
}

// Puts `bytes` at `at` into a record's data.
void plant(testimg::Record* record, std::size_t at, const Bytes& bytes)
{
    std::copy(bytes.begin(), bytes.end(), record->data.begin() + static_cast<long>(at));
}

// What the found records give for each sector of `track`, R 1-16.
std::vector<Bytes> foundSectors(const Bytes& image, int track)
{
    testsupport::TempDir dir;
    testimg::writeFile((dir / "x.d88").string(), image);
    d88::D88Image reader;
    EXPECT_TRUE(reader.open((dir / "x.d88").c_str()));
    reader.selectDisk(0);
    std::vector<Bytes> out;
    for (int r = 1; r <= 16; ++r) {
        std::vector<std::uint8_t> buffer(1024);
        d88::FoundRecord record;
        std::int32_t copied = -1;
        const d88::Outcome read = reader.findFoundSector(
            d88::placeOnTrack(track, static_cast<std::uint8_t>(r), 1), buffer, &record, &copied);
        EXPECT_FALSE(read.failed());
        const bool found = read.done();
        out.push_back(found ? Bytes(buffer.begin(), buffer.begin() + copied) : Bytes{0xEE}); // 0xEE: missing
    }
    return out;
}

// What each sector of `track` holds in the description: its stored data.
std::vector<Bytes> storedSectors(const Disk& disk, int track)
{
    std::vector<Bytes> out;
    for (int r = 1; r <= 16; ++r)
        out.push_back(testimg::findRecord(disk, track, r)->data);
    return out;
}

// Each case changes sector 3 of track 1 (C 0 H 1, stored in order) of a
// plain disk; every sector of the track must still give its stored bytes.
struct SectorCase {
    const char* what;
    void (*make)(testimg::Record* sector3);
    void (*more)(Disk& disk) = nullptr; // other sectors of the track it changes
};

// The walk steps from sector 3 by its data size (0) into its own data, whose
// first 16 bytes look like a header in all but one respect; the step must not
// land there, or sector 3 would give nothing and its data be taken for
// records.
const SectorCase kPlausibleHeaderCases[] = {
    {"another cylinder", [](testimg::Record* s) { plant(s, 0, header(1, 1, 99, 1, 0, 0)); }},
    {"another head", [](testimg::Record* s) { plant(s, 0, header(0, 0, 99, 1, 0, 0)); }},
    {"a size code past 8", [](testimg::Record* s) { plant(s, 0, header(0, 1, 99, 9, 0, 0)); }},
    {"an unknown density", [](testimg::Record* s) { plant(s, 0, header(0, 1, 99, 1, 0x80, 0)); }},
    {"a record past the extent", [](testimg::Record* s) { plant(s, 0, header(0, 1, 99, 8, 0, 0xFFFF)); }},
};

// Sector 3 is stored short under a data size that claims more: the next
// header starts inside the claimed data, and the walk must go on from it,
// not from bytes that only look like a header.
const SectorCase kShortRecordCases[] = {
    {"no data, the size says 256", [](testimg::Record* s) { s->data.clear(), s->dataSize = 256; }},
    {"100 bytes, the size says 512", [](testimg::Record* s) { s->data.resize(100), s->dataSize = 512; }},
    {"100 bytes, the size says 256, a header of a sector already seen inside",
     [](testimg::Record* s) {
         s->data.resize(100), s->dataSize = 256;
         plant(s, 20, header(0, 1, 1, 1, 0, 64)); // steps by 64 onto sector 4
     }},
    {"100 bytes, the size says 256, a header of another size code inside",
     [](testimg::Record* s) {
         s->data.resize(100), s->dataSize = 256;
         plant(s, 20, header(0, 1, 77, 2, 0, 64));
     }},
    {"an honest size over data that looks like a header",
     [](testimg::Record* s) { plant(s, 0, header(0, 1, 77, 1, 0, 0)); }},
    {"sectors 3, 9 and the last, 16, each stored short under a size that claims more",
     [](testimg::Record* s) { s->data.resize(30), s->dataSize = 256; },
     [](Disk& d) {
         for (const int r : {9, 16}) {
             testimg::Record* other = testimg::findRecord(d, 1, r);
             other->data.resize(static_cast<std::size_t>(r * 5));
             other->dataSize = 512;
         }
     }},
};

TEST(RecordMap, EachSectorGivesTheBytesStoredForIt)
{
    for (const bool sizeZero : {true, false}) {
        for (const SectorCase& c : sizeZero ? std::span<const SectorCase>(kPlausibleHeaderCases)
                                            : std::span<const SectorCase>(kShortRecordCases)) {
            SCOPED_TRACE(c.what);
            Disk disk = plainDisk(3);
            testimg::Record* sector3 = testimg::findRecord(disk, 1, 3);
            if (sizeZero)
                sector3->dataSize = 0; // 256 bytes stored
            c.make(sector3);
            if (c.more)
                c.more(disk);
            const std::vector<Bytes> found = foundSectors(testimg::buildDisk(disk), 1);
            const std::vector<Bytes> stored = storedSectors(disk, 1);
            for (std::size_t i = 0; i < stored.size(); ++i)
                EXPECT_TRUE(sameBytes(stored[i], found[i])) << "sector " << i + 1;
        }
    }
}

TEST(RecordMap, SixteenZeroBytesAreNoHeader)
{
    // After the last record of track 0 (C 0 H 0) lie zeros up to track 1:
    // read as headers they would be records of sector 0 with no data.
    Disk disk = plainDisk(4);
    disk.tracks[0].records.back().data.resize(256 + 64, 0);
    disk.tracks[0].records.back().dataSize = 256;
    testsupport::TempDir dir;
    testimg::writeFile((dir / "x.d88").string(), testimg::buildDisk(disk));
    d88::D88Image reader;
    ASSERT_TRUE(reader.open((dir / "x.d88").c_str()));
    reader.selectDisk(0);
    std::vector<d88::FoundRecord> records(64);
    std::int32_t stored = -1;
    EXPECT_TRUE(reader.foundRecords(0, records, &stored).done());
    EXPECT_EQ(stored, 16);
}

class RecordMapPrograms : public ::testing::Test {
  protected:
    testsupport::RunResult run(const char* program, const std::vector<std::string>& args)
    {
        return testsupport::runProgram(program, args, dir.path());
    }
    Json json(const std::string& image)
    {
        const testsupport::RunResult r = run(D88INFO_PATH, {"--json", image});
        EXPECT_EQ(r.status, 0) << r.err;
        return Json::parse(r.out);
    }
    void write(const std::string& name, const Bytes& bytes)
    {
        testimg::writeFile((dir / name).string(), bytes);
    }
    Bytes cut(const std::string& name) { return testsupport::readFile(dir / name).value_or(Bytes{}); }

    testsupport::TempDir dir;
};

TEST_F(RecordMapPrograms, ADiskSizeThatLiesSmallHidesNoTrack)
{
    const Disk diskA = [] {
        Disk d = testimg::formattedDisk(8);
        testimg::setBootLabel(d, testimg::kDiskALabel);
        return d;
    }();
    const std::size_t track20 = testimg::trackStart(diskA, 20);
    for (const std::size_t size : {track20, track20 + 600, std::size_t{100}}) {
        SCOPED_TRACE(size);
        Disk lying = diskA;
        lying.diskSize = static_cast<std::uint32_t>(size);
        const Bytes bytes = testimg::buildDisk(lying);
        write("lying.d88", bytes);
        const testsupport::RunResult r = run(ZANVO_EXTRACT_PATH, {"lying.d88"});
        EXPECT_EQ(r.status, 0) << r.err;
        for (const testsupport::DiskAFile& f : testsupport::kDiskAFiles)
            EXPECT_TRUE(sameBytes(testimg::expectedRun(diskA, f.track, f.sector, f.length), cut(f.name)))
                << f.name;
        const Json d = json("lying.d88");
        EXPECT_TRUE(d["disks"][0]["diskSizeLies"].get<bool>());
        EXPECT_EQ(d["disks"][0]["extent"], bytes.size()); // the whole disk, for --split and --raw
        // The index still steps by the size: a disk there would start inside
        // disk 0's records, and is no disk.
        EXPECT_EQ(d["diskCount"], 1);
        if (size >= 688) {
            ASSERT_EQ(d["disks"].size(), 2u);
            EXPECT_FALSE(d["disks"][1]["d88"].get<bool>());
            EXPECT_EQ(d["disks"][1]["insideDisk"]["disk"], 0);
            EXPECT_EQ(d["disks"][1]["insideDisk"]["track"], 20);
        }
    }

    // A disk header where the size ends the disk, naming a track with a
    // plausible first record: the size told the truth, although disk 0's
    // table has an entry past it, into that disk's first track.
    Disk second = testimg::formattedDisk(9, 2);
    Disk withStray = diskA;
    const std::size_t firstSize = testimg::buildDisk(diskA).size();
    withStray.trackOffsets[100] = static_cast<std::uint32_t>(firstSize + testimg::trackStart(second, 0));
    Bytes two = testimg::buildDisk(withStray);
    const Bytes secondBytes = testimg::buildDisk(second);
    two.insert(two.end(), secondBytes.begin(), secondBytes.end());
    write("two.d88", two);
    const Json d = json("two.d88");
    EXPECT_EQ(d["diskCount"], 2);
    EXPECT_FALSE(d["disks"][0]["diskSizeLies"].get<bool>());
    EXPECT_TRUE(d["disks"][1]["d88"].get<bool>());
}

TEST_F(RecordMapPrograms, EachDiskIsJudgedForItself)
{
    Disk damaged = testimg::formattedDisk(1, 2);
    damaged.trackOffsets = {{0, 0x7FFFFFF0u}, {1, 0x7FFFFFF0u}};
    Disk diskA = testimg::formattedDisk(2);
    testimg::setBootLabel(diskA, testimg::kDiskALabel);
    const Bytes first = testimg::buildDisk(damaged), good = testimg::buildDisk(diskA);
    Bytes both = first;
    both.insert(both.end(), good.begin(), good.end());
    write("both.d88", both);

    const testsupport::RunResult tool = run(ZANVO_EXTRACT_PATH, {"both.d88"});
    EXPECT_EQ(tool.status, 0);
    EXPECT_NE(tool.err.find("disk 0 is not a D88 disk"), std::string::npos) << tool.err;
    EXPECT_NE(tool.err.find("--disk=1"), std::string::npos) << tool.err;
    const Json d = json("both.d88");
    EXPECT_TRUE(d["d88"].get<bool>());
    EXPECT_FALSE(d["disks"][0]["d88"].get<bool>());
    EXPECT_TRUE(d["disks"][1]["d88"].get<bool>());
    EXPECT_EQ(d["disks"][1]["boot"]["disk"], "A");
    EXPECT_EQ(run(D88INFO_PATH, {"--split", "both.d88", "1", "-o", "a.d88"}).status, 0);
    EXPECT_TRUE(sameBytes(good, cut("a.d88")));
    EXPECT_EQ(run(D88INFO_PATH, {"--split", "both.d88", "0", "-o", "b.d88"}).status, 1);

    // A size field of 0xFFFFFFF0 lies: both programs read the disk.
    diskA.diskSize = 0xFFFFFFF0u;
    write("huge.d88", testimg::buildDisk(diskA));
    EXPECT_EQ(run(D88INFO_PATH, {"huge.d88"}).status, 0);
    EXPECT_TRUE(json("huge.d88")["disks"][0]["d88"].get<bool>());
    EXPECT_EQ(run(ZANVO_EXTRACT_PATH, {"huge.d88"}).status, 0);
    EXPECT_TRUE(sameBytes(testimg::expectedRun(diskA, 10, 6, 5632), cut("DRIVER")));
}

TEST_F(RecordMapPrograms, EveryViewDescribesEachRecordTrackAndDiskOnce)
{
    constexpr int kRecords = 400;
    const Bytes image = testimg::sharedTailTracks(kRecords);
    write("tails.d88", image);
    const Json d = json("tails.d88");
    ASSERT_EQ(d["disks"].size(), 64u);
    for (std::size_t k = 1; k < 64; ++k)
        EXPECT_EQ(d["disks"][k]["sameDiskAs"], 0);
    const Json& tracks = d["disks"][0]["tracks"];
    EXPECT_EQ(tracks[0]["records"].size(), static_cast<std::size_t>(kRecords));
    for (int t = 1; t < 164; ++t) {
        const Json& track = tracks[static_cast<std::size_t>(t)];
        EXPECT_EQ(track["records"].size(), 0u);
        EXPECT_EQ(track["recordCount"], kRecords - t);
        EXPECT_EQ(track["sharedRecords"], (Json{{"track", 0}, {"from", t}, {"to", kRecords - 1}}));
    }
    // The listing names each record once, and each view stays in proportion.
    const testsupport::RunResult listing = run(D88INFO_PATH, {"tails.d88", "0"});
    const std::regex id("[0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+");
    const auto ids = std::distance(std::sregex_iterator(listing.out.begin(), listing.out.end(), id), {});
    EXPECT_EQ(ids, kRecords);
    for (const auto& args :
         {std::vector<std::string>{"tails.d88"}, std::vector<std::string>{"tails.d88", "0"},
          std::vector<std::string>{"--json", "tails.d88"}})
        EXPECT_LE(run(D88INFO_PATH, args).out.size(), 16 * image.size() + (1u << 20));
}

TEST_F(RecordMapPrograms, WhatOnlyTheCountsWalkThroughIsNoRecord)
{
    // 40 bytes of garbage after sector 5 of track 1: no step from sector 5
    // lands on a plausible header, and the counts walk on through garbage.
    Disk disk = plainDisk(6);
    testimg::Record* sector5 = testimg::findRecord(disk, 1, 5);
    sector5->dataSize = 256;
    sector5->data.resize(256 + 40);
    for (std::size_t i = 256; i < sector5->data.size(); ++i)
        sector5->data[i] = static_cast<std::uint8_t>(0x3A + 7 * i);
    write("garbage.d88", testimg::buildDisk(disk));
    const Json d = json("garbage.d88");
    const Json& track = d["disks"][0]["tracks"][1];
    EXPECT_FALSE(track["countedBytes"].empty());
    for (const Json& record : track["records"]) {
        EXPECT_EQ(record["c"], 0);
        EXPECT_EQ(record["h"], 1);
    }
    EXPECT_TRUE(track["records"][4]["sizeUnverified"].get<bool>()); // sector 5
    const testsupport::RunResult listing = run(D88INFO_PATH, {"garbage.d88", "0"});
    EXPECT_NE(listing.out.find("walked by the sector counts, not plausible records"), std::string::npos);
}

} // namespace
