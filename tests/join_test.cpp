// zanvo-extract --also: sets of dumps of one Disk A, each built from the same
// description with its own damage, and which dump each damaged sector must
// come from. The expected files are put together here from the sectors the
// descriptions store: every sector from the first dump unless the case says
// another dump (or none) gives it.
#include "support/dumps.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <utility>

namespace {

using testimg::Bytes;
using testimg::Disk;
using testsupport::alter;
using testsupport::diskA;
using testsupport::drop;
using testsupport::edited;
using testsupport::flag;
using testsupport::hasLine;
using testsupport::readFile;
using testsupport::runProgram;
using testsupport::RunResult;
using testsupport::sameBytes;
using testsupport::shorten;

const std::string kTool = ZANVO_EXTRACT_PATH;

using Place = std::pair<int, int>; // track, sector
using testsupport::Edit;

struct Dump {
    const char* name;
    std::vector<Edit> edits;
};

struct Case {
    const char* what;
    std::vector<Dump> dumps;
    std::map<Place, int> from; // the dump each listed sector comes from; -1: none, zeros
    std::vector<std::string> warnings;
    std::string tally; // empty: none
};

// The 256 bytes a description holds for a sector: its data, zeros past what
// it stores, zeros for a sector it lacks.
Bytes sectorOf(const Disk& disk, int track, int r)
{
    Bytes bytes(256, 0);
    if (const testimg::Record* rec = testimg::findRecord(disk, track, r))
        std::copy_n(rec->data.begin(), std::min<std::size_t>(rec->data.size(), 256), bytes.begin());
    return bytes;
}

Bytes expectedFile(const testsupport::DiskAFile& file, const std::vector<Disk>& disks,
                   const std::map<Place, int>& from)
{
    Bytes out;
    int track = file.track, r = file.sector;
    while (out.size() < static_cast<std::size_t>(file.length)) {
        const auto it = from.find({track, r});
        const int dump = it == from.end() ? 0 : it->second;
        const Bytes sector =
            dump < 0 ? Bytes(256, 0) : sectorOf(disks[static_cast<std::size_t>(dump)], track, r);
        out.insert(out.end(), sector.begin(), sector.end());
        if (++r > 16) {
            r = 1;
            ++track;
        }
    }
    out.resize(static_cast<std::size_t>(file.length));
    return out;
}

std::string warning(const std::string& line)
{
    return "zanvo-extract: warning: " + line;
}

const std::vector<Case>& cases()
{
    static const std::vector<Case> table = {
        {"holes in different places",
         {{"first.d88", {drop(12, 3)}}, {"second.d88", {drop(19, 1, 9)}}},
         {{{12, 3}, 1}},
         {warning("ZANVO01: complete from 2 dumps: track 12 sector 3 from second.d88")},
         "of 13 files, 13 complete (1 only thanks to other dumps), 0 with holes, 0 with flagged sectors, 0 "
         "not "
         "written"},
        {"holes in three dumps, each filled from another",
         {{"a.d88", {drop(19, 1, 9), drop(25, 3)}},
          {"b.d88", {drop(25, 3), drop(12, 3)}},
          {"c.d88", {drop(19, 5)}}},
         {{{19, 1}, 1},
          {{19, 2}, 1},
          {{19, 3}, 1},
          {{19, 4}, 1},
          {{19, 5}, 1},
          {{19, 6}, 1},
          {{19, 7}, 1},
          {{19, 8}, 1},
          {{19, 9}, 1},
          {{25, 3}, 2}},
         {warning("ZANVO05: complete from 2 dumps: track 19 sectors 1-9 from b.d88"),
          warning("ZANVO10: complete from 2 dumps: track 25 sector 3 from c.d88")},
         "of 13 files, 13 complete (2 only thanks to other dumps), 0 with holes, 0 with flagged sectors, 0 "
         "not "
         "written"},
        {"a flagged copy beside a whole one, and flagged in both",
         {{"first.d88", {flag(22, 9), flag(20, 6)}}, {"second.d88", {flag(20, 6), drop(22, 10)}}},
         {{{22, 9}, 1}},
         {warning("ZANVO08: complete from 2 dumps: track 22 sector 9 from second.d88"),
          warning("ZANVO07: 1 sector flagged when the disk was dumped, written as stored: track 20 sector 6: "
                  "data "
                  "CRC error")},
         "of 13 files, 12 complete (1 only thanks to other dumps), 0 with holes, 1 with flagged sectors, 0 "
         "not "
         "written"},
        {"two dumps disagree: no majority, the first's copy, disputed",
         {{"first.d88", {alter(20, 2, 1)}}, {"second.d88", {}}},
         {},
         {warning("ZANVO06: dumps disagree on 1 sector: track 20 sector 2: disputed, first.d88 against "
                  "second.d88, first.d88's bytes taken")},
         "of 13 files, 12 complete, 0 with holes, 0 with flagged sectors, 1 with disputed sectors, 0 not "
         "written"},
        {"three dumps: two outvote the first",
         {{"a.d88", {alter(20, 2, 1)}}, {"b.d88", {}}, {"c.d88", {}}},
         {{{20, 2}, 1}},
         {warning("ZANVO06: complete from 2 dumps: track 20 sector 2 from b.d88"),
          warning("ZANVO06: dumps disagree on 1 sector: track 20 sector 2: b.d88, c.d88 against a.d88, the "
                  "majority's bytes taken")},
         "of 13 files, 13 complete (1 only thanks to other dumps, 1 where dumps disagree), 0 with holes, 0 "
         "with "
         "flagged sectors, 0 not written"},
        {"three dumps: the first and third outvote the second",
         {{"a.d88", {alter(20, 2, 1)}}, {"b.d88", {}}, {"c.d88", {alter(20, 2, 1)}}},
         {},
         {warning("ZANVO06: dumps disagree on 1 sector: track 20 sector 2: a.d88, c.d88 against b.d88, the "
                  "majority's bytes taken")},
         "of 13 files, 13 complete (1 where dumps disagree), 0 with holes, 0 with flagged sectors, 0 not "
         "written"},
        {"three dumps all differ: disputed",
         {{"a.d88", {alter(20, 2, 1)}}, {"b.d88", {alter(20, 2, 2)}}, {"c.d88", {}}},
         {},
         {warning(
             "ZANVO06: dumps disagree on 1 sector: track 20 sector 2: disputed, a.d88 against b.d88, c.d88, "
             "a.d88's bytes taken")},
         "of 13 files, 12 complete, 0 with holes, 0 with flagged sectors, 1 with disputed sectors, 0 not "
         "written"},
        {"a disagreeing copy that is flagged does not count",
         {{"a.d88", {alter(20, 2, 1)}}, {"b.d88", {alter(20, 2, 2), flag(20, 2)}}},
         {},
         {},
         ""},
        {"short copies: the longest, zeros after it; a flagged whole copy beats them",
         {{"a.d88", {shorten(25, 3, 100), shorten(21, 4, 50), drop(23, 2)}},
          {"b.d88", {shorten(25, 3, 200), flag(21, 4), shorten(23, 2, 10)}},
          {"c.d88", {drop(25, 3), drop(21, 4), drop(23, 2)}}},
         {{{25, 3}, 1}, {{23, 2}, 1}, {{21, 4}, 1}},
         {warning(
              "ZANVO10: 1 of 34 sectors stored short (track 25 sector 3); zeros written for what is missing"),
          warning("ZANVO10: 1 sector from other dumps: track 25 sector 3 from b.d88"),
          warning("ZANVO07: 1 sector flagged when the disk was dumped, written as stored: track 21 sector 4: "
                  "data "
                  "CRC error"),
          warning("ZANVO07: 1 sector from other dumps: track 21 sector 4 from b.d88"),
          warning(
              "ZANVO08: 1 of 21 sectors stored short (track 23 sector 2); zeros written for what is missing"),
          warning("ZANVO08: 1 sector from other dumps: track 23 sector 2 from b.d88")},
         "of 13 files, 10 complete, 2 with holes, 1 with flagged sectors, 0 not written"},
        {"a sector no dump holds stays zeros",
         {{"a.d88", {drop(16, 7)}}, {"b.d88", {drop(16, 7)}}},
         {{{16, 7}, -1}},
         {warning("ZANVO03: 1 of 16 sectors missing (track 16 sector 7); zeros written for what is missing")},
         "of 13 files, 12 complete, 1 with holes, 0 with flagged sectors, 0 not written"},
    };
    return table;
}

// A case's dumps written into `dir`, their descriptions in order.
std::vector<Disk> writeDumps(const Case& c, const testsupport::TempDir& dir)
{
    std::vector<Disk> disks;
    for (const Dump& dump : c.dumps) {
        disks.push_back(edited(dump.edits));
        testimg::writeFile((dir / dump.name).string(), testimg::buildImage({disks.back()}));
    }
    return disks;
}

std::vector<std::string> joinArgs(const Case& c, std::vector<std::string> front = {})
{
    for (std::size_t i = 1; i < c.dumps.size(); ++i) {
        front.push_back("--also");
        front.push_back(c.dumps[i].name);
    }
    front.push_back(c.dumps[0].name);
    return front;
}

std::size_t lineCount(const std::string& text)
{
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

TEST(Join, EachSectorComesFromTheBestCopyAndTheWarningsSaySo)
{
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.what);
        testsupport::TempDir dir;
        const std::vector<Disk> disks = writeDumps(c, dir);
        const RunResult run = runProgram(kTool, joinArgs(c), dir.path());
        EXPECT_EQ(run.status, 0) << run.err;
        for (const testsupport::DiskAFile& file : testsupport::kDiskAFiles) {
            SCOPED_TRACE(file.name);
            const auto bytes = readFile(dir / file.name);
            ASSERT_TRUE(bytes.has_value());
            EXPECT_TRUE(sameBytes(expectedFile(file, disks, c.from), *bytes));
        }
        for (const std::string& line : c.warnings)
            EXPECT_TRUE(hasLine(run.err, line)) << line << "\nin:\n" << run.err;
        // Nothing else is said: one line for each warning, and the tally.
        EXPECT_EQ(lineCount(run.err), c.warnings.size() + (c.tally.empty() ? 0 : 1)) << run.err;
        if (!c.tally.empty()) {
            EXPECT_TRUE(hasLine(run.err, "zanvo-extract: " + c.tally)) << run.err;
        }

        // A dry run says the same of each file, and writes nothing.
        testsupport::TempDir empty;
        std::vector<std::string> args = joinArgs(c, {"-n", "-C", empty.path().string()});
        const RunResult dry = runProgram(kTool, args, dir.path());
        EXPECT_EQ(dry.status, 0) << dry.err;
        EXPECT_TRUE(testsupport::listFolder(empty.path()).empty());
        for (const std::string& line : c.warnings) {
            if (line.find("dumps") == std::string::npos)
                continue; // the words of holes and flags are the single dump's, tested with it
            const std::string words = line.substr(line.find(": ", line.find("warning: ") + 9) + 2);
            EXPECT_NE(dry.out.find("; " + words), std::string::npos) << words << "\nin:\n" << dry.out;
        }
    }
}

// Dumps that cannot be joined are refused before anything is cut or said on
// standard output, with the status of a bad argument.
TEST(Join, DumpsOfAnotherDiskOrNoD88AreRefusedBeforeAnythingIsCut)
{
    const Disk diskF = testsupport::diskF();
    const Disk unlabelled = testimg::formattedDisk(7);
    struct Refusal {
        const char* what;
        Bytes other;
        std::vector<std::string> extra; // after --also other.d88
        std::string because;
    };
    const std::vector<Refusal> refusals = {
        {"Disk F beside Disk A", testimg::buildImage({diskF}), {}, "disk 0 is Disk F"},
        {"an unrecognised disk",
         testimg::buildImage({unlabelled}),
         {},
         "disk 0 is neither Disk A nor Disk F"},
        {"not D88", testsupport::toBytes(std::string(4000, 'x')), {}, "not a D88 image"},
        {"a disk asked for that is Disk F",
         testimg::buildImage({diskF, diskA()}),
         {"--also-disk=0"},
         "disk 0 is Disk F"},
        {"a disk asked for that the file lacks",
         testimg::buildImage({diskA()}),
         {"--also-disk", "3"},
         "there is no disk 3"},
        {"no disk of the file is Disk A",
         testimg::buildImage({diskF, unlabelled}),
         {},
         "none of its 2 disks is Disk A"},
    };
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.what);
        testsupport::TempDir dir;
        testimg::writeFile((dir / "first.d88").string(), testimg::buildImage({diskA()}));
        testimg::writeFile((dir / "other.d88").string(), r.other);
        std::vector<std::string> args = {"--also", "other.d88"};
        args.insert(args.end(), r.extra.begin(), r.extra.end());
        args.push_back("first.d88");
        const RunResult run = runProgram(kTool, args, dir.path());
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("zanvo-extract: other.d88: not joined to first.d88 (Disk A): "),
                  std::string::npos)
            << run.err;
        EXPECT_NE(run.err.find(r.because), std::string::npos) << run.err;
        EXPECT_EQ(testsupport::listFolder(dir.path()), (std::vector<std::string>{"first.d88", "other.d88"}));
    }

    // The image itself again would outvote a third dump.
    testsupport::TempDir dir;
    testimg::writeFile((dir / "first.d88").string(), testimg::buildImage({diskA()}));
    const RunResult twice = runProgram(kTool, {"--also", "./first.d88", "first.d88"}, dir.path());
    EXPECT_EQ(twice.status, 1);
    EXPECT_NE(twice.err.find("is the image itself"), std::string::npos) << twice.err;
    const RunResult missing = runProgram(kTool, {"--also", "nowhere.d88", "first.d88"}, dir.path());
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("cannot open nowhere.d88"), std::string::npos) << missing.err;
    const RunResult stray = runProgram(kTool, {"--also-disk", "1", "first.d88"}, dir.path());
    EXPECT_EQ(stray.status, 1);
    EXPECT_EQ(testsupport::listFolder(dir.path()), std::vector<std::string>{"first.d88"});
}

// A dump is only read: one that stands where an output would go is left as
// it is, and the other files are still cut.
TEST(Join, NoOutputReplacesADump)
{
    testsupport::TempDir dir;
    const Bytes first = testimg::buildImage({edited({drop(12, 3)})});
    const Bytes other = testimg::buildImage({diskA()});
    testimg::writeFile((dir / "first.d88").string(), first);
    testimg::writeFile((dir / "DRIVER").string(), other);
    const RunResult run = runProgram(kTool, {"--also", "DRIVER", "first.d88"}, dir.path());
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("cannot write DRIVER"), std::string::npos) << run.err;
    EXPECT_TRUE(sameBytes(other, readFile(dir / "DRIVER").value_or(Bytes{})));
    EXPECT_TRUE(sameBytes(expectedFile(testsupport::kDiskAFiles[2], {diskA()}, {}),
                          readFile(dir / "ZANVO01").value_or(Bytes{})));
}

// Files of several disks: the image's disk is the one --disk names, each
// dump's the first of the same kind (or the one --also-disk names).
TEST(Join, TheDisksOfFilesOfSeveralAreFoundByKind)
{
    const Disk diskF = testsupport::diskF();
    const Disk holed = edited({drop(19, 1, 9)});
    const Disk otherHoled = edited({drop(12, 3)});
    const Disk whole = diskA();
    testsupport::TempDir dir;
    testimg::writeFile((dir / "set.d88").string(), testimg::buildImage({diskF, holed}));
    testimg::writeFile((dir / "two.d88").string(), testimg::buildImage({diskF, otherHoled, whole}));
    const auto files = [&](const std::vector<std::string>& args, const std::vector<Disk>& disks,
                           const std::map<Place, int>& from) {
        const RunResult run = runProgram(kTool, args, dir.path());
        EXPECT_EQ(run.status, 0) << run.err;
        for (const testsupport::DiskAFile& file : testsupport::kDiskAFiles)
            EXPECT_TRUE(
                sameBytes(expectedFile(file, disks, from), readFile(dir / file.name).value_or(Bytes{})))
                << file.name;
        return run;
    };
    // Disk 1 of two.d88 is the first Disk A: it lacks track 12 sector 3 too.
    std::map<Place, int> fromTwo;
    for (int r = 1; r <= 9; ++r)
        fromTwo[{19, r}] = 1;
    files({"--disk=1", "--also", "two.d88", "set.d88"}, {holed, otherHoled}, fromTwo);
    // Its disk 2, asked for, holds every sector.
    const RunResult asked =
        files({"--disk=1", "--also", "two.d88", "--also-disk", "2", "set.d88"}, {holed, whole}, fromTwo);
    EXPECT_TRUE(
        hasLine(asked.err, warning("ZANVO05: complete from 2 dumps: track 19 sectors 1-9 from two.d88")))
        << asked.err;
    // The same file twice, other disks of it: two dumps.
    fromTwo[{12, 3}] = 1;
    files({"--disk=1", "--also", "two.d88", "--also-disk=2", "two.d88"}, {otherHoled, whole}, {{{12, 3}, 1}});
}

} // namespace
