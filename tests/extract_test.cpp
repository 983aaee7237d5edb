// zanvo-extract end to end: the built executable run in a scratch folder on
// images built in code. Standard output, standard error, the exit status and
// every file in the folder are compared exactly; expected file contents come
// from the image description, not from the reader.
#include "image_builder.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <stdexcept>

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
std::string sjis(const std::string& utf8)
{
    iconv_t cd = iconv_open("CP932", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw std::runtime_error("no CP932 converter");
    std::string in = utf8;
    std::string out(in.size() * 2, '\0');
    char* inPtr = in.data();
    char* outPtr = out.data();
    std::size_t inLeft = in.size(), outLeft = out.size();
    const std::size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (rc == static_cast<std::size_t>(-1) || inLeft != 0)
        throw std::runtime_error("conversion failed");
    out.resize(out.size() - outLeft);
    return out;
}

const std::string kDiskAMessage = sjis("ZANVO (Disk A)を認識しました.\n");
const std::string kDiskFMessage = sjis("ZANVO (Disk F)を認識しました.\n");
const std::string kOpenMessage = sjis("ファイルをオープンできません.\n");

using testimg::kDiskALabel;
using testimg::kDiskFLabel;

struct Expected {
    const char* name;
    int track, sector, length;
};

const Expected kDiskAFiles[] = {
    {"DRIVER", 10, 6, 5632},  {"ZANVO00", 11, 12, 256}, {"ZANVO01", 11, 13, 4352}, {"ZANVO02", 12, 14, 14080},
    {"ZANVO03", 16, 5, 4096}, {"ZANVO04", 17, 5, 4096}, {"ZANVO05", 18, 5, 5376},  {"ZANVO06", 19, 10, 2816},
    {"ZANVO07", 20, 5, 8960}, {"ZANVO08", 22, 8, 5376}, {"ZANVO09", 23, 13, 768},  {"ZANVO10", 23, 16, 8704},
    {"ZANVO11", 26, 2, 6144},
};

Disk diskA(int seed = 21)
{
    Disk disk = testimg::formattedDisk(seed, 80, 16, true);
    testimg::setBootLabel(disk, kDiskALabel);
    return disk;
}

Disk diskF(int seed = 22)
{
    Disk disk = testimg::formattedDisk(seed, 80, 16, true);
    testimg::setBootLabel(disk, kDiskFLabel);
    return disk;
}

class ExtractTest : public ::testing::Test {
  protected:
    fs::path writeImage(const Bytes& bytes, const std::string& name = "disk.d88")
    {
        testimg::writeFile((dir / name).string(), bytes);
        return dir / name;
    }
    RunResult run(const std::vector<std::string>& args, const testsupport::RunOptions& options = {})
    {
        return runProgram(kTool, args, dir.path(), options);
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
    std::vector<std::string> folder() const { return testsupport::listFolder(dir.path()); }

    testsupport::TempDir dir;
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
    for (const Expected& e : kDiskAFiles)
        names.push_back(e.name);
    return names;
}

TEST_F(ExtractTest, DiskAGivesItsThirteenFiles)
{
    const Disk disk = diskA();
    writeImage(testimg::buildImage({disk}));
    const RunResult r = run({"disk.d88"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kDiskAMessage + cuttingLines(allDiskANames()));
    EXPECT_EQ(r.err, "");
    for (const Expected& e : kDiskAFiles)
        expectFile(disk, e.name, e.track, e.sector, e.length);

    std::vector<std::string> want = allDiskANames();
    want.push_back("disk.d88");
    std::sort(want.begin(), want.end());
    EXPECT_EQ(folder(), want); // nothing else, no temporary files
}

TEST_F(ExtractTest, DiskFGivesOneFile)
{
    const Disk disk = diskF();
    writeImage(testimg::buildImage({disk, diskA()})); // later disks are not looked at
    const RunResult r = run({"disk.d88"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kDiskFMessage + "cutting ... DISKF\n");
    EXPECT_EQ(r.err, "");
    expectFile(disk, "DISKF", 0, 2, 29184);
    EXPECT_EQ(folder(), (std::vector<std::string>{"DISKF", "disk.d88"}));
}

TEST_F(ExtractTest, MissingTrackEndsOneFileEarlyAndSkipsTheNext)
{
    Disk disk = diskA();
    disk.tracks.erase(19);
    writeImage(testimg::buildImage({disk}));
    const RunResult r = run({"disk.d88"});
    EXPECT_EQ(r.status, 0);
    std::vector<std::string> names = allDiskANames();
    names.erase(std::find(names.begin(), names.end(), "ZANVO06"));
    EXPECT_EQ(r.out, kDiskAMessage + cuttingLines(names));
    // ZANVO05 runs from track 18 sector 5 into track 19: 12 sectors arrive.
    EXPECT_EQ(r.err, "zanvo-extract: warning: ZANVO05: the disk ends this file early; 3072 of "
                     "5376 bytes recovered, the rest written as zeros\n");
    for (const Expected& e : kDiskAFiles) {
        if (std::string(e.name) == "ZANVO06")
            EXPECT_FALSE(fs::exists(dir / e.name));
        else
            expectFile(disk, e.name, e.track, e.sector, e.length);
    }
}

TEST_F(ExtractTest, ShortTailIsZerosNotLeftoversOfEarlierCuts)
{
    // ZANVO04's last sector is missing; ZANVO02, cut before it into the same
    // buffer, was longer, so stale bytes would show.
    Disk disk = diskA();
    auto& records = disk.tracks[18].records;
    records.erase(std::find_if(records.begin(), records.end(), [](const auto& rec) { return rec.r == 4; }));
    writeImage(testimg::buildImage({disk}));
    const RunResult r = run({"disk.d88"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "zanvo-extract: warning: ZANVO04: the disk ends this file early; 3840 of "
                     "4096 bytes recovered, the rest written as zeros\n");
    expectFile(disk, "ZANVO04", 17, 5, 4096);
    const auto got = readFile(dir / "ZANVO04");
    ASSERT_TRUE(got);
    EXPECT_TRUE(std::all_of(got->begin() + 3840, got->end(), [](std::uint8_t b) { return b == 0; }));
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
    for (const Expected& e : kDiskAFiles)
        expectFile(reference, e.name, e.track, e.sector, e.length);
}

TEST_F(ExtractTest, UnrecognisedImagesGiveNoOutput)
{
    Disk atZero = diskA();
    testimg::setBootLabel(atZero, kDiskALabel, 0);
    Disk noBoot = diskA();
    auto& t0 = noBoot.tracks[0].records;
    t0.erase(t0.begin()); // sector 1 is stored first
    Disk sizeTwo = diskA();
    testimg::findRecord(sizeTwo, 0, 1)->n = 2;
    Disk noTrack0 = diskA();
    noTrack0.trackOffsets[0] = 0;

    const std::vector<std::pair<std::string, Bytes>> images = {
        {"label at byte 0", testimg::buildImage({atZero})},
        {"no boot sector", testimg::buildImage({noBoot})},
        {"boot sector of size code 2", testimg::buildImage({sizeTwo})},
        {"track 0 absent", testimg::buildImage({noTrack0})},
        {"only the second disk is Disk A", testimg::buildImage({testimg::formattedDisk(3), diskA()})},
        {"empty file", Bytes{}},
        {"header only", Bytes(688, 0)},
    };
    for (const auto& [what, bytes] : images) {
        writeImage(bytes);
        const RunResult r = run({"disk.d88"});
        EXPECT_EQ(r.status, 0) << what;
        EXPECT_EQ(r.out, "") << what;
        EXPECT_EQ(r.err, "") << what;
        EXPECT_EQ(folder(), std::vector<std::string>{"disk.d88"}) << what;
    }
}

TEST_F(ExtractTest, CommandLineFailures)
{
    const std::string usage = "Usage: ./zanvo-extract [d88file]\n";
    testsupport::RunOptions asTyped;
    asTyped.argv0 = "./zanvo-extract";
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, std::vector<std::string>{"a.d88", "b.d88"}}) {
        const RunResult r = run(args, asTyped);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, usage);
    }
    fs::create_directory(dir / "folder.d88");
    for (const char* path : {"missing.d88", "folder.d88", "/dev/null"}) {
        const RunResult r = run({path});
        EXPECT_EQ(r.status, 1) << path;
        EXPECT_EQ(r.out, "") << path;
        EXPECT_EQ(r.err, kOpenMessage) << path;
    }
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
    const Disk disk = diskA();
    writeImage(testimg::buildImage({disk}), "--version");
    const RunResult image = run({"./--version"});
    EXPECT_EQ(image.status, 0);
    EXPECT_EQ(image.out, kDiskAMessage + cuttingLines(allDiskANames()));
    expectFile(disk, "DRIVER", 10, 6, 5632);
}

TEST_F(ExtractTest, ExistingOutputsAreReplacedNeverWrittenThrough)
{
    const Disk disk = diskA();
    writeImage(testimg::buildImage({disk}));
    testsupport::TempDir elsewhere;
    const Bytes victim(100000, 0x5A);
    testimg::writeFile((elsewhere / "victim").string(), victim);

    testimg::writeFile((dir / "DRIVER").string(), Bytes(20000, 0x11)); // longer than the new one
    fs::create_symlink(elsewhere / "victim", dir / "ZANVO00");
    fs::create_symlink(elsewhere / "nowhere", dir / "ZANVO01"); // dangling
    ASSERT_EQ(mkfifo((dir / "ZANVO02").c_str(), 0600), 0);      // opening it would block
    fs::create_hard_link(elsewhere / "victim", dir / "ZANVO03");

    const RunResult r = run({"disk.d88"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    for (const Expected& e : kDiskAFiles)
        expectFile(disk, e.name, e.track, e.sector, e.length);
    EXPECT_TRUE(sameBytes(victim, *readFile(elsewhere / "victim")));
    EXPECT_FALSE(fs::exists(elsewhere / "nowhere"));
}

TEST_F(ExtractTest, OutputNameTakenByAFolderIsReportedAndTheRestAreCut)
{
    const Disk disk = diskA();
    const Bytes image = testimg::buildImage({disk});
    writeImage(image);
    fs::create_directory(dir / "ZANVO03");
    testimg::writeFile((dir / "ZANVO03" / "keep").string(), Bytes(10, 1));

    const RunResult r = run({"disk.d88"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, kDiskAMessage + cuttingLines(allDiskANames()));
    EXPECT_EQ(r.err, "zanvo-extract: cannot write ZANVO03: Is a directory\n");
    for (const Expected& e : kDiskAFiles)
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
    const Disk disk = diskA();
    const Bytes image = testimg::buildImage({disk});
    writeImage(image, "DRIVER");
    fs::create_symlink("DRIVER", dir / "ZANVO07");

    const RunResult r = run({"DRIVER"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, kDiskAMessage + cuttingLines(allDiskANames()));
    EXPECT_EQ(r.err, "zanvo-extract: cannot write DRIVER: it is the image being read, left untouched\n"
                     "zanvo-extract: cannot write ZANVO07: it is the image being read, left untouched\n");
    EXPECT_TRUE(sameBytes(image, *readFile(dir / "DRIVER")));
    EXPECT_TRUE(fs::is_symlink(dir / "ZANVO07"));
    expectFile(disk, "ZANVO06", 19, 10, 2816);
    expectFile(disk, "ZANVO08", 22, 8, 5376);
}

TEST_F(ExtractTest, UnwritableStandardOutputIsReported)
{
    const Disk disk = diskA();
    writeImage(testimg::buildImage({disk}));
    testsupport::RunOptions options;
    options.stdoutKind = testsupport::StdoutKind::File;
    options.stdoutTo = "/dev/full";
    const RunResult r = run({"disk.d88"}, options);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "zanvo-extract: cannot write to standard output: No space left on device\n");
    for (const Expected& e : kDiskAFiles)
        expectFile(disk, e.name, e.track, e.sector, e.length);
}

} // namespace
