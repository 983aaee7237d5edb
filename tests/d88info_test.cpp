// d88info end to end, on the real sample images and on built damaged ones.
// Expected values come from a small parser written here, independent of the
// reader under test.
#include "image_builder.h"
#include "support/listing.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using testimg::Bytes;
using testimg::Disk;
using testsupport::RunResult;
using testsupport::sameBytes;

const std::string kInfo = D88INFO_PATH;
const fs::path kReal = REAL_IMAGES_DIR;

// --- an independent reading of well-formed images ---

using testsupport::le32;
using testsupport::rawTrack;
using Rec = testsupport::RawRecord;

// Tracks 0..last in table order, sectors 1..perTrack of `sectorSize` bytes.
Bytes plainImage(const Bytes& file, std::size_t base, int tracks, int perTrack, std::size_t sectorSize)
{
    Bytes out;
    for (int t = 0; t < tracks; ++t) {
        const std::vector<Rec> recs =
            rawTrack(file, base, le32(file, base + 0x20 + 4 * static_cast<std::size_t>(t)));
        for (int r = 1; r <= perTrack; ++r) {
            const auto it = std::find_if(recs.begin(), recs.end(), [&](const Rec& x) { return x.r == r; });
            EXPECT_NE(it, recs.end()) << "track " << t << " sector " << r;
            if (it == recs.end())
                return out;
            out.insert(out.end(), file.begin() + static_cast<long>(it->data),
                       file.begin() + static_cast<long>(it->data + sectorSize));
        }
    }
    return out;
}

class D88InfoTest : public testsupport::FolderTest {
  protected:
    RunResult info(const std::vector<std::string>& args) { return run(kInfo, args); }
};

using testsupport::hasLine;

const char* const k2D[] = {"x1_cpm_2d.d88", "x1_hubasic_2d.d88", "sos_test_2d.d88", "fm77av_demo2019_2d.d77"};

TEST_F(D88InfoTest, SummariesOfTheRealImages)
{
    for (const char* name : k2D) {
        const Bytes file = *testsupport::readFile(kReal / name);
        const RunResult r = info({(kReal / name).string()});
        EXPECT_EQ(r.status, 0) << name;
        EXPECT_EQ(r.err, "") << name;
        EXPECT_TRUE(hasLine(r.out, "disks: 1")) << name;
        EXPECT_TRUE(hasLine(r.out, "  disk size:  " + std::to_string(le32(file, 0x1C)) + " (0x552b0)"))
            << r.out;
        EXPECT_TRUE(hasLine(r.out, "  media type: 0x00 (2D)")) << r.out;
        EXPECT_TRUE(hasLine(r.out, "  tracks:     80 present: 0-79")) << r.out;
        EXPECT_TRUE(hasLine(r.out, "  records:    16 a track on 80 tracks")) << r.out;
        EXPECT_TRUE(hasLine(r.out, "  size codes: N=1 (256 bytes) x1280")) << r.out;
        std::string label = "  boot:       no ZANVO label; bytes 1-16:";
        const auto boot = rawTrack(file, 0, le32(file, 0x20));
        for (std::size_t i = 1; i <= 16; ++i) {
            char hex[4];
            std::snprintf(hex, sizeof hex, " %02x", file[boot[0].data + i]);
            label += hex;
        }
        if (std::all_of(file.begin() + static_cast<long>(boot[0].data) + 2,
                        file.begin() + static_cast<long>(boot[0].data) + 17,
                        [&](std::uint8_t b) { return b == file[boot[0].data + 1]; }))
            label += ", one byte repeated: as a sector formatted and never written holds";
        EXPECT_TRUE(hasLine(r.out, label)) << r.out;
    }
    // A name filling all 16 bytes, and one that ends early.
    EXPECT_TRUE(
        hasLine(info({(kReal / "x1_hubasic_2d.d88").string()}).out, "  name:       \"by_github_ORYZAP\""));
    EXPECT_TRUE(
        hasLine(info({(kReal / "fm77av_demo2019_2d.d77").string()}).out, "  name:       \"FM7DISK\""));
}

// A label area of one repeated byte is said to be a sector never written; a
// label that differs in its last byte alone is not.
TEST_F(D88InfoTest, ALabelAreaOfOneRepeatedByteIsSaidToBeNeverWritten)
{
    for (const bool repeated : {true, false}) {
        testimg::Disk disk = testimg::formattedDisk(2);
        testimg::Record* boot = testimg::findRecord(disk, 0, 1);
        std::fill(boot->data.begin(), boot->data.end(), std::uint8_t{0xE5});
        if (!repeated)
            boot->data[16] = 0xE4;
        write("blank.d88", testimg::buildImage({disk}));
        const RunResult r = info({"blank.d88"});
        EXPECT_EQ(r.status, 0);
        std::string expected = "  boot:       no ZANVO label; bytes 1-16:";
        for (int i = 1; i <= 16; ++i)
            expected += i == 16 && !repeated ? " e4" : " e5";
        if (repeated)
            expected += ", one byte repeated: as a sector formatted and never written holds";
        EXPECT_TRUE(hasLine(r.out, expected)) << r.out;
    }
}

TEST_F(D88InfoTest, TheHighDensityImageWhoseMediaByteSays2D)
{
    const fs::path path = kReal / "towns_fputest_2hd_media00.d77";
    const Bytes file = *testsupport::readFile(path);
    const RunResult r = info({path.string()});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(hasLine(r.out, "  tracks:     154 present: 0-153")) << r.out;
    EXPECT_TRUE(hasLine(r.out, "  size codes: N=3 (1024 bytes) x1232")) << r.out;
    EXPECT_TRUE(hasLine(
        r.out,
        "  note:       the media byte says 2D, but 8192-byte tracks on positions up to 153 look like 2HD"))
        << r.out;
    // Its boot sector is of another size, not missing: named so.
    const auto track0 = rawTrack(file, 0, le32(file, 0x20));
    const auto sector1 = std::find_if(track0.begin(), track0.end(), [](const Rec& x) { return x.r == 1; });
    ASSERT_NE(sector1, track0.end());
    const int n = sector1->n;
    EXPECT_TRUE(hasLine(r.out, "  boot:       no ZANVO boot sector: track 0 sector 1 holds " +
                                   std::to_string(128 << n) + " bytes (size code " + std::to_string(n) + ")"))
        << r.out;

    const RunResult raw = info({"--raw", path.string(), "0"});
    EXPECT_EQ(raw.status, 0);
    EXPECT_EQ(raw.err, "");
    EXPECT_TRUE(sameBytes(plainImage(file, 0, 154, 8, 1024), testsupport::toBytes(raw.out)));
}

TEST_F(D88InfoTest, RawExportsEqualThePlainSectorImage)
{
    for (const char* name : k2D) {
        const Bytes file = *testsupport::readFile(kReal / name);
        const Bytes plain = plainImage(file, 0, 80, 16, 256);
        ASSERT_EQ(plain.size(), 327680u);
        const RunResult r = info({"--raw", (kReal / name).string(), "0"});
        EXPECT_EQ(r.status, 0) << name;
        EXPECT_TRUE(sameBytes(plain, testsupport::toBytes(r.out))) << name;
        // The same bytes to a file, named with a folder.
        fs::create_directories(dir / "out");
        const RunResult toFile = info({"--raw", (kReal / name).string(), "0", "-o", "out/plain.img"});
        EXPECT_EQ(toFile.status, 0);
        EXPECT_EQ(toFile.out, "");
        EXPECT_TRUE(sameBytes(plain, *testsupport::readFile(dir / "out" / "plain.img"))) << name;
        EXPECT_EQ(testsupport::listFolder(dir / "out"), std::vector<std::string>{"plain.img"});
        // A file of one disk needs no disk number: the export is of disk 0.
        const RunResult unnumbered = info({"--raw", (kReal / name).string()});
        EXPECT_EQ(unnumbered.status, 0) << unnumbered.err;
        EXPECT_TRUE(sameBytes(plain, testsupport::toBytes(unnumbered.out))) << name;
        const RunResult split = info({"--split", (kReal / name).string()});
        EXPECT_EQ(split.status, 0) << split.err;
        EXPECT_TRUE(
            sameBytes(Bytes(file.begin(), file.begin() + le32(file, 0x1C)), testsupport::toBytes(split.out)))
            << name;
    }
}

TEST_F(D88InfoTest, TwoDisksInOneFile)
{
    const Bytes a = *testsupport::readFile(kReal / "fm77av_demo2019_2d.d77");
    const Bytes b = *testsupport::readFile(kReal / "sos_test_2d.d88");
    Bytes both = a;
    both.insert(both.end(), b.begin(), b.end());
    write("two.d88", both);

    const RunResult summary = info({"two.d88"});
    EXPECT_EQ(summary.status, 0);
    EXPECT_TRUE(hasLine(summary.out, "disks: 2"));
    EXPECT_TRUE(hasLine(summary.out, "disk 0 at offset 0 (0x0)"));
    EXPECT_TRUE(hasLine(summary.out, "disk 1 at offset 348848 (0x552b0)")) << summary.out;

    // The second disk's tracks, their records wrapped to lines of at most 100 columns.
    const RunResult tracks = info({"two.d88", "1"});
    EXPECT_EQ(tracks.status, 0);
    EXPECT_EQ(testsupport::linesLongerThan(tracks.out, 100), std::vector<std::string>{});
    for (int t : {0, 41, 79}) {
        const std::uint32_t entry = le32(b, 0x20 + 4 * static_cast<std::size_t>(t));
        char head[64];
        std::snprintf(head, sizeof head, "track %3d (C %d H %d) at 0x%x: 16 records", t, t / 2, t % 2, entry);
        std::string records;
        for (const Rec& rec : rawTrack(b, 0, entry))
            records += (records.empty() ? "" : " ") + std::to_string(rec.c) + "." + std::to_string(rec.h) +
                       "." + std::to_string(rec.r) + "." + std::to_string(rec.n);
        const auto listed = testsupport::listedTrack(tracks.out, t);
        ASSERT_TRUE(listed) << t;
        EXPECT_EQ(listed->head, head);
        EXPECT_EQ(listed->records, records);
        EXPECT_TRUE(listed->lies.empty());
    }

    const RunResult raw = info({"--raw", "two.d88", "1"});
    EXPECT_EQ(raw.status, 0);
    EXPECT_TRUE(sameBytes(plainImage(both, a.size(), 80, 16, 256), testsupport::toBytes(raw.out)));
}

// The map's row for a track that reads `records`, sector numbers lowR-highR,
// by the legend's order: '.' no record, 'D' more than one, then the first
// that applies of 'x' another track's C/H, a digit for another size code
// than 1, 's' fewer bytes than the size code's; '#' otherwise.
std::string mapRow(const std::vector<testimg::Record>& records, int track, int lowR, int highR)
{
    std::string row;
    for (int r = lowR; r <= highR; ++r) {
        std::vector<const testimg::Record*> holding;
        for (const testimg::Record& rec : records)
            if (rec.r == r)
                holding.push_back(&rec);
        if (holding.empty()) {
            row += '.';
            continue;
        }
        const testimg::Record& rec = *holding.front();
        row += holding.size() > 1                              ? 'D'
               : rec.c != track / 2 || rec.h != track % 2      ? 'x'
               : rec.n != 1                                    ? static_cast<char>('0' + rec.n)
               : rec.data.size() < (std::size_t{128} << rec.n) ? 's'
                                                               : '#';
    }
    return row;
}

TEST_F(D88InfoTest, MapOfADamagedDisk)
{
    Disk disk = testimg::formattedDisk(7, 6, 8, false);
    disk.tracks.erase(2); // a missing track
    auto& t1 = disk.tracks[1].records;
    t1.erase(t1.begin() + 2);               // sector 3 missing
    t1.push_back(t1[0]);                    // sector 1 twice
    testimg::findRecord(disk, 3, 5)->n = 2; // another size
    testimg::findRecord(disk, 4, 8)->c = 9; // another track's cylinder
    // Two more entries lead to the records of tracks 0 and 1: tracks 6 and 7
    // read records that carry those tracks' C/H, and track 7 shows track 1's
    // missing and doubled sectors, not those of a track read in between.
    Disk shared = disk;
    shared.trackOffsets[6] = static_cast<std::uint32_t>(testimg::trackStart(disk, 0));
    shared.trackOffsets[7] = static_cast<std::uint32_t>(testimg::trackStart(disk, 1));
    const std::map<int, int> readsOf = {{6, 0}, {7, 1}};

    for (const bool sharing : {false, true}) {
        SCOPED_TRACE(sharing ? "tracks 6 and 7 read tracks 0 and 1" : "the damaged disk");
        const Disk& built = sharing ? shared : disk;
        write("damaged.d88", testimg::buildImage({built}));
        const int tracks = sharing ? 8 : 6;

        const RunResult r = info({"damaged.d88", "0"});
        EXPECT_EQ(r.status, 0);
        const testsupport::ListedMap map = testsupport::listedMap(r.out);
        EXPECT_EQ(map.heading, "map of sector numbers 1-8:");
        EXPECT_EQ(map.legend,
                  "'#' present, '.' missing, then the first that applies: 'D' duplicated, 'x' C/H of "
                  "another track, a digit: size code other than 1, 's' stored short");
        EXPECT_EQ(map.columns, std::vector<std::string>{"          12345678"});
        std::vector<std::string> rows;
        for (int t = 0; t < tracks; ++t) {
            char head[16];
            std::snprintf(head, sizeof head, "track %3d ", t);
            const int from = readsOf.count(t) ? readsOf.at(t) : t;
            rows.push_back(head + (built.tracks.count(from) ? mapRow(built.tracks.at(from).records, t, 1, 8)
                                                            : std::string("absent")));
        }
        EXPECT_EQ(map.rows, rows);

        // The raw export keeps every sector at its offset and names the holes:
        // the cells the map draws '.', 'x' or a digit, and the absent track.
        const RunResult raw = info({"--raw", "damaged.d88", "0"});
        EXPECT_EQ(raw.status, 3);
        Bytes plain;
        for (int t = 0; t < tracks; ++t)
            for (int sector = 1; sector <= 8; ++sector) {
                const testimg::Record* rec =
                    readsOf.count(t) ? nullptr : testimg::findRecord(built, t, sector);
                const Bytes bytes = rec && rec->c == t / 2 && rec->n == 1 ? rec->data : Bytes(256, 0);
                plain.insert(plain.end(), bytes.begin(), bytes.end());
            }
        EXPECT_TRUE(sameBytes(plain, testsupport::toBytes(raw.out)));
        EXPECT_EQ(raw.err,
                  sharing ? "d88info: zeros written for 27 of 64 sectors, missing or stored short: track 1 "
                            "sector 3, track 2, track 3 sector 5, track 4 sector 8, tracks 6-7\n"
                          : "d88info: zeros written for 11 of 48 sectors, missing or stored short: track 1 "
                            "sector 3, track 2, track 3 sector 5, track 4 sector 8\n");
    }
}

TEST_F(D88InfoTest, ATrackTableShorterThanTheHeader)
{
    // 84 entries: the first track starts at 0x20 + 84 * 4 = 0x170, where a
    // 164-entry table would go on. Its first record's bytes, read as entries
    // 84 and 85, would name tracks that are not there.
    Disk disk = testimg::formattedDisk(5, 2, 4, false);
    const Bytes built = testimg::buildDisk(disk);
    Bytes bytes(built.begin(), built.begin() + 0x170);
    bytes.insert(bytes.end(), built.begin() + 0x2B0, built.end());
    const std::uint32_t shift = 0x2B0 - 0x170;
    for (std::size_t t = 0; t < 2; ++t) {
        const std::uint32_t entry = le32(built, 0x20 + 4 * t) - shift;
        for (std::size_t i = 0; i < 4; ++i)
            bytes[0x20 + 4 * t + i] = static_cast<std::uint8_t>(entry >> (8 * i));
    }
    const auto size = static_cast<std::uint32_t>(bytes.size());
    for (std::size_t i = 0; i < 4; ++i)
        bytes[0x1C + i] = static_cast<std::uint8_t>(size >> (8 * i));
    write("short.d88", bytes);

    const RunResult r = info({"short.d88"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(hasLine(r.out, "  tracks:     2 present: 0-1")) << r.out;
    EXPECT_TRUE(
        hasLine(r.out, "  table:      84 entries (the first track starts at 0x170; the rest is sector data)"))
        << r.out;
    EXPECT_TRUE(hasLine(r.out, "  records:    4 a track on 2 tracks")) << r.out;

    // A disk size of 0 bounds nothing: the file does, for the table's end as
    // for the verdict.
    for (std::size_t i = 0; i < 4; ++i)
        bytes[0x1C + i] = 0;
    write("unsized.d88", bytes);
    const RunResult unsized = info({"unsized.d88"});
    EXPECT_EQ(unsized.status, 0);
    EXPECT_TRUE(hasLine(
        unsized.out, "  table:      84 entries (the first track starts at 0x170; the rest is sector data)"))
        << unsized.out;
}

// Wrong arguments and their statuses are in exit_status_test's one list.
TEST_F(D88InfoTest, HelpAndTheProjectsVersion)
{
    const RunResult help = info({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("d88info explains a D88 floppy-disk image.\n", 0), 0u);

    const std::string line = std::string("d88info ") + PROJECT_VERSION + "\n";
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--version"}, std::vector<std::string>{"x.d88", "--version"}}) {
        const RunResult r = info(args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, line);
        EXPECT_EQ(r.err, "");
    }
    testsupport::RunOptions full;
    full.stdoutKind = testsupport::StdoutKind::File;
    full.stdoutTo = "/dev/full";
    const RunResult unwritten = testsupport::runProgram(kInfo, {"--version"}, dir.path(), full);
    EXPECT_EQ(unwritten.status, 2);
    EXPECT_EQ(unwritten.err.rfind("d88info: cannot write to standard output: ", 0), 0u);
}

} // namespace
