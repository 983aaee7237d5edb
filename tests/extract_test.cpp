// zanvo-extract end to end: the built executable run in a scratch folder on
// images built in code. Standard output, standard error, the exit status and
// every file in the folder are compared exactly; expected file contents come
// from the image description, not from the reader.
#include "image_builder.h"
#include "support/dumps.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using testimg::Bytes;
using testimg::Disk;
using testsupport::readFile;
using testsupport::runProgram;
using testsupport::RunResult;
using testsupport::sameBytes;

const std::string kTool = ZANVO_EXTRACT_PATH;

// The messages are Shift_JIS bytes; derive them from their text here rather
// than copying the program's byte strings.
const std::string kDiskAMessage = testsupport::convert("ZANVO (Disk A)を認識しました.\n", "CP932");
const std::string kDiskFMessage = testsupport::convert("ZANVO (Disk F)を認識しました.\n", "CP932");
const std::string kOpenMessage = testsupport::convert("ファイルをオープンできません.\n", "CP932");

using testimg::kDiskALabel;

using testsupport::diskA;
using testsupport::diskF;

class ExtractTest : public testsupport::FolderTest {
  protected:
    fs::path writeImage(const Bytes& bytes, const std::string& name = "disk.d88") const
    {
        return write(name, bytes);
    }
    RunResult run(const std::vector<std::string>& args, const testsupport::RunOptions& options = {}) const
    {
        return FolderTest::run(kTool, args, options);
    }
    // The file `name` holds the run the description gives, padded with zeros
    // to `length`.
    void expectFile(const Disk& disk, const char* name, int track, int sector, int length)
    {
        Bytes want = testimg::expectedRun(disk, track, sector, length);
        want.resize(static_cast<std::size_t>(length), 0);
        const auto got = readFile(dir / name);
        ASSERT_TRUE(got) << name << " was not written";
        EXPECT_TRUE(sameBytes(want, *got)) << name;
        EXPECT_TRUE(fs::is_symlink(dir / name) == false && fs::is_regular_file(dir / name)) << name;
    }
};

std::string cuttingLines(const std::vector<std::string>& names)
{
    std::string out;
    for (const auto& name : names)
        out += "cutting ... " + name + "\n";
    return out;
}

std::vector<std::string> allDiskANames()
{
    std::vector<std::string> names;
    for (const testsupport::DiskAFile& e : testsupport::kDiskAFiles)
        names.push_back(e.name);
    return names;
}

TEST_F(ExtractTest, DiskAGivesItsThirteenFiles)
{
    const Disk disk = diskA(21);
    writeImage(testimg::buildImage({disk}));
    const RunResult r = run({"disk.d88"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kDiskAMessage + cuttingLines(allDiskANames()));
    EXPECT_EQ(r.err, "");
    for (const testsupport::DiskAFile& e : testsupport::kDiskAFiles)
        expectFile(disk, e.name, e.track, e.sector, e.length);

    std::vector<std::string> want = allDiskANames();
    want.push_back("disk.d88");
    std::sort(want.begin(), want.end());
    EXPECT_EQ(folder(), want); // nothing else, no temporary files
}

TEST_F(ExtractTest, DiskFGivesOneFile)
{
    const Disk disk = diskF(22);
    // The Disk A beside it is not cut, only named, with the command that cuts it.
    writeImage(testimg::buildImage({disk, diskA(21)}));
    const RunResult r = run({"disk.d88"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kDiskFMessage + "cutting ... DISKF\n");
    EXPECT_EQ(r.err, "zanvo-extract: disk.d88: disk 0 was cut; disk 1 is Disk A: `zanvo-extract --disk=1 "
                     "disk.d88` cuts it\n");
    expectFile(disk, "DISKF", 0, 2, 29184);
    EXPECT_EQ(folder(), (std::vector<std::string>{"DISKF", "disk.d88"}));
}

using testsupport::recordOf;

// Sector `r` of a track gone.
void removeSector(Disk& disk, int track, int r)
{
    testsupport::drop(track, r)(disk);
}

// Bytes 1-16 of a disk's boot sector, in hex, from its description.
std::string labelBytesOf(const Disk& disk)
{
    std::string out;
    const Bytes& boot = testimg::findRecord(disk, 0, 1)->data;
    for (std::size_t i = 1; i <= 16; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, i == 1 ? "%02x" : " %02x", boot[i]);
        out += hex;
    }
    return out;
}

struct DamageCase {
    const char* what;
    void (*damage)(Disk&);
    std::string err; // every stderr line, in file order
};

const char kZeros[] = "; zeros written for what is missing\n";
const char kFlagged[] = " flagged when the disk was dumped, written as stored: ";

const DamageCase kDamageCases[] = {
    {"a hole in the middle of a file", [](Disk& d) { removeSector(d, 12, 3); },
     std::string("zanvo-extract: warning: ZANVO01: 1 of 17 sectors missing (track 12 sector 3)") + kZeros +
         testsupport::cutSummary(12, 1, 0)},
    {"a whole track gone", [](Disk& d) { d.tracks.erase(19); },
     std::string("zanvo-extract: warning: ZANVO05: 9 of 21 sectors missing (track 19 sectors 1-9)") + kZeros +
         "zanvo-extract: warning: ZANVO06: 7 of 11 sectors missing (track 19 sectors 10-16)" + kZeros +
         testsupport::cutSummary(11, 2, 0)},
    {"a file whose first sector is missing", [](Disk& d) { removeSector(d, 16, 5); },
     std::string("zanvo-extract: warning: ZANVO03: 1 of 16 sectors missing (track 16 sector 5)") + kZeros +
         testsupport::cutSummary(12, 1, 0)},
    // ZANVO02, cut before it into the same buffer, was longer: stale bytes
    // would show where the zeros belong.
    {"a file whose last sector is missing, after a longer file", [](Disk& d) { removeSector(d, 18, 4); },
     std::string("zanvo-extract: warning: ZANVO04: 1 of 16 sectors missing (track 18 sector 4)") + kZeros +
         testsupport::cutSummary(12, 1, 0)},
    {"files with no sector at all",
     [](Disk& d) {
         removeSector(d, 11, 12);
         for (int r = 13; r <= 15; ++r)
             removeSector(d, 23, r);
     },
     "zanvo-extract: warning: ZANVO00: its sector is not on the disk (track 11 sector 12); not written\n"
     "zanvo-extract: warning: ZANVO09: none of its 3 sectors is on the disk (track 23 sectors 13-15); "
     "not written\n" +
         testsupport::cutSummary(11, 0, 2)},
    {"a short sector", [](Disk& d) { recordOf(d, 17, 2).data.resize(100); },
     std::string("zanvo-extract: warning: ZANVO03: 1 of 16 sectors stored short (track 17 sector 2)") +
         kZeros + testsupport::cutSummary(12, 1, 0)},
    {"a sector of another size code", [](Disk& d) { recordOf(d, 20, 6).n = 2; },
     std::string("zanvo-extract: warning: ZANVO07: 1 of 35 sectors missing (track 20 sector 6)") + kZeros +
         testsupport::cutSummary(12, 1, 0)},
    {"missing and short sectors in one file",
     [](Disk& d) {
         removeSector(d, 13, 4);
         removeSector(d, 13, 5);
         recordOf(d, 15, 9).data.resize(10);
     },
     std::string("zanvo-extract: warning: ZANVO02: 2 of 55 sectors missing (track 13 sectors 4-5), 1 stored "
                 "short (track 15 sector 9)") +
         kZeros + testsupport::cutSummary(12, 1, 0)},
    {"flagged sectors",
     [](Disk& d) {
         recordOf(d, 10, 7).reserved[2] = 0xB0; // header byte 8: data CRC error
         recordOf(d, 11, 2).reserved[1] = 0x10; // header byte 7: deleted data
         recordOf(d, 11, 3).reserved[2] = 0xB0;
         recordOf(d, 26, 5).reserved[2] = 0x12; // a status without a name
         recordOf(d, 26, 6).reserved[0] = 0x40; // single density is no flag
     },
     std::string("zanvo-extract: warning: DRIVER: 3 sectors") + kFlagged +
         "track 10 sector 7, track 11 sector 3: data CRC error; track 11 sector 2: deleted data\n" +
         "zanvo-extract: warning: ZANVO11: 1 sector" + kFlagged +
         "track 26 sector 5: controller status 0x12\n" + testsupport::cutSummary(11, 0, 0, 2)},
    // The sample the README shows: make-sample damaged-a's damage, built here.
    {"the damaged sample",
     [](Disk& d) {
         d.tracks.erase(19);
         removeSector(d, 12, 3);
         d.tracks[14].records.push_back(recordOf(d, 14, 5)); // stored twice
         recordOf(d, 16, 7).n = 2;
         recordOf(d, 22, 9).reserved[2] = 0xB0; // data CRC error
         recordOf(d, 25, 3).data.resize(200);
     },
     std::string("zanvo-extract: warning: ZANVO01: 1 of 17 sectors missing (track 12 sector 3)") + kZeros +
         "zanvo-extract: warning: ZANVO03: 1 of 16 sectors missing (track 16 sector 7)" + kZeros +
         "zanvo-extract: warning: ZANVO05: 9 of 21 sectors missing (track 19 sectors 1-9)" + kZeros +
         "zanvo-extract: warning: ZANVO06: 7 of 11 sectors missing (track 19 sectors 10-16)" + kZeros +
         "zanvo-extract: warning: ZANVO08: 1 sector" + kFlagged + "track 22 sector 9: data CRC error\n" +
         "zanvo-extract: warning: ZANVO10: 1 of 34 sectors stored short (track 25 sector 3)" + kZeros +
         testsupport::cutSummary(7, 5, 0, 1)},
};

TEST_F(ExtractTest, DamagedDisksGiveEverySectorTheyHold)
{
    for (const DamageCase& c : kDamageCases) {
        SCOPED_TRACE(c.what);
        for (const std::string& name : folder())
            fs::remove(dir / name);
        Disk disk = diskA(21);
        c.damage(disk);
        writeImage(testimg::buildImage({disk}));

        const RunResult r = run({"disk.d88"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, c.err);
        std::vector<std::string> written;
        for (const testsupport::DiskAFile& e : testsupport::kDiskAFiles) {
            int found = 0;
            const Bytes want = testimg::expectedRecovery(disk, e.track, e.sector, e.length, &found);
            if (found == 0) {
                EXPECT_FALSE(fs::exists(dir / e.name)) << e.name;
                continue;
            }
            written.push_back(e.name);
            const auto got = readFile(dir / e.name);
            ASSERT_TRUE(got) << e.name;
            EXPECT_TRUE(sameBytes(want, *got)) << e.name;
        }
        EXPECT_EQ(r.out, kDiskAMessage + cuttingLines(written));
    }
}

TEST_F(ExtractTest, SharedRunOfDecoysBeforeTheRealSectors)
{
    // Every track table entry points at one run: 64,000 records that match
    // nothing, then all 1,280 real sectors. Each lookup walks the decoys.
    const Disk reference = diskA(23);
    writeImage(testimg::buildImage({testimg::sharedDecoyTrack(reference, 64000)}));

    const RunResult r = run({"disk.d88"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kDiskAMessage + cuttingLines(allDiskANames()));
    EXPECT_EQ(r.err, "");
    for (const testsupport::DiskAFile& e : testsupport::kDiskAFiles)
        expectFile(reference, e.name, e.track, e.sector, e.length);
}

TEST_F(ExtractTest, UnrecognisedImagesGiveNoOutput)
{
    Disk atZero = diskA(21);
    testimg::setBootLabel(atZero, kDiskALabel, 0);
    Disk noBoot = diskA(21);
    auto& t0 = noBoot.tracks[0].records;
    t0.erase(t0.begin()); // sector 1 is stored first
    Disk sizeTwo = diskA(21);
    testimg::findRecord(sizeTwo, 0, 1)->n = 2;
    Disk noTrack0 = diskA(21);
    noTrack0.trackOffsets[0] = 0;
    // Disks of other kinds: a 2HD disk whose sector 1 holds 1024 bytes, a
    // 2DD disk without a track 0.
    Disk highDensity = diskA(21);
    highDensity.mediaType = 0x20;
    testimg::findRecord(highDensity, 0, 1)->n = 3;
    Disk doubleDensity = noTrack0;
    doubleDensity.mediaType = 0x10;

    // Nothing on standard output, no file, status 0; standard error says why,
    // so that leaving an image alone never reads as success.
    const std::string noBootSector =
        "zanvo-extract: disk.d88: disk 0 has no boot sector (track 0, C 0 H 0 R 1 N "
        "1), so it is neither Disk A nor Disk F of ZANVO; `d88info disk.d88` tells more";
    const auto otherKind = [](const std::string& facts) {
        return "zanvo-extract: disk.d88: disk 0 is neither Disk A nor Disk F of ZANVO, which are 2D disks "
               "with a 256-byte boot sector: " +
               facts + "; `d88info disk.d88` tells more\n";
    };
    const std::string noLabel =
        "zanvo-extract: disk.d88: disk 0 is neither Disk A nor Disk F of ZANVO: its boot "
        "sector holds no label (bytes 1-16: ";
    const Bytes second = testimg::buildImage({testimg::formattedDisk(3), diskA(21)});
    const std::vector<std::tuple<std::string, Bytes, std::string>> images = {
        {"label at byte 0", testimg::buildImage({atZero}),
         noLabel + labelBytesOf(atZero) + "); `d88info disk.d88` tells more\n"},
        {"no boot sector", testimg::buildImage({noBoot}), noBootSector + "\n"},
        {"boot sector of size code 2", testimg::buildImage({sizeTwo}),
         otherKind("track 0 sector 1 holds 512 bytes (size code 2)")},
        {"a 2HD disk", testimg::buildImage({highDensity}),
         otherKind("a 2HD disk (media type 0x20), and track 0 sector 1 holds 1024 bytes (size code 3)")},
        {"track 0 absent", testimg::buildImage({noTrack0}), noBootSector + "\n"},
        {"a 2DD disk without track 0", testimg::buildImage({doubleDensity}),
         otherKind("a 2DD disk (media type 0x10)")},
        {"only the second disk is Disk A", second,
         noLabel + labelBytesOf(testimg::formattedDisk(3)) +
             "); `d88info disk.d88` tells more; disk 1 is Disk A: `zanvo-extract --disk=1 disk.d88` cuts "
             "it\n"},
        {"empty file", Bytes{},
         "zanvo-extract: disk.d88: not a D88 image: the file is 0 bytes, shorter than a disk header (688 "
         "bytes)\n"},
        {"header only", Bytes(688, 0),
         "zanvo-extract: disk.d88: not a D88 image: its table names no track, and it has neither a name nor "
         "a "
         "disk size\n"},
    };
    for (const auto& [what, bytes, err] : images) {
        writeImage(bytes);
        const RunResult r = run({"disk.d88"});
        EXPECT_EQ(r.status, 0) << what;
        EXPECT_EQ(r.out, "") << what;
        EXPECT_EQ(r.err, err) << what;
        EXPECT_EQ(folder(), std::vector<std::string>{"disk.d88"}) << what;
    }
}

TEST_F(ExtractTest, CommandLineFailures)
{
    const std::string usage = "Usage: ./zanvo-extract [d88file]\n";
    testsupport::RunOptions asTyped;
    asTyped.argv0 = "./zanvo-extract";
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, std::vector<std::string>{"a.d88", "b.d88"},
          std::vector<std::string>{"--help", "b.d88"}}) {
        const RunResult r = run(args, asTyped);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, usage);
    }
    fs::create_directory(dir / "folder.d88");
    const std::pair<const char*, const char*> cases[] = {
        {"missing.d88", "No such file or directory"},
        {"folder.d88", "not a regular file"},
        {"/dev/null", "not a regular file"},
        {"-", "No such file or directory"}, // a lone - is a path
    };
    for (const auto& [path, reason] : cases) {
        const RunResult r = run({path});
        EXPECT_EQ(r.status, 1) << path;
        EXPECT_EQ(r.out, "") << path;
        EXPECT_EQ(r.err, kOpenMessage + "zanvo-extract: cannot open " + path + ": " + reason + "\n") << path;
    }
    EXPECT_EQ(folder(), std::vector<std::string>{"folder.d88"});
}

TEST_F(ExtractTest, HelpIsTheUsageOnStandardOutputAndAFileNamedHelpIsReachable)
{
    testsupport::RunOptions asTyped;
    asTyped.argv0 = "zanvo-extract";
    const RunResult help = run({"--help"}, asTyped);
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.err, "");
    EXPECT_EQ(help.out.rfind("Usage: zanvo-extract [d88file]\n", 0), 0u) << help.out;
    EXPECT_NE(help.out.find("d88info"), std::string::npos); // where to look when nothing is recognised
    EXPECT_TRUE(std::all_of(help.out.begin(), help.out.end(), [](char ch) { return ch > 0; })); // plain ASCII
    EXPECT_EQ(folder(), std::vector<std::string>{});

    const Disk disk = diskF(22);
    writeImage(testimg::buildImage({disk}), "--help");
    const RunResult r = run({"./--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kDiskFMessage + "cutting ... DISKF\n");
    expectFile(disk, "DISKF", 0, 2, 29184);
}

TEST_F(ExtractTest, VersionIsTheProjectsAndOnlyAsTheOneArgument)
{
    const RunResult r = run({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string("zanvo-extract ") + PROJECT_VERSION + "\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(folder(), std::vector<std::string>{});

    testsupport::RunOptions full;
    full.stdoutKind = testsupport::StdoutKind::File;
    full.stdoutTo = "/dev/full";
    const RunResult unwritten = run({"--version"}, full);
    EXPECT_EQ(unwritten.status, 2);
    EXPECT_EQ(unwritten.err, "zanvo-extract: cannot write to standard output: No space left on device\n");

    const RunResult withMore = run({"--version", "disk.d88"});
    EXPECT_EQ(withMore.status, 1);
    EXPECT_EQ(withMore.out, "");

    // An image that happens to be called --version is still cut.
    const Disk disk = diskA(21);
    writeImage(testimg::buildImage({disk}), "--version");
    const RunResult image = run({"./--version"});
    EXPECT_EQ(image.status, 0);
    EXPECT_EQ(image.out, kDiskAMessage + cuttingLines(allDiskANames()));
    expectFile(disk, "DRIVER", 10, 6, 5632);
}

TEST_F(ExtractTest, ExistingOutputsAreReplacedNeverWrittenThrough)
{
    const Disk disk = diskA(21);
    writeImage(testimg::buildImage({disk}));
    testsupport::TempDir elsewhere;
    const Bytes victim(100000, 0x5A);
    testimg::writeFile((elsewhere / "victim").string(), victim);

    write("DRIVER", Bytes(20000, 0x11)); // longer than the new one
    fs::create_symlink(elsewhere / "victim", dir / "ZANVO00");
    fs::create_symlink(elsewhere / "nowhere", dir / "ZANVO01"); // dangling
    ASSERT_EQ(mkfifo((dir / "ZANVO02").c_str(), 0600), 0);      // opening it would block
    fs::create_hard_link(elsewhere / "victim", dir / "ZANVO03");

    const RunResult r = run({"disk.d88"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    for (const testsupport::DiskAFile& e : testsupport::kDiskAFiles)
        expectFile(disk, e.name, e.track, e.sector, e.length);
    EXPECT_TRUE(sameBytes(victim, *readFile(elsewhere / "victim")));
    EXPECT_FALSE(fs::exists(elsewhere / "nowhere"));
}

TEST_F(ExtractTest, OutputNameTakenByAFolderIsReportedAndTheRestAreCut)
{
    const Disk disk = diskA(21);
    const Bytes image = testimg::buildImage({disk});
    writeImage(image);
    fs::create_directory(dir / "ZANVO03");
    testimg::writeFile((dir / "ZANVO03" / "keep").string(), Bytes(10, 1));

    const RunResult r = run({"disk.d88"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, kDiskAMessage + cuttingLines(allDiskANames()));
    EXPECT_EQ(r.err,
              "zanvo-extract: cannot write ZANVO03: Is a directory\n" + testsupport::cutSummary(12, 0, 1));
    for (const testsupport::DiskAFile& e : testsupport::kDiskAFiles)
        if (std::string(e.name) != "ZANVO03")
            expectFile(disk, e.name, e.track, e.sector, e.length);
    EXPECT_EQ(testsupport::listFolder(dir / "ZANVO03"), std::vector<std::string>{"keep"});
    std::vector<std::string> want = allDiskANames(); // ZANVO03 is the folder
    want.push_back("disk.d88");
    std::sort(want.begin(), want.end());
    EXPECT_EQ(folder(), want); // no temporary file left
    EXPECT_TRUE(sameBytes(image, *readFile(dir / "disk.d88")));
}

TEST_F(ExtractTest, TheImageIsNeverReplaced)
{
    // The image itself is named like an output, and reached again through a
    // link standing at another output's name.
    const Disk disk = diskA(21);
    const Bytes image = testimg::buildImage({disk});
    writeImage(image, "DRIVER");
    fs::create_symlink("DRIVER", dir / "ZANVO07");

    const RunResult r = run({"DRIVER"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, kDiskAMessage + cuttingLines(allDiskANames()));
    EXPECT_EQ(r.err, "zanvo-extract: cannot write DRIVER: it is the image being read, left untouched\n"
                     "zanvo-extract: cannot write ZANVO07: it is the image being read, left untouched\n" +
                         testsupport::cutSummary(11, 0, 2));
    EXPECT_TRUE(sameBytes(image, *readFile(dir / "DRIVER")));
    EXPECT_TRUE(fs::is_symlink(dir / "ZANVO07"));
    expectFile(disk, "ZANVO06", 19, 10, 2816);
    expectFile(disk, "ZANVO08", 22, 8, 5376);
}

TEST_F(ExtractTest, UnwritableStandardOutputIsReported)
{
    const Disk disk = diskA(21);
    writeImage(testimg::buildImage({disk}));
    testsupport::RunOptions options;
    options.stdoutKind = testsupport::StdoutKind::File;
    options.stdoutTo = "/dev/full";
    const RunResult r = run({"disk.d88"}, options);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "zanvo-extract: cannot write to standard output: No space left on device\n");
    for (const testsupport::DiskAFile& e : testsupport::kDiskAFiles)
        expectFile(disk, e.name, e.track, e.sector, e.length);
}

} // namespace
