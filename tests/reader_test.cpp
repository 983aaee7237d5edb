// The reader against images built in code: indexing, selection, sector
// lookup, ID listing and sector runs, including damaged and hostile layouts.
#include "d88/d88_image.h"
#include "d88/layout.h"
#include "d88/record_map.h"
#include "image_builder.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <numeric>
#include <optional>
#include <random>

namespace {

namespace fs = std::filesystem;
using d88::D88Image;
using testimg::Bytes;
using testimg::Disk;
using testimg::Record;
using testimg::Track;
using testsupport::sameBytes;

class ReaderTest : public ::testing::Test {
  protected:
    // Writes the image to a file and opens it with `image`.
    bool load(const Bytes& bytes)
    {
        const std::string path = (dir / ("image" + std::to_string(files++) + ".d88")).string();
        testimg::writeFile(path, bytes);
        return image.open(path.c_str());
    }
    bool loadDisks(const std::vector<Disk>& disks) { return load(testimg::buildImage(disks)); }

    // The data of sector r of `track` as the reader returns it, at most 256 bytes.
    Bytes sector(int track, int r, int maxLen = 256)
    {
        Bytes out(static_cast<std::size_t>(std::max(maxLen, 0)), 0xEE);
        const int got = image.readSector(track, track / 2, track % 2, r, 1, out.data(), maxLen);
        out.resize(static_cast<std::size_t>(std::max(got, 0)));
        return out;
    }

    testsupport::TempDir dir;
    D88Image image;
    int files = 0;
};

Record record(int c, int h, int r, int n, Bytes data)
{
    Record rec;
    rec.c = static_cast<std::uint8_t>(c);
    rec.h = static_cast<std::uint8_t>(h);
    rec.r = static_cast<std::uint8_t>(r);
    rec.n = static_cast<std::uint8_t>(n);
    rec.data = std::move(data);
    return rec;
}

TEST(LittleEndian, AssemblesBytesWithoutSignExtensionOrOverflow)
{
    const std::uint8_t ffff[] = {0xFF, 0xFF};
    const std::uint8_t size[] = {0xB0, 0x02, 0x00, 0x00};
    const std::uint8_t top[] = {0x00, 0x00, 0x00, 0x80};
    const std::uint8_t ones[] = {0xFF, 0xFF, 0xFF, 0xFF};
    const std::uint8_t mixed[] = {0x78, 0x56, 0x34, 0x12};
    EXPECT_EQ(d88::readLE16(ffff), 65535);
    EXPECT_EQ(d88::readLE32(size), 688);
    EXPECT_EQ(d88::readLE32(top), INT32_MIN);
    EXPECT_EQ(d88::readLE32(ones), -1);
    EXPECT_EQ(d88::readLE32(mixed), 0x12345678);
}

TEST_F(ReaderTest, ClosedAndUnselectedImagesDeliverNothing)
{
    std::uint8_t buf[256] = {};
    EXPECT_EQ(image.readSector(0, 0, 0, 1, 1, buf, 256), 0);
    EXPECT_EQ(image.readSectorIds(0, buf, 256), 0);
    EXPECT_EQ(image.readSectors(0, 0, 0, 1, 1, buf, 256), 0);
    EXPECT_FALSE(image.selectDisk(0));
    EXPECT_TRUE(image.open(nullptr)); // closing a closed image
    EXPECT_EQ(image.diskCount(), 0);
    EXPECT_EQ(image.mediaType(), -1);

    // Open but not selected: the track table is still all zero.
    Disk named = testimg::formattedDisk(1, 2);
    named.name = "KEPT";
    ASSERT_TRUE(loadDisks({named}));
    EXPECT_EQ(image.readSector(0, 0, 0, 1, 1, buf, 256), 0);

    // Closing forgets the file and the selection, but keeps the last
    // selection's name, size and table, which read nothing without a file.
    ASSERT_TRUE(image.selectDisk(0));
    const std::int32_t size = image.diskSize();
    image.close();
    EXPECT_EQ(image.selectedDisk(), -1);
    EXPECT_EQ(image.mediaType(), -1);
    EXPECT_STREQ(image.diskName(), "KEPT");
    EXPECT_EQ(image.diskSize(), size);
    EXPECT_NE(image.trackOffset(0), 0);
    EXPECT_EQ(image.readSector(0, 0, 0, 1, 1, buf, 256), 0);
}

TEST(SectorFlags, EachFlagByteMeansWhatTheWritersMean)
{
    using d88::SectorFlag;
    struct Case {
        std::uint8_t deletedMark, status;
        std::vector<SectorFlag> flags; // in the order they are told
    };
    const Case cases[] = {
        {0x00, 0x00, {}},
        {0x10, 0x00, {SectorFlag::DeletedData}},
        {0x01, 0x00, {SectorFlag::DeletedData}},
        {0x00, 0x10, {SectorFlag::DeletedData}},
        {0x00, 0xA0, {SectorFlag::IdCrcError}},
        {0x00, 0xB0, {SectorFlag::DataCrcError}},
        {0x00, 0xE0, {SectorFlag::NoAddressMark}},
        {0x00, 0xF0, {SectorFlag::NoDataMark}},
        {0x00, 0x20, {SectorFlag::OtherStatus}},
        {0x00, 0xFF, {SectorFlag::OtherStatus}},
        {0x10, 0xB0, {SectorFlag::DataCrcError, SectorFlag::DeletedData}},
        {0x10, 0x0A, {SectorFlag::OtherStatus, SectorFlag::DeletedData}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "byte 7 " << int(c.deletedMark) << ", status " << int(c.status));
        const d88::SectorFlags flags = d88::SectorFlags::of(c.deletedMark, c.status);
        std::vector<SectorFlag> has;
        for (const SectorFlag flag : d88::kEverySectorFlag)
            if (flags.has(flag))
                has.push_back(flag);
        EXPECT_EQ(has, c.flags);
        EXPECT_EQ(flags.any(), !c.flags.empty());
        // The one shown where there is room for one: the first told.
        if (flags.any()) {
            EXPECT_EQ(flags.first(), c.flags.front());
        }
    }
}

TEST(SectorPlaces, RunsMoveOnAsTheTitleNumbersTracks)
{
    EXPECT_EQ(d88::placeOnTrack(27, 9, 1), (d88::SectorPlace{27, d88::SectorId{13, 1, 9, 1}}));
    struct Case {
        d88::SectorPlace at;
        int first, last;
        std::optional<d88::SectorPlace> next; // none: the run cannot go on
    };
    const Case cases[] = {
        {{10, {5, 0, 6, 1}}, 1, 16, d88::SectorPlace{10, {5, 0, 7, 1}}},
        {{10, {5, 0, 16, 1}}, 1, 16, d88::SectorPlace{11, {5, 1, 1, 1}}},
        {{11, {5, 1, 16, 1}}, 1, 16, d88::SectorPlace{12, {6, 0, 1, 1}}},
        {{3, {1, 1, 8, 2}}, 1, 8, d88::SectorPlace{4, {2, 0, 1, 2}}},
        {{0, {0, 0, 255, 1}}, 1, 300, std::nullopt},   // sector 256 has no ID
        {{511, {255, 1, 16, 1}}, 1, 16, std::nullopt}, // nor has cylinder 256
        {{0, {0, 0, 16, 1}}, 256, 16, std::nullopt},
        {{511, {255, 0, 16, 1}}, 1, 16, d88::SectorPlace{512, {255, 1, 1, 1}}},
    };
    for (const Case& c : cases) {
        d88::SectorPlace at = c.at;
        EXPECT_EQ(d88::nextInRun(&at, c.first, c.last), c.next.has_value())
            << c.at.track << "/" << int(c.at.id.r);
        EXPECT_EQ(at, c.next.value_or(c.at));
    }
    d88::SectorPlace place;
    EXPECT_FALSE(d88::makePlace(0, 256, 0, 1, 1, &place));
    EXPECT_FALSE(d88::makePlace(0, 0, 0, -1, 1, &place));
    EXPECT_TRUE(d88::makePlace(200, 0, 0, 255, 8, &place));
    EXPECT_EQ(place, (d88::SectorPlace{200, d88::SectorId{0, 0, 255, 8}}));
}

TEST_F(ReaderTest, OpenRefusesWhatIsNotARegularFile)
{
    EXPECT_FALSE(image.open((dir / "missing.d88").c_str()));
    EXPECT_FALSE(image.open(dir.path().c_str()));
    EXPECT_FALSE(image.open("/dev/null"));
    EXPECT_EQ(image.diskCount(), 0);
}

TEST_F(ReaderTest, OpenSaysWhyAndNeverWaitsForAWriter)
{
    // A FIFO with no writer: a blocking open would wait for ever, so the
    // alarm ends the test if the open blocks.
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    const std::pair<std::string, int> cases[] = {
        {(dir / "missing.d88").string(), ENOENT},
        {dir.path().string(), d88::kErrorNotRegularFile},
        {"/dev/null", d88::kErrorNotRegularFile},
        {(dir / "fifo").string(), d88::kErrorNotRegularFile},
    };
    alarm(10);
    for (const auto& [path, error] : cases) {
        const d88::Outcome opened = image.openImage(path.c_str());
        EXPECT_TRUE(opened.failed()) << path;
        EXPECT_EQ(opened.error, error) << path;
        d88::FileIdentity identity;
        EXPECT_FALSE(image.fileIdentity(&identity));
    }
    alarm(0);
    ASSERT_TRUE(loadDisks({testimg::formattedDisk(1, 2)}));
    EXPECT_TRUE(image.outcome().done()); // a successful open starts afresh
    struct stat st;
    ASSERT_EQ(stat((dir / "image0.d88").c_str(), &st), 0);
    d88::FileIdentity identity;
    ASSERT_TRUE(image.fileIdentity(&identity));
    EXPECT_EQ(identity.device, static_cast<std::uint64_t>(st.st_dev));
    EXPECT_EQ(identity.file, static_cast<std::uint64_t>(st.st_ino));
    // The identity is the open file's, whatever becomes of its name.
    fs::remove(dir / "image0.d88");
    ASSERT_TRUE(image.fileIdentity(&identity));
    EXPECT_EQ(identity.file, static_cast<std::uint64_t>(st.st_ino));
}

TEST_F(ReaderTest, RawBytesOfTheFileUpToItsEnd)
{
    const Disk disk = testimg::formattedDisk(8, 2, 4, false);
    ASSERT_TRUE(loadDisks({disk}));
    const Bytes file = testimg::buildDisk(disk);
    Bytes tail(500);
    std::int64_t got = -1;
    EXPECT_TRUE(image.readFileBytes(static_cast<std::int64_t>(file.size()) - 300, tail, &got).done());
    EXPECT_EQ(got, 300);
    EXPECT_TRUE(sameBytes(Bytes(file.end() - 300, file.end()), Bytes(tail.begin(), tail.begin() + 300)));
    EXPECT_EQ(image.fileSize(), static_cast<std::int64_t>(file.size()));
}

TEST_F(ReaderTest, ShortFileOpensWithNoDisks)
{
    ASSERT_TRUE(load(Bytes(687, 0)));
    EXPECT_EQ(image.diskCount(), 0);
    EXPECT_FALSE(image.selectDisk(0));
    ASSERT_TRUE(load(Bytes{}));
    EXPECT_EQ(image.diskCount(), 0);
}

TEST_F(ReaderTest, IndexesDisksByTheirSizeFields)
{
    const Disk first = testimg::formattedDisk(1, 4);
    Disk second = testimg::formattedDisk(2, 2);
    second.name = "SECOND";
    second.mediaType = 0x10;
    const auto firstSize = static_cast<std::int64_t>(testimg::buildDisk(first).size());
    ASSERT_TRUE(loadDisks({first, second}));
    EXPECT_EQ(image.diskCount(), 2);
    EXPECT_EQ(image.diskOffset(0), 0);
    EXPECT_EQ(image.diskOffset(1), firstSize);
    EXPECT_EQ(image.diskOffset(2), -1);

    ASSERT_TRUE(image.selectDisk(1));
    EXPECT_EQ(image.selectedDisk(), 1);
    EXPECT_STREQ(image.diskName(), "SECOND");
    EXPECT_EQ(image.mediaType(), 0x10);
    EXPECT_TRUE(sameBytes(testimg::sectorPattern(2, 1, 5, 256), sector(1, 5)));
}

TEST_F(ReaderTest, DiskSizeZeroRepeatsTheFirstDiskUpToTheLimit)
{
    Disk disk = testimg::formattedDisk(1, 1);
    disk.diskSize = 0;
    ASSERT_TRUE(loadDisks({disk}));
    EXPECT_EQ(image.diskCount(), d88::kMaxDisks);
    EXPECT_EQ(image.diskOffset(63), 0);
}

TEST_F(ReaderTest, IndexingStopsAtSixtyFourDisks)
{
    std::vector<Disk> disks(70, testimg::formattedDisk(1, 0));
    ASSERT_TRUE(loadDisks(disks));
    EXPECT_EQ(image.diskCount(), 64);
    EXPECT_EQ(image.diskOffset(63), 63 * 688);
}

TEST_F(ReaderTest, NegativeDiskSizeEndsIndexingAfterThatDisk)
{
    Disk bad = testimg::formattedDisk(1, 1);
    bad.diskSize = 0x80000000u;
    ASSERT_TRUE(loadDisks({bad, testimg::formattedDisk(2, 1)}));
    EXPECT_EQ(image.diskCount(), 1);
    // Every track offset is larger than a negative disk size: all absent.
    ASSERT_TRUE(image.selectDisk(0));
    EXPECT_EQ(image.diskSize(), INT32_MIN);
    EXPECT_TRUE(sector(0, 1).empty());
}

TEST_F(ReaderTest, FailedSelectionLeavesNoDiskSelected)
{
    Disk disk = testimg::formattedDisk(1, 2);
    disk.name = "NAMED";
    ASSERT_TRUE(loadDisks({disk}) && image.selectDisk(0));
    ASSERT_EQ(sector(0, 1).size(), 256u);
    for (int index : {1, -1, INT32_MAX}) {
        ASSERT_TRUE(image.selectDisk(0));
        EXPECT_FALSE(image.selectDisk(index));
        EXPECT_EQ(image.mediaType(), -1);
        EXPECT_EQ(image.selectedDisk(), -1);
        EXPECT_STREQ(image.diskName(), "");
        EXPECT_TRUE(sector(0, 1).empty()); // the old track table no longer counts
    }
}

TEST_F(ReaderTest, NamesAreCappedAtSixteenBytes)
{
    Disk full = testimg::formattedDisk(1, 1);
    full.name = "ABCDEFGHIJKLMNOP";
    full.headerBytes[0x10] = 'Q'; // a name running on into the reserved bytes
    Disk embedded = testimg::formattedDisk(1, 1);
    embedded.name = std::string("AB\0CD", 5);
    ASSERT_TRUE(loadDisks({full, embedded}) && image.selectDisk(0));
    EXPECT_STREQ(image.diskName(), "ABCDEFGHIJKLMNOP");
    ASSERT_TRUE(image.selectDisk(1));
    EXPECT_STREQ(image.diskName(), "AB");
}

TEST_F(ReaderTest, ReopeningDropsTheSelectionOfTheEarlierFile)
{
    ASSERT_TRUE(loadDisks({testimg::formattedDisk(1, 2)}) && image.selectDisk(0));
    ASSERT_TRUE(loadDisks({testimg::formattedDisk(2, 2)}));
    EXPECT_TRUE(sector(0, 1).empty());
    ASSERT_TRUE(image.selectDisk(0));
    EXPECT_TRUE(sameBytes(testimg::sectorPattern(2, 0, 1, 256), sector(0, 1)));
}

TEST_F(ReaderTest, FindsEverySectorOfAnInterleavedDiskInAnyOrder)
{
    const Disk disk = testimg::formattedDisk(7, 80, 16, true);
    ASSERT_TRUE(loadDisks({disk}) && image.selectDisk(0));
    std::vector<int> order(80 * 16);
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), std::mt19937(42));
    for (int k : order) {
        const int track = k / 16, r = k % 16 + 1;
        ASSERT_TRUE(sameBytes(testimg::sectorPattern(7, track, r, 256), sector(track, r)))
            << "track " << track << " sector " << r;
    }
}

TEST_F(ReaderTest, LookupMatchesAllFourIdBytes)
{
    Disk disk;
    disk.tracks[0].records = {record(0, 0, 1, 2, Bytes(512, 1)), record(0, 1, 1, 1, Bytes(256, 2)),
                              record(1, 0, 1, 1, Bytes(256, 3)), record(0, 0, 2, 1, Bytes(256, 4))};
    ASSERT_TRUE(loadDisks({disk}) && image.selectDisk(0));
    std::uint8_t buf[512];
    EXPECT_EQ(image.readSector(0, 0, 0, 1, 1, buf, 512), 0);
    EXPECT_EQ(image.readSector(0, 0, 0, 1, 2, buf, 512), 512);
    EXPECT_EQ(image.readSector(0, 0, 1, 1, 1, buf, 512), 256);
    EXPECT_EQ(buf[0], 2);
    EXPECT_EQ(image.readSector(0, 1, 0, 1, 1, buf, 512), 256);
    EXPECT_EQ(buf[0], 3);
    EXPECT_EQ(image.readSector(0, 256, 0, 1, 1, buf, 512), 0); // not a byte value
}

TEST_F(ReaderTest, LookupCopiesAtMostMaxLen)
{
    ASSERT_TRUE(loadDisks({testimg::formattedDisk(3, 1)}) && image.selectDisk(0));
    Bytes buf(256, 0xEE);
    EXPECT_EQ(image.readSector(0, 0, 0, 4, 1, buf.data(), 100), 100);
    const Bytes want = testimg::sectorPattern(3, 0, 4, 256);
    EXPECT_TRUE(std::equal(want.begin(), want.begin() + 100, buf.begin()));
    EXPECT_TRUE(std::all_of(buf.begin() + 100, buf.end(), [](std::uint8_t b) { return b == 0xEE; }));
    EXPECT_EQ(image.readSector(0, 0, 0, 4, 1, buf.data(), 0), 0);
    EXPECT_EQ(image.readSector(0, 0, 0, 4, 1, buf.data(), -1), 0);
    EXPECT_EQ(buf[0], want[0]);
}

TEST_F(ReaderTest, WalkStopsWhereTheSectorCountSays)
{
    Disk disk;
    Track& t0 = disk.tracks[0];
    t0.records = {record(0, 0, 1, 1, Bytes(256, 1)), record(0, 0, 2, 1, Bytes(256, 2)),
                  record(0, 0, 3, 1, Bytes(256, 3))};
    for (Record& rec : t0.records)
        rec.count = 2; // the third record is beyond the track
    Track& t1 = disk.tracks[1];
    t1.records = {record(0, 1, 1, 1, Bytes(256, 1)), record(0, 1, 2, 1, Bytes(256, 2))};
    t1.records[0].count = 0; // a count of 0 ends a lookup at once
    ASSERT_TRUE(loadDisks({disk}) && image.selectDisk(0));
    EXPECT_EQ(sector(0, 2).size(), 256u);
    EXPECT_TRUE(sector(0, 3).empty());
    EXPECT_TRUE(sector(1, 1).empty());
    EXPECT_TRUE(sector(1, 2).empty());
}

TEST_F(ReaderTest, FirstOfDuplicateIdsWins)
{
    Disk disk;
    disk.tracks[0].records = {record(0, 0, 1, 1, Bytes(256, 0xAA)), record(0, 0, 1, 1, Bytes(256, 0xBB))};
    ASSERT_TRUE(loadDisks({disk}) && image.selectDisk(0));
    EXPECT_EQ(sector(0, 1), Bytes(256, 0xAA));
}

TEST_F(ReaderTest, TrackTableEntriesOutsideTheDiskAreAbsent)
{
    Disk disk = testimg::formattedDisk(4, 4);
    const auto size = static_cast<std::uint32_t>(testimg::buildDisk(disk).size());
    disk.trackOffsets[1] = 0;
    disk.trackOffsets[2] = size + 1;
    disk.trackOffsets[3] = 0xFFFFFFF0u; // negative
    ASSERT_TRUE(loadDisks({disk}) && image.selectDisk(0));
    EXPECT_EQ(sector(0, 1).size(), 256u);
    EXPECT_TRUE(sector(1, 1).empty());
    EXPECT_TRUE(sector(2, 1).empty());
    EXPECT_TRUE(sector(3, 1).empty());
    std::uint8_t buf[256];
    for (int track : {-1, 164, INT32_MAX, INT32_MIN})
        EXPECT_EQ(image.readSector(track, 0, 0, 1, 1, buf, 256), 0);
}

TEST_F(ReaderTest, TrackOffsetEqualToDiskSizeStillCounts)
{
    // One track at 688; the disk claims to end right where it starts, so the
    // track's bytes lie beyond the disk yet the offset passes.
    Disk disk = testimg::formattedDisk(5, 1);
    disk.diskSize = 688;
    ASSERT_TRUE(loadDisks({disk}) && image.selectDisk(0));
    EXPECT_EQ(sector(0, 1).size(), 256u);
    disk.diskSize = 687;
    ASSERT_TRUE(loadDisks({disk}) && image.selectDisk(0));
    EXPECT_TRUE(sector(0, 1).empty());
}

TEST_F(ReaderTest, ShortFileEndsWalksAndTruncatesData)
{
    Disk disk;
    disk.tracks[0].records = {record(0, 0, 1, 1, Bytes(256, 1)), record(0, 0, 2, 1, Bytes(256, 2)),
                              record(0, 0, 3, 1, Bytes(256, 3))};
    Bytes bytes = testimg::buildDisk(disk);
    // Cut inside sector 2's data: sector 2 delivers what is there, sector 3's
    // header is gone.
    bytes.resize(688 + 272 + 16 + 100);
    ASSERT_TRUE(load(bytes) && image.selectDisk(0));
    EXPECT_EQ(sector(0, 1).size(), 256u);
    EXPECT_EQ(sector(0, 2), Bytes(100, 2));
    EXPECT_TRUE(sector(0, 3).empty());
}

TEST_F(ReaderTest, LargeRecordsAcrossTheReadWindow)
{
    Disk disk;
    Record big = record(0, 0, 1, 0, testimg::sectorPattern(9, 0, 1, 65535));
    Record big2 = record(0, 0, 2, 0, testimg::sectorPattern(9, 0, 2, 65535));
    Record last = record(0, 0, 3, 1, testimg::sectorPattern(9, 0, 3, 256));
    disk.tracks[0].records = {big, big2, last};
    Record past = record(0, 1, 1, 1, Bytes(300, 7));
    past.dataSize = 65535; // runs past the end of the file
    disk.tracks[1].records = {past};
    ASSERT_TRUE(loadDisks({disk}) && image.selectDisk(0));
    Bytes buf(65535);
    EXPECT_EQ(image.readSector(0, 0, 0, 2, 0, buf.data(), 65535), 65535);
    EXPECT_TRUE(sameBytes(big2.data, buf));
    EXPECT_EQ(image.readSector(0, 0, 0, 1, 0, buf.data(), 65535), 65535);
    EXPECT_TRUE(sameBytes(big.data, buf));
    EXPECT_TRUE(sameBytes(last.data, sector(0, 3)));
    EXPECT_EQ(image.readSector(1, 0, 1, 1, 1, buf.data(), 65535), 300);
}

TEST_F(ReaderTest, ListsIdsInStoredOrderWhileTheyFit)
{
    ASSERT_TRUE(loadDisks({testimg::formattedDisk(1, 4, 16, true)}) && image.selectDisk(0));
    std::uint8_t ids[100] = {};
    EXPECT_EQ(image.readSectorIds(3, ids, 6), 4);
    EXPECT_EQ(image.readSectorIds(3, ids, 64), 64);
    EXPECT_EQ(image.readSectorIds(3, ids, 100), 64);
    EXPECT_EQ(image.readSectorIds(3, ids, -4), 0);
    EXPECT_EQ(image.readSectorIds(4, ids, 100), 0);
    const std::uint8_t firstTwo[] = {1, 1, 1, 1, 1, 1, 9, 1};
    EXPECT_TRUE(std::equal(std::begin(firstTwo), std::end(firstTwo), ids));
}

TEST_F(ReaderTest, IdListingGoesOnPastACountOfZero)
{
    Disk disk;
    disk.tracks[0].records = {record(0, 0, 5, 1, {}), record(0, 0, 6, 1, {}), record(0, 0, 7, 1, {})};
    for (Record& rec : disk.tracks[0].records)
        rec.count = 0;
    ASSERT_TRUE(loadDisks({disk}) && image.selectDisk(0));
    std::uint8_t ids[64] = {};
    // The three records, then the end of the file stops the listing.
    EXPECT_EQ(image.readSectorIds(0, ids, 64), 12);
    EXPECT_EQ(ids[10], 7);
}

TEST_F(ReaderTest, LookupOfAHugeSharedTrackIsBounded)
{
    // Every table entry points at one run of decoys. The first claims the
    // largest count, the rest a count their position never reaches, so only
    // the 65535-record limit ends the walk: the sector behind them is not
    // found.
    Disk disk;
    Track& t = disk.tracks[0];
    for (int i = 0; i < 70000; ++i) {
        t.records.push_back(record(0xFF, 0xFF, 0xFF, 0xFF, {}));
        t.records.back().count = i == 0 ? 65535 : 1;
    }
    t.records.push_back(record(0, 0, 1, 1, Bytes(256, 1)));
    t.records.back().count = 1;
    for (int i = 1; i < 164; ++i)
        disk.trackOffsets[i] = 688;
    ASSERT_TRUE(loadDisks({disk}) && image.selectDisk(0));
    EXPECT_TRUE(sector(0, 1).empty());
    std::uint8_t buf[1];
    EXPECT_EQ(image.readSector(0, 0xFF, 0xFF, 0xFF, 0xFF, buf, 1), 0); // no data to copy

    // Within the limit the same decoys are walked past: only the count of the
    // record just read can end the walk.
    t.records.erase(t.records.begin() + 100, t.records.end() - 1);
    ASSERT_TRUE(loadDisks({disk}) && image.selectDisk(0));
    EXPECT_EQ(sector(0, 1), Bytes(256, 1));
}

TEST_F(ReaderTest, WalksLongerThanTheReadWindow)
{
    // 60,000 records of 100 bytes: a walk of some 7 MB, far more than the
    // reader holds at once. Lookups along it, repeated and out of order,
    // must all see the right bytes.
    Disk disk;
    auto& records = disk.tracks[0].records;
    for (int i = 0; i < 60000; ++i) {
        records.push_back(
            record(i % 256, i / 256 % 2, i / 512 % 256, 0, testimg::sectorPattern(3, i, 0, 100)));
        records.back().count = 60000;
    }
    disk.trackOffsets[1] = 688;
    ASSERT_TRUE(loadDisks({disk}) && image.selectDisk(0));
    Bytes buf(100);
    for (int i : {59999, 0, 30000, 59998, 1, 45000, 45001, 44999}) {
        const int track = i % 2;
        ASSERT_EQ(image.readSector(track, i % 256, i / 256 % 2, i / 512 % 256, 0, buf.data(), 100), 100) << i;
        EXPECT_TRUE(sameBytes(testimg::sectorPattern(3, i, 0, 100), buf)) << i;
    }
}

TEST_F(ReaderTest, LookupsThatHopBetweenDisksAndBackSeeTheirOwnBytes)
{
    // Eight disks, more than the reader holds at once. Runs of tracks, on a
    // disk picked at random or on the same disk again: the reader's bytes move
    // with the walks, grow, jump and come back, and each sector is still its own.
    std::vector<Disk> disks;
    for (int seed = 0; seed < 8; ++seed)
        disks.push_back(testimg::formattedDisk(seed));
    ASSERT_TRUE(loadDisks(disks));
    std::uint32_t random = 12345;
    const auto next = [&random](std::uint32_t below) {
        random = random * 1103515245u + 12345u;
        return static_cast<int>((random >> 16) % below);
    };
    for (int run = 0, disk = 0; run < 400; ++run) {
        // Two runs of three stay on the disk of the run before.
        disk = run % 3 ? disk : next(8);
        const int first = next(80), tracks = 1 + next(12);
        ASSERT_TRUE(image.selectDisk(disk));
        for (int track = first; track < std::min(80, first + tracks); ++track) {
            const int r = 1 + next(16);
            ASSERT_TRUE(sameBytes(testimg::sectorPattern(disk, track, r, 256), sector(track, r)))
                << "disk " << disk << " track " << track << " sector " << r;
        }
    }
}

TEST_F(ReaderTest, TrackOffsetsIntoTheHeaderOrPastTheFile)
{
    // Offset 16 reads header bytes as records; they must be walked like any
    // other bytes. Offset 0x10000 lies within the claimed disk size but past
    // the end of the file.
    Disk disk = testimg::formattedDisk(6, 2);
    disk.trackOffsets[0] = 16;
    disk.trackOffsets[1] = 0x10000;
    disk.diskSize = 0x20000;
    disk.headerBytes[16] = 0; // C of the fake first record
    disk.headerBytes[18] = 9; // R
    disk.headerBytes[19] = 1; // N
    disk.headerBytes[20] = 1; // sector count 1
    disk.headerBytes[30] = 4; // data size 4
    ASSERT_TRUE(loadDisks({disk}) && image.selectDisk(0));
    std::uint8_t buf[256];
    ASSERT_EQ(image.readSector(0, 0, 0, 9, 1, buf, 256), 4);
    const std::uint8_t entry0[] = {16, 0, 0, 0}; // bytes 32-35: the first table entry
    EXPECT_TRUE(std::equal(std::begin(entry0), std::end(entry0), buf));
    EXPECT_TRUE(sector(1, 1).empty());
    std::uint8_t ids[64];
    EXPECT_EQ(image.readSectorIds(1, ids, 64), 0);
}

TEST_F(ReaderTest, SectorCountsOfOneAndOfTheMaximum)
{
    Disk disk;
    disk.tracks[0].records = {record(0, 0, 1, 1, Bytes(256, 1)), record(0, 0, 2, 1, Bytes(256, 2))};
    disk.tracks[0].records[0].count = 1; // the walk ends after the first record
    disk.tracks[1].records = {record(0, 1, 1, 1, Bytes(256, 1)), record(0, 1, 2, 1, Bytes(256, 2))};
    for (Record& rec : disk.tracks[1].records)
        rec.count = 65535; // more than there are: the walk goes on to the file's end
    ASSERT_TRUE(loadDisks({disk}) && image.selectDisk(0));
    EXPECT_EQ(sector(0, 1).size(), 256u);
    EXPECT_TRUE(sector(0, 2).empty());
    EXPECT_EQ(sector(1, 2), Bytes(256, 2));
    EXPECT_TRUE(sector(1, 3).empty());
    std::uint8_t ids[64];
    EXPECT_EQ(image.readSectorIds(0, ids, 64), 4);
    EXPECT_EQ(image.readSectorIds(1, ids, 64), 8);
}

TEST_F(ReaderTest, RunsInOtherSizeCodes)
{
    // N = 0 gives 128-byte pieces, N = 2 512-byte pieces; N = 255 cannot be
    // read as a run, though its record can be found.
    Disk disk;
    for (int r = 1; r <= 3; ++r) {
        disk.tracks[0].records.push_back(record(0, 0, r, 0, testimg::sectorPattern(1, 0, r, 128)));
        disk.tracks[1].records.push_back(record(0, 1, r, 2, testimg::sectorPattern(1, 1, r, 512)));
    }
    disk.tracks[2].records = {record(1, 0, 1, 255, Bytes(16, 9))};
    ASSERT_TRUE(loadDisks({disk}) && image.selectDisk(0));
    image.setSectorRange(1, 3);
    Bytes buf(2048);
    EXPECT_EQ(image.readSectors(0, 0, 0, 2, 0, buf.data(), 256), 256);
    EXPECT_TRUE(
        std::equal(buf.begin() + 128, buf.begin() + 256, testimg::sectorPattern(1, 0, 3, 128).begin()));
    EXPECT_EQ(image.readSectors(1, 0, 1, 1, 2, buf.data(), 2048), 1536);
    EXPECT_TRUE(
        std::equal(buf.begin() + 1024, buf.begin() + 1536, testimg::sectorPattern(1, 1, 3, 512).begin()));
    EXPECT_EQ(image.readSector(2, 1, 0, 1, 255, buf.data(), 2048), 16);
    EXPECT_EQ(image.readSectors(2, 1, 0, 1, 255, buf.data(), 16), 16);
    EXPECT_EQ(image.readSectors(2, 1, 0, 1, 255, buf.data(), 17), 0);
}

// --- sector runs ---

class RunTest : public ReaderTest {
  protected:
    void SetUp() override
    {
        disk = testimg::formattedDisk(11, 12, 16, true);
        ASSERT_TRUE(loadDisks({disk}) && image.selectDisk(0));
    }
    // readSectors from the sector (track, r) with IDs derived from the track.
    Bytes run(int track, int r, int length)
    {
        Bytes out(static_cast<std::size_t>(std::max(length, 0)), 0);
        const int got = image.readSectors(track, track / 2, track % 2, r, 1, out.data(), length);
        out.resize(static_cast<std::size_t>(std::max(got, 0)));
        return out;
    }
    Disk disk;
};

TEST_F(RunTest, CrossesSectorsTracksSidesAndCylinders)
{
    // From track 3 (C 1, H 1) sector 16 onto track 4 (C 2, H 0) and beyond.
    EXPECT_TRUE(sameBytes(testimg::expectedRun(disk, 3, 16, 256 * 20), run(3, 16, 256 * 20)));
    // The example run: 22 sectors from track 10 sector 6.
    EXPECT_TRUE(sameBytes(testimg::expectedRun(disk, 10, 6, 0x1600), run(10, 6, 0x1600)));
    EXPECT_TRUE(run(0, 1, 0).empty());
    EXPECT_TRUE(run(0, 1, -5).empty());
}

TEST_F(RunTest, LastPieceMayBeShort)
{
    const Bytes got = run(0, 16, 300);
    ASSERT_EQ(got.size(), 300u);
    Bytes want = testimg::sectorPattern(11, 0, 16, 256);
    const Bytes next = testimg::sectorPattern(11, 1, 1, 44);
    want.insert(want.end(), next.begin(), next.end());
    EXPECT_TRUE(sameBytes(want, got));
}

TEST_F(RunTest, StopsAtTheFirstMissingOrShortSector)
{
    auto& records = disk.tracks[2].records;
    records.erase(std::find_if(records.begin(), records.end(), [](const Record& r) { return r.r == 3; }));
    testimg::findRecord(disk, 5, 3)->data.resize(255);
    ASSERT_TRUE(loadDisks({disk}) && image.selectDisk(0));
    EXPECT_EQ(run(2, 1, 4096).size(), 512u);
    EXPECT_EQ(run(5, 1, 4096).size(), 512u);
    // A short sector still serves a final piece it can fill.
    EXPECT_EQ(run(5, 1, 512 + 255).size(), 767u);
    EXPECT_EQ(run(11, 16, 4096).size(), 256u); // track 12 does not exist
}

TEST_F(RunTest, SectorRangeDecidesWhereATrackEnds)
{
    image.setSectorRange(1, 8);
    Bytes want;
    for (int r = 7; r <= 8; ++r) {
        const Bytes s = testimg::sectorPattern(11, 4, r, 256);
        want.insert(want.end(), s.begin(), s.end());
    }
    for (int r = 1; r <= 2; ++r) {
        const Bytes s = testimg::sectorPattern(11, 5, r, 256);
        want.insert(want.end(), s.begin(), s.end());
    }
    EXPECT_TRUE(sameBytes(want, run(4, 7, 1024)));
}

TEST_F(RunTest, StopsAtTheEndOfTheTrackTable)
{
    Disk last;
    for (int t : {162, 163}) {
        for (int r = 1; r <= 16; ++r)
            last.tracks[t].records.push_back(
                record(t / 2, t % 2, r, 1, testimg::sectorPattern(1, t, r, 256)));
    }
    ASSERT_TRUE(loadDisks({last}) && image.selectDisk(0));
    EXPECT_TRUE(sameBytes(testimg::expectedRun(last, 162, 1, 32 * 256), run(162, 1, 64 * 256)));
}

TEST_F(RunTest, OddSizeCodesAreSafe)
{
    std::vector<std::uint8_t> buf(1024);
    for (int n : {-1, 24, 31, 32, 255, 256, INT32_MAX})
        EXPECT_EQ(image.readSectors(0, 0, 0, 1, n, buf.data(), 1024), 0) << n;
    EXPECT_EQ(image.readSectors(0, 0, 0, 1, 1, buf.data(), INT32_MIN), 0);
}

// --- the span forms, the listing's "more" signal, track presence ---

TEST_F(ReaderTest, IdListingStopsAtTheCountOrTheRoom)
{
    Disk disk = testimg::formattedDisk(2, 2, 16, false);
    // Track 2: three records whose counts are 0, so only the file's end
    // stops the walk. Track 3: the count says 1 though two records follow.
    disk.tracks[2].records = {record(1, 0, 5, 1, {}), record(1, 0, 6, 1, {}), record(1, 0, 7, 1, {})};
    for (Record& rec : disk.tracks[2].records)
        rec.count = 0;
    disk.tracks[3].records = {record(1, 1, 1, 1, {}), record(1, 1, 2, 1, {})};
    disk.tracks[3].records[0].count = 1;
    Disk countZeroLast = disk; // tracks are laid out in index order
    countZeroLast.tracks.erase(3);
    ASSERT_TRUE(loadDisks({countZeroLast}) && image.selectDisk(0));

    struct Case {
        int track;
        std::size_t room;
        std::int32_t listed;
    };
    const Case cases[] = {
        {0, 16, 16}, {0, 15, 15}, {0, 40, 16}, {0, 0, 0}, {2, 3, 3}, {2, 2, 2}, {2, 9, 3}, {7, 4, 0},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> raw(4 * c.room + 4);
        EXPECT_EQ(4 * c.listed,
                  image.readSectorIds(c.track, raw.data(), static_cast<std::int32_t>(4 * c.room)))
            << c.track << " room " << c.room;
        if (c.track == 2 && c.listed > 0) {
            EXPECT_EQ((d88::SectorId{raw[0], raw[1], raw[2], raw[3]}), (d88::SectorId{1, 0, 5, 1}));
        }
    }

    // A count of 1 ends the track after its first record.
    disk.tracks.erase(2);
    ASSERT_TRUE(loadDisks({disk}) && image.selectDisk(0));
    std::vector<std::uint8_t> raw(16);
    EXPECT_EQ(image.readSectorIds(3, raw.data(), 16), 4);
    EXPECT_EQ((d88::SectorId{raw[0], raw[1], raw[2], raw[3]}), (d88::SectorId{1, 1, 1, 1}));
}

TEST_F(ReaderTest, RunsOfTheLargestStorableSizeCode)
{
    // Size code 8 is the largest whose 32,768-byte sector a record can hold:
    // a run of two of them is read in two whole pieces. Code 9's 65,536 bytes
    // cannot be stored, so its run is one piece, readable only when shorter.
    Disk disk;
    disk.tracks[0].records = {record(0, 0, 1, 8, testimg::sectorPattern(4, 0, 1, 32768)),
                              record(0, 0, 2, 8, testimg::sectorPattern(4, 0, 2, 32768)),
                              record(0, 0, 3, 9, testimg::sectorPattern(4, 0, 3, 65535))};
    ASSERT_TRUE(loadDisks({disk}) && image.selectDisk(0));
    EXPECT_EQ(d88::nominalSectorSize(8), 32768);
    EXPECT_EQ(d88::nominalSectorSize(9), 0);
    Bytes buf(65536);
    EXPECT_EQ(image.readSectors(0, 0, 0, 1, 8, buf.data(), 65536), 65536);
    Bytes want = testimg::sectorPattern(4, 0, 1, 32768);
    const Bytes second = testimg::sectorPattern(4, 0, 2, 32768);
    want.insert(want.end(), second.begin(), second.end());
    EXPECT_TRUE(sameBytes(want, buf));
    EXPECT_EQ(image.readSectors(0, 0, 0, 3, 9, buf.data(), 65535), 65535);
    EXPECT_EQ(image.readSectors(0, 0, 0, 3, 9, buf.data(), 65536), 0);
}

} // namespace

namespace {

// A disk of `tracks` tracks, each of `records` records that hold no data
// (R counting up, N from 0 to 8 and round again), written straight as bytes:
// more records than any builder image would hold.
Bytes denseDisk(int tracks, int records)
{
    const std::size_t trackBytes = 16 * static_cast<std::size_t>(records);
    Bytes disk(0x2B0 + trackBytes * static_cast<std::size_t>(tracks), 0);
    const auto put32 = [&disk](std::size_t at, std::size_t value) {
        for (int i = 0; i < 4; ++i)
            disk[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
    };
    put32(0x1C, disk.size());
    for (int t = 0; t < tracks; ++t) {
        const std::size_t start = 0x2B0 + trackBytes * static_cast<std::size_t>(t);
        put32(0x20 + 4 * static_cast<std::size_t>(t), start);
        for (int i = 0; i < records; ++i) {
            std::uint8_t* header = &disk[start + 16 * static_cast<std::size_t>(i)];
            header[0] = static_cast<std::uint8_t>(t / 2), header[1] = static_cast<std::uint8_t>(t % 2);
            header[2] = static_cast<std::uint8_t>(i), header[3] = static_cast<std::uint8_t>((i >> 8) % 9);
            header[4] = static_cast<std::uint8_t>(records),
            header[5] = static_cast<std::uint8_t>(records >> 8);
        }
    }
    return disk;
}

} // namespace

// Long tracks of records that hold no data, read through the record map:
// every record is where its track's bytes put it, whatever the track's
// length.
TEST_F(ReaderTest, LongTracksReadWhole)
{
    constexpr int kTracks = 164, kRecords = 20000;
    ASSERT_TRUE(load(denseDisk(kTracks, kRecords)));
    d88::RecordMap map(image);
    ASSERT_TRUE(map.loadDisk(0).done());
    const auto check = [&](int track) {
        SCOPED_TRACE(track);
        d88::TrackFacts facts;
        ASSERT_TRUE(map.track(track, &facts).done());
        ASSERT_EQ(facts.records, kRecords);
        EXPECT_EQ(facts.lies + facts.uncertain + facts.pastLies, 0);
        int seen = 0;
        ASSERT_TRUE(
            map.eachRecord(track,
                           [&](const d88::Record& record, std::int32_t i) {
                               const auto expect = d88::SectorId{
                                   static_cast<std::uint8_t>(track / 2), static_cast<std::uint8_t>(track % 2),
                                   static_cast<std::uint8_t>(i), static_cast<std::uint8_t>((i >> 8) % 9)};
                               if (i % 997 == 0 || i == kRecords - 1) {
                                   EXPECT_EQ(record.header.id, expect) << i;
                                   EXPECT_EQ(record.dataPos(),
                                             0x2B0 + 16LL * (static_cast<long long>(track) * kRecords + i) +
                                                 16);
                               }
                               ++seen;
                               return true;
                           })
                .done());
        EXPECT_EQ(seen, kRecords);
        d88::Record found;
        std::int32_t copied = -1;
        // IDs come again every 2,304 records: the first with R 9 and N 6 is
        // record 6 * 256 + 9.
        EXPECT_TRUE(map.findSector({track, d88::SectorId{static_cast<std::uint8_t>(track / 2),
                                                         static_cast<std::uint8_t>(track % 2), 9, 6}},
                                   {}, &found, &copied)
                        .done());
        EXPECT_EQ(found.dataPos(), 0x2B0 + 16LL * (static_cast<long long>(track) * kRecords + 1545) + 16);
    };
    for (int track : {0, 1, 80, kTracks - 1, 0})
        check(track);
}
