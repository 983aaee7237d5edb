// d88info on files cut short, damaged, flagged, or not D88 images at all, its
// --split, and its exports to devices, FIFOs, standard output and long names.
// Expected text and bytes come from the image descriptions built here.
#include "image_builder.h"
#include "support/dumps.h"
#include "support/listing.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

namespace {

namespace fs = std::filesystem;
using testimg::Bytes;
using testimg::Disk;
using testsupport::readFile;
using testsupport::RunResult;
using testsupport::sameBytes;

const std::string kInfo = D88INFO_PATH;
const std::string kTool = ZANVO_EXTRACT_PATH;

class InfoDamageTest : public testsupport::FolderTest {
  protected:
    RunResult info(const std::vector<std::string>& args, const testsupport::RunOptions& options = {})
    {
        return run(kInfo, args, options);
    }
};

using testsupport::hasLine;

// The plain sector image of tracks 0..tracks-1 of a formattedDisk(seed, ...),
// sectors 1-16 of 256 bytes.
Bytes plainSectors(int seed, int tracks)
{
    Bytes out;
    for (int t = 0; t < tracks; ++t)
        for (int r = 1; r <= 16; ++r) {
            const Bytes s = testimg::sectorPattern(seed, t, r, 256);
            out.insert(out.end(), s.begin(), s.end());
        }
    return out;
}

std::string hex(long long value)
{
    std::ostringstream out;
    out << std::hex << value;
    return out.str();
}

TEST_F(InfoDamageTest, AFileCutShortIsTruncatedNotWhole)
{
    const Bytes whole = testimg::buildDisk(testimg::formattedDisk(4, 80, 16, false));
    const std::size_t track1 = 688 + 16 * 272; // track 0 ends, track 1 begins
    struct Case {
        std::size_t length;
        std::string present, pastEnd, holes;
        std::size_t kept; // bytes of the plain image the file still holds
    };
    const Case cases[] = {
        {track1, "1 present: 0", "79 in the table but past the end of the file: 1-79",
         "zeros written for 1264 of 1280 sectors, missing or stored short: tracks 1-79", 4096},
        // Inside track 2: sectors 1-3 whole, the 4th cut 100 bytes after its
        // record starts (84 into its data).
        {track1 + 4352 + 3 * 272 + 100, "3 present: 0-2",
         "77 in the table but past the end of the file: 3-79",
         "zeros written for 1245 of 1280 sectors, missing or stored short: track 2 sectors 4-16, tracks 3-79",
         (2 * 16 + 3) * 256 + 84},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        write("cut.d88", Bytes(whole.begin(), whole.begin() + static_cast<long>(c.length)));
        const RunResult summary = info({"cut.d88"});
        EXPECT_EQ(summary.status, 0);
        const auto end = static_cast<long long>(c.length);
        EXPECT_TRUE(hasLine(summary.out, "  truncated:  the file ends at offset " + std::to_string(end) +
                                             " (0x" + hex(end) + "), " +
                                             std::to_string(static_cast<long long>(whole.size()) - end) +
                                             " bytes before the end of this disk"))
            << summary.out;
        EXPECT_TRUE(hasLine(summary.out, "  tracks:     " + c.present)) << summary.out;
        EXPECT_TRUE(hasLine(summary.out, "  past end:   " + c.pastEnd)) << summary.out;

        const RunResult listing = info({"cut.d88", "0"});
        EXPECT_EQ(listing.status, 0);
        EXPECT_TRUE(hasLine(listing.out, "track  79 (C 39 H 1) at 0x" + hex(688 + 79 * 4352) +
                                             ": past the end of the file"));
        EXPECT_TRUE(hasLine(listing.out, "track  79 past the end of the file"));

        // The whole geometry, each sector at its offset, zeros for what the
        // file no longer holds.
        const RunResult raw = info({"--raw", "cut.d88", "0"});
        EXPECT_EQ(raw.status, 3);
        Bytes plain = plainSectors(4, 80);
        std::fill(plain.begin() + static_cast<long>(c.kept), plain.end(), std::uint8_t{0});
        EXPECT_TRUE(sameBytes(plain, testsupport::toBytes(raw.out)));
        EXPECT_EQ(raw.err, "d88info: " + c.holes + "\n");
    }
}

// Files that are no D88 image are refused by every mode, with the words
// for what they are: an archive or a picture by its signature, a plain
// sector image by its size, or what disk 0's header lacks. A header whose
// every table entry leads outside the disk (past its end, or into the
// header) describes no disk either, unlike an unformatted disk, whose
// entries are all 0.
TEST_F(InfoDamageTest, FilesThatCannotBeD88ImagesAreNamedSo)
{
    std::string text;
    for (int i = 0; i < 60; ++i)
        text += "user" + std::to_string(i) + ":x:" + std::to_string(1000 + i) + ":100::/home/user:/bin/sh\n";
    Bytes random(20000);
    std::mt19937 generator(7);
    for (auto& byte : random)
        byte = static_cast<std::uint8_t>(generator());
    Disk small = testimg::formattedDisk(1, 0);
    small.diskSize = 100;
    // A signature, then what could pass for a disk header and its tracks.
    const auto startingWith = [](const std::string& signature) {
        Bytes bytes = testimg::buildDisk(testimg::formattedDisk(1, 2));
        std::copy(signature.begin(), signature.end(), bytes.begin());
        return bytes;
    };
    Bytes windows = startingWith("MZ");
    const std::string pe("PE\0\0", 4);
    std::copy(pe.begin(), pe.end(), windows.begin() + 0x200);
    windows[0x3C] = 0x00, windows[0x3D] = 0x02, windows[0x3E] = windows[0x3F] = 0;
    Disk farTracks = testimg::formattedDisk(1, 2);
    farTracks.trackOffsets = {{0, 0x7FFFFFF0u}, {1, 0x7FFFFFF0u}};
    Disk intoHeader = testimg::formattedDisk(1, 2);
    intoHeader.trackOffsets = {{0, 0x10}, {1, 0x24}};

    const std::pair<Bytes, std::string> cases[] = {
        {testsupport::toBytes(text), ""},
        {random, ""},
        {testimg::buildDisk(farTracks), ""},
        {testimg::buildDisk(intoHeader), ""},
        {Bytes(100, 0), "the file is 100 bytes, shorter than a disk header (688 bytes)"},
        {Bytes{}, "the file is 0 bytes, shorter than a disk header (688 bytes)"},
        {testimg::buildDisk(small), "its table names no track, and the disk size 100 is not a D88 disk's"},
        {startingWith("\x1f\x8b"), "it is a gzip-compressed file: unpack it first"},
        {startingWith("PK\x03\x04"), "it is a ZIP archive: unpack it first"},
        {startingWith("..-lh5-"), "it is an LZH archive: unpack it first"},
        {startingWith("\x89PNG\r\n\x1a\n"), "it is a PNG picture"},
        {startingWith("\xff\xd8\xff"), "it is a JPEG picture"},
        {startingWith("\x7f"
                      "ELF"),
         "it is a program (ELF)"},
        {windows, "it is a Windows program"},
        {Bytes(2 * 80 * 16 * 256, 0),
         "it has no D88 header: its 655,360 bytes are the size of a plain sector "
         "image (80 cylinders, 2 heads, 16 sectors of 256 bytes)"},
    };
    for (const auto& [bytes, reason] : cases) {
        SCOPED_TRACE(reason);
        write("file.bin", bytes);
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"file.bin"}, std::vector<std::string>{"file.bin", "0"},
              std::vector<std::string>{"--raw", "file.bin", "0", "-o", "x"}}) {
            const RunResult r = info(args);
            SCOPED_TRACE(args.size() == 1 ? "summary" : args[0]);
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.out, "");
            const std::string start = "d88info: file.bin: not a D88 image: ";
            EXPECT_EQ(r.err.substr(0, start.size()), start) << r.err;
            if (!reason.empty()) {
                EXPECT_EQ(r.err, start + reason + "\n");
            }
            EXPECT_FALSE(fs::exists(dir / "x"));
        }
    }
    Disk unformatted;
    unformatted.name = "BLANK";
    write("file.bin", testimg::buildDisk(unformatted));
    EXPECT_EQ(info({"file.bin"}).status, 0);
}

TEST_F(InfoDamageTest, EveryRealSampleAndEveryBuiltImageIsADiskImage)
{
    std::vector<std::pair<std::string, Bytes>> images;
    for (const auto& entry : fs::directory_iterator(REAL_IMAGES_DIR))
        if (entry.path().extension() == ".d88" || entry.path().extension() == ".d77")
            images.emplace_back(entry.path().filename().string(), *readFile(entry.path()));
    ASSERT_GE(images.size(), 6u);
    Disk damaged = testimg::formattedDisk(2, 40, 16, true);
    damaged.tracks.erase(19);
    damaged.tracks[3].records.pop_back();
    Disk sizeZero = testimg::formattedDisk(2, 3);
    sizeZero.diskSize = 0;
    Disk unformatted;
    Disk highDensity = testimg::formattedDisk(2, 4, 8, false);
    for (auto& [index, track] : highDensity.tracks)
        for (auto& rec : track.records)
            rec.n = 3, rec.data.resize(1024);
    images.emplace_back("formatted", testimg::buildDisk(testimg::formattedDisk(2)));
    images.emplace_back("damaged", testimg::buildDisk(damaged));
    images.emplace_back("size zero", testimg::buildDisk(sizeZero));
    images.emplace_back("unformatted", testimg::buildDisk(unformatted));
    images.emplace_back("high density", testimg::buildDisk(highDensity));
    images.emplace_back("three disks", testimg::buildImage({damaged, highDensity, unformatted}));
    for (const auto& [name, bytes] : images) {
        write("image.d88", bytes);
        const RunResult r = info({"image.d88"});
        EXPECT_EQ(r.status, 0) << name << ": " << r.err;
        EXPECT_EQ(r.err, "") << name;
    }
}

TEST_F(InfoDamageTest, SplitWritesOneDiskThatTheToolThenCuts)
{
    Disk other = testimg::formattedDisk(3, 40, 16, true);
    Disk diskA = testsupport::diskA(9, 40);
    const Bytes first = testimg::buildDisk(other), second = testimg::buildDisk(diskA);
    Bytes both = first;
    both.insert(both.end(), second.begin(), second.end());
    write("two.d88", both);

    const RunResult summary = info({"two.d88"});
    EXPECT_TRUE(hasLine(summary.out, "  boot:       ZANVO Disk A label at bytes 1-16")) << summary.out;
    EXPECT_TRUE(hasLine(summary.out, "  note:       `zanvo-extract --disk=1 two.d88` cuts this disk"))
        << summary.out;
    EXPECT_EQ(testsupport::runProgram(kTool, {"two.d88"}, dir.path()).out, ""); // only disk 0 is looked at

    const RunResult split = info({"--split", "two.d88", "1", "-o", "a.d88"});
    EXPECT_EQ(split.status, 0) << split.err;
    EXPECT_TRUE(sameBytes(second, *readFile(dir / "a.d88")));
    const RunResult cut = testsupport::runProgram(kTool, {"a.d88"}, dir.path());
    EXPECT_EQ(cut.status, 0);
    EXPECT_EQ(cut.err, "");
    EXPECT_TRUE(sameBytes(testimg::expectedRecovery(diskA, 10, 6, 5632), *readFile(dir / "DRIVER")));
    EXPECT_TRUE(sameBytes(testimg::expectedRecovery(diskA, 26, 2, 6144), *readFile(dir / "ZANVO11")));

    // A second disk the file cuts short gives what there is, and says so.
    write("short.d88", Bytes(both.begin(), both.end() - 1000));
    const RunResult shortSplit = info({"--split", "short.d88", "1", "-o", "b.d88"});
    EXPECT_EQ(shortSplit.status, 3);
    EXPECT_EQ(shortSplit.err, "d88info: disk 1 runs past the end of the file (the file ends at offset " +
                                  std::to_string(both.size() - 1000) + "); " +
                                  std::to_string(second.size() - 1000) + " of " +
                                  std::to_string(second.size()) + " bytes exported\n");
    EXPECT_TRUE(sameBytes(Bytes(second.begin(), second.end() - 1000), *readFile(dir / "b.d88")));

    const RunResult ontoItself = info({"--split", "two.d88", "0", "-o", "two.d88"});
    EXPECT_EQ(ontoItself.status, 2);
    EXPECT_EQ(ontoItself.err, "d88info: cannot write two.d88: it is the image being read, left untouched\n");
    EXPECT_TRUE(sameBytes(both, *readFile(dir / "two.d88")));
    // A size of 0 lies: the disk is as long as its records, followed here
    // by bytes that are no part of it.
    Disk sizeZero = other;
    sizeZero.diskSize = 0;
    Bytes zero = testimg::buildDisk(sizeZero);
    const std::size_t records = zero.size();
    zero.resize(records + 5000, 0xE5);
    write("zero.d88", zero);
    const RunResult whole = info({"--split", "zero.d88", "0", "-o", "c.d88"});
    EXPECT_EQ(whole.status, 0) << whole.err;
    EXPECT_TRUE(
        sameBytes(Bytes(zero.begin(), zero.begin() + static_cast<long>(records)), *readFile(dir / "c.d88")));
}

TEST_F(InfoDamageTest, FlagsInTheSummaryTheListingAndTheMap)
{
    Disk disk = testimg::formattedDisk(5, 4, 8, false);
    testimg::findRecord(disk, 1, 3)->reserved[2] = 0xB0; // header byte 8: status
    testimg::findRecord(disk, 2, 5)->reserved[1] = 0x10; // header byte 7: deleted data
    testimg::findRecord(disk, 3, 2)->reserved[1] = 0x10;
    testimg::findRecord(disk, 3, 2)->reserved[2] = 0xA0;
    testimg::findRecord(disk, 3, 7)->reserved[2] = 0x10; // status 0x10: deleted data too
    testimg::findRecord(disk, 0, 8)->reserved[2] = 0x37; // a status without a name
    disk.headerBytes[0x1A] = 0x10;                       // write-protected
    write("flags.d88", testimg::buildDisk(disk));

    const RunResult summary = info({"flags.d88"});
    EXPECT_TRUE(hasLine(summary.out, "  protect:    0x10 (write-protected)")) << summary.out;
    EXPECT_TRUE(hasLine(summary.out,
                        "  flags:      ID CRC error x1; data CRC error x1; controller status 0x37 x1; "
                        "deleted data x3 (set when the disk was dumped; `d88info flags.d88 0` shows where)"))
        << summary.out;

    const RunResult listing = info({"flags.d88", "0"});
    EXPECT_EQ(listing.status, 0);
    const auto track1 = testsupport::listedTrack(listing.out, 1);
    ASSERT_TRUE(track1);
    EXPECT_EQ(track1->head, "track   1 (C 0 H 1) at 0x" + hex(688 + 8 * 272) + ": 8 records");
    EXPECT_EQ(track1->records,
              "0.1.1.1 0.1.2.1 0.1.3.1[data CRC error] 0.1.4.1 0.1.5.1 0.1.6.1 0.1.7.1 0.1.8.1");
    EXPECT_NE(testsupport::listedTrack(listing.out, 3)->records.find(" 1.1.2.1[ID CRC error, deleted data] "),
              std::string::npos);
    EXPECT_NE(testsupport::listedTrack(listing.out, 0)->records.find(" 0.0.8.1[controller status 0x37]"),
              std::string::npos);
    // The controller's complaints before the deleted-data mark, in the
    // legend as on a cell that has both.
    const testsupport::ListedMap map = testsupport::listedMap(listing.out);
    EXPECT_EQ(map.legend,
              "'#' present, '.' missing, then the first that applies: 'D' duplicated, 'x' C/H of "
              "another track, a digit: size code other than 1, 'i' ID CRC error, 'c' data CRC error, "
              "'!' controller status 0x37, 'e' deleted data");
    EXPECT_EQ(map.rows, (std::vector<std::string>{"track   0 #######!", "track   1 ##c#####",
                                                  "track   2 ####e###", "track   3 #i####e#"}));

    // zanvo-extract names the same flags with the same words.
    Disk diskA = testsupport::diskA(6);
    testimg::findRecord(diskA, 10, 7)->reserved = {0x00, 0x10, 0xA0};
    testimg::findRecord(diskA, 11, 2)->reserved[2] = 0x37;
    write("flagged-a.d88", testimg::buildDisk(diskA));
    const RunResult cut = testsupport::runProgram(kTool, {"flagged-a.d88"}, dir.path());
    EXPECT_TRUE(hasLine(cut.err,
                        "zanvo-extract: warning: DRIVER: 2 sectors flagged when the disk was dumped, "
                        "written as stored: track 10 sector 7: ID CRC error; track 10 sector 7: "
                        "deleted data; track 11 sector 2: controller status 0x37"))
        << cut.err;
    const RunResult listedA = info({"flagged-a.d88", "0"});
    EXPECT_NE(
        testsupport::listedTrack(listedA.out, 10)->records.find(" 5.0.7.1[ID CRC error, deleted data] "),
        std::string::npos);
    EXPECT_NE(testsupport::listedTrack(listedA.out, 11)->records.find(" 5.1.2.1[controller status 0x37] "),
              std::string::npos);
}

TEST_F(InfoDamageTest, SmallTruths)
{
    // A disk size of 0: the index finds the same disk 64 times; said once.
    Disk zero = testimg::formattedDisk(6, 2, 4);
    zero.diskSize = 0;
    write("zero.d88", testimg::buildDisk(zero));
    const RunResult repeated = info({"zero.d88"});
    EXPECT_EQ(repeated.status, 0);
    EXPECT_TRUE(hasLine(repeated.out,
                        "disks 1-63: disk 0 again (its disk size is 0, so the next disk starts where "
                        "it did)"))
        << repeated.out;
    EXPECT_EQ(repeated.out.find("disk 1 at offset"), std::string::npos);

    // 70 disks: 64 are indexed, and the rest are said to be there.
    const Disk small = testimg::formattedDisk(6, 1, 2);
    const std::size_t each = testimg::buildDisk(small).size();
    for (const std::size_t count : {64u, 70u}) {
        write("many.d88", testimg::buildImage(std::vector<Disk>(count, small)));
        const RunResult many = info({"many.d88"});
        const std::string more = "more disks follow from offset " + std::to_string(64 * each) + " (0x" +
                                 hex(static_cast<long long>(64 * each)) + "): only the first 64 are indexed";
        EXPECT_EQ(hasLine(many.out, more), count == 70) << count;
        const RunResult beyond = info({"many.d88", "65"});
        EXPECT_EQ(beyond.status, 1);
        EXPECT_EQ(beyond.err,
                  count == 70 ? "d88info: many.d88 holds more than 64 disks, and only the first 64 can be "
                                "read; there is no disk 65 among them\n"
                              : "d88info: many.d88 has 64 disks; there is no disk 65\n");
        // zanvo-extract says it the same way.
        const RunResult cut = testsupport::runProgram(kTool, {"--disk=65", "many.d88"}, dir.path());
        EXPECT_EQ(cut.status, 1);
        EXPECT_EQ(cut.err, "zanvo-extract" + beyond.err.substr(beyond.err.find(':')));
    }

    // Binary exports never go to a terminal; to a file they may.
    testsupport::RunOptions terminal;
    terminal.stdoutKind = testsupport::StdoutKind::Terminal;
    for (const char* mode : {"--raw", "--split"}) {
        const RunResult refused = info({mode, "zero.d88", "0"}, terminal);
        EXPECT_EQ(refused.status, 2) << mode;
        EXPECT_EQ(refused.err.rfind("d88info: refusing to write a disk image to a terminal: give -o FILE or "
                                    "redirect standard output\n",
                                    0),
                  0u)
            << refused.err;
    }
    write("small.d88", testimg::buildDisk(testimg::formattedDisk(6, 2)));
    EXPECT_EQ(info({"--raw", "small.d88", "0", "-o", "small.img"}, terminal).status, 0);
    EXPECT_TRUE(sameBytes(plainSectors(6, 2), *readFile(dir / "small.img")));
}

TEST_F(InfoDamageTest, ExportsToDevicesFifosStandardOutputAndLongNames)
{
    write("disk.d88", testimg::buildDisk(testimg::formattedDisk(8, 3)));
    const Bytes plain = plainSectors(8, 3);
    const auto raw = [&](const std::string& output, const testsupport::RunOptions& options = {}) {
        return info({"--raw", "disk.d88", "0", "-o", output}, options);
    };

    const RunResult null = raw("/dev/null");
    EXPECT_EQ(null.status, 0);
    EXPECT_EQ(null.err, "");
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    const RunResult full = raw("/dev/full");
    EXPECT_EQ(full.status, 2);
    EXPECT_EQ(full.err, "d88info: cannot write /dev/full: No space left on device\n");
    for (const char* toStdout : {"/dev/stdout", "-"}) {
        const RunResult r = raw(toStdout);
        EXPECT_EQ(r.status, 0) << toStdout << r.err;
        EXPECT_TRUE(sameBytes(plain, testsupport::toBytes(r.out))) << toStdout;
    }
    EXPECT_TRUE(fs::is_symlink("/dev/stdout"));
    fs::create_directory(dir / "folder");
    const RunResult folder = raw("folder");
    EXPECT_EQ(folder.status, 2);
    EXPECT_EQ(folder.err, "d88info: cannot write folder: not a regular file, character device or FIFO; left "
                          "untouched\n");

    // A FIFO is written to as it is, for whoever reads it.
    ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
    Bytes received;
    std::thread reader([&] {
        std::ifstream in(dir / "pipe", std::ios::binary);
        received.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    });
    const RunResult fifo = raw("pipe");
    reader.join();
    EXPECT_EQ(fifo.status, 0);
    EXPECT_TRUE(sameBytes(plain, received));
    EXPECT_TRUE(fs::is_fifo(dir / "pipe"));

    // The longest names a folder takes, with no room for a longer temporary.
    for (const std::size_t length : {250u, 255u}) {
        const std::string name(length, 'n');
        const RunResult r = raw(name);
        EXPECT_EQ(r.status, 0) << length << ": " << r.err;
        EXPECT_TRUE(sameBytes(plain, *readFile(dir / name)));
        fs::remove(dir / name);
    }
    // The longest paths the system takes, whose temporary would pass that
    // length: the temporary's name is fitted to the name's own length.
    fs::path deep = "deep";
    while (deep.string().size() < 3650)
        deep /= std::string(200, 'd');
    deep /= std::string(3849 - deep.string().size(), 'd'); // 3850 bytes
    fs::create_directories(dir / deep);
    for (const std::size_t length : {4082u, 4090u, 4095u}) {
        // A name of 200-odd bytes, within what a folder takes.
        const std::string name = (deep / std::string(length - deep.string().size() - 1, 'p')).string();
        ASSERT_EQ(name.size(), length);
        const RunResult r = raw(name);
        EXPECT_EQ(r.status, 0) << length << ": " << r.err;
        // Longer with the folder's own path than the system takes: read from the folder.
        const int base = open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
        const int file = openat(base, name.c_str(), O_RDONLY);
        Bytes written(plain.size() + 1);
        EXPECT_EQ(read(file, written.data(), written.size()), static_cast<ssize_t>(plain.size())) << length;
        written.resize(plain.size());
        EXPECT_TRUE(sameBytes(plain, written)) << length;
        EXPECT_EQ(testsupport::listFolder(dir / deep).size(), 1u) << length; // no temporary left
        EXPECT_EQ(unlinkat(base, name.c_str(), 0), 0);
        close(file);
        close(base);
    }
    fs::remove_all(dir / "deep");
    EXPECT_EQ(testsupport::listFolder(dir.path()), (std::vector<std::string>{"disk.d88", "folder", "pipe"}));

    if (geteuid() == 0) {
        // Another user writes to /dev/null as well.
        testsupport::TempDir reachable;
        fs::copy_file(kInfo, reachable / "d88info");
        fs::copy_file(dir / "disk.d88", reachable / "disk.d88");
        fs::permissions(reachable.path(),
                        fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
        testsupport::RunOptions nobody;
        nobody.unprivileged = true;
        const RunResult r =
            testsupport::runProgram((reachable / "d88info").string(),
                                    {"--raw", "disk.d88", "0", "-o", "/dev/null"}, reachable.path(), nobody);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(fs::is_character_file("/dev/null"));
    }
}

} // namespace
