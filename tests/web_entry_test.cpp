// The page's entry layer: its JSON, and what it finds in an image against
// what d88info itself prints for that image.
#include "examine.h"
#include "image_builder.h"
#include "support/dumps.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>

namespace {

namespace fs = std::filesystem;
using testimg::Bytes;
using zanvo::DiskKind;

TEST(Json, AnExaminationAsThePageReadsIt)
{
    zanvoweb::Examination exam;
    exam.name = "my \"F\".d88";
    exam.kind = DiskKind::DiskF;
    exam.disks = {{0, "other"}, {2, "F"}};
    exam.cut = 2;
    exam.files.push_back({"DISKF", Bytes(3, 0xFF), 1, 2, 4, {5, 1}, 1});
    exam.dumps = {"my \"F\".d88", "b.d88"};
    exam.warnings = {"DISKF: one"};
    exam.tally = "of 1 files, 0 complete, 1 with holes, 0 with flagged sectors, 0 not written";
    exam.info = R"({"version":"x","d88":true})";
    EXPECT_EQ(
        zanvoweb::examinationJson(exam),
        "{\"name\":\"my \\\"F\\\".d88\",\"disks\":[{\"index\":0,\"kind\":\"other\"},"
        "{\"index\":2,\"kind\":\"F\"}],\"cut\":2,\"disk\":\"F\",\"recognised\":\"ZANVO (Disk F)"
        "\xe3\x82\x92\xe8\xaa\x8d\xe8\xad\x98\xe3\x81\x97\xe3\x81\xbe\xe3\x81\x97\xe3\x81\x9f.\","
        R"("files":[{"name":"DISKF","size":3,"holes":1,"flagged":2,"uncertain":4,"from":[5,1],"disputed":1}],)"
        R"("dumps":["my \"F\".d88","b.d88"],"warnings":["DISKF: one"],)"
        R"("errors":[],)"
        R"("tally":"of 1 files, 0 complete, 1 with holes, 0 with flagged sectors, 0 not written",)"
        R"("info":{"version":"x","d88":true},"infoError":""})");

    exam = zanvoweb::Examination{};
    exam.name = "notes.txt";
    exam.infoError = "cannot read notes.txt: Input/output error";
    EXPECT_EQ(
        zanvoweb::examinationJson(exam),
        R"({"name":"notes.txt","disks":[],"cut":0,"disk":"","recognised":"","files":[],"dumps":[],"warnings":[],)"
        R"("errors":[],"tally":"",)"
        R"("info":null,)"
        R"("infoError":"cannot read notes.txt: Input/output error"})");
}

// --- the examination of whole images ---

// What the page learns of an image, through both programs' libraries: the
// disk and its files, and d88info's document of it, what `d88info --json`
// prints without the tracks' records.
TEST(Examine, BothHalvesOfAnImage)
{
    testimg::Disk flagged = testsupport::diskA(3);
    testimg::findRecord(flagged, 10, 7)->reserved[2] = 0xB0;
    testimg::Disk first = testimg::formattedDisk(6, 40);
    testimg::Disk damaged = testsupport::diskA(4);
    damaged.tracks.erase(19);
    // Track 12 sector 3 (in ZANVO01) holds a whole 128-byte record that ends
    // where the next record begins: the sector is uncertain.
    testimg::Disk doubtful = testsupport::diskA(3);
    const std::uint8_t header[16] = {6, 0, 9, 0, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 128, 0};
    std::copy(std::begin(header), std::end(header), testimg::findRecord(doubtful, 12, 3)->data.begin() + 112);
    struct Case {
        const char* what;
        Bytes image;
        DiskKind kind;
        std::size_t files, warnings;
        int holes, flagged, uncertain; // over all files
    };
    const Case cases[] = {
        {"flagged Disk A", testimg::buildDisk(flagged), DiskKind::DiskA, 13, 1, 0, 1, 0},
        {"Disk A without track 19", testimg::buildDisk(damaged), DiskKind::DiskA, 13, 2, 16, 0, 0},
        {"Disk A with an uncertain sector", testimg::buildDisk(doubtful), DiskKind::DiskA, 13, 1, 0, 0, 1},
        {"not a D88 image", testsupport::toBytes("hello, not a disk\n"), DiskKind::Unknown, 0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::TempDir dir;
        testimg::writeFile((dir / "case.d88").string(), c.image);
        zanvoweb::Examination exam;
        zanvoweb::examineImage((dir / "case.d88").c_str(), "case.d88", -1, &exam);
        EXPECT_EQ(exam.kind, c.kind);
        EXPECT_EQ(exam.files.size(), c.files);
        EXPECT_EQ(exam.warnings.size(), c.warnings);
        int holesSeen = 0, flaggedSeen = 0, uncertainSeen = 0;
        for (const zanvoweb::CutFile& file : exam.files)
            holesSeen += file.holes, flaggedSeen += file.flagged, uncertainSeen += file.uncertain;
        EXPECT_EQ(holesSeen, c.holes);
        EXPECT_EQ(flaggedSeen, c.flagged);
        EXPECT_EQ(uncertainSeen, c.uncertain);
        EXPECT_TRUE(exam.errors.empty());
        EXPECT_TRUE(exam.infoError.empty());
        // The tool's last word, when it has one, is the page's tally; its
        // warnings are the page's, pointing at the map the page draws
        // rather than at a command.
        const std::string err = testsupport::runProgram(ZANVO_EXTRACT_PATH, {"case.d88"}, dir.path()).err;
        const std::size_t last = err.rfind("zanvo-extract: of ");
        EXPECT_EQ(exam.tally, last == std::string::npos ? "" : err.substr(last + 15, err.size() - last - 16));
        std::vector<std::string> warned;
        const std::string prefix = "zanvo-extract: warning: ", command = "; `d88info case.d88 0` shows where";
        for (std::string line : testsupport::linesOf(err))
            if (line.rfind(prefix, 0) == 0) {
                line.erase(0, prefix.size());
                if (line.size() >= command.size() &&
                    line.compare(line.size() - command.size(), command.size(), command) == 0)
                    line.replace(line.size() - command.size(), command.size(),
                                 "; the sector map shows where");
                warned.push_back(line);
            }
        EXPECT_EQ(exam.warnings, warned);
        const testsupport::RunResult info =
            testsupport::runProgram(D88INFO_PATH, {"--json", "case.d88"}, dir.path());
        nlohmann::json printed = nlohmann::json::parse(info.out);
        std::size_t records = 0;
        for (auto& disk : printed["disks"])
            for (auto& track : disk["tracks"])
                records += track.erase("records");
        EXPECT_EQ(records > 0, printed["d88"].get<bool>()); // every present track has its list
        EXPECT_EQ(nlohmann::json::parse(exam.info), printed);
    }
}

// A file of several disks: each is listed with what it is, the first of the
// title's is cut unless another is asked for, and a disk size of 0 (which
// indexes one disk over and over) lists that disk once.
TEST(Examine, TheDiskCutIsTheFirstOfTheTitlesOrTheOneAskedFor)
{
    const testimg::Disk blank = testimg::formattedDisk(6, 40);
    const testimg::Disk a = testsupport::diskA(7), f = testsupport::diskF(8);
    testimg::Disk unsized = a;
    unsized.diskSize = 0;
    using Seen = std::vector<std::pair<int, std::string>>;
    struct Case {
        const char* what;
        Bytes image;
        int asked;
        Seen disks;
        int cut;
        DiskKind kind;
    };
    const Case cases[] = {
        {"a blank disk, then Disk A",
         testimg::buildImage({blank, a}),
         -1,
         {{0, "other"}, {1, "A"}},
         1,
         DiskKind::DiskA},
        {"the blank disk asked for",
         testimg::buildImage({blank, a}),
         0,
         {{0, "other"}, {1, "A"}},
         0,
         DiskKind::Unknown},
        {"Disk A, then Disk F", testimg::buildImage({a, f}), -1, {{0, "A"}, {1, "F"}}, 0, DiskKind::DiskA},
        {"Disk F asked for", testimg::buildImage({a, f}), 1, {{0, "A"}, {1, "F"}}, 1, DiskKind::DiskF},
        {"a disk size of 0", testimg::buildDisk(unsized), -1, {{0, "A"}}, 0, DiskKind::DiskA},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::TempDir dir;
        testimg::writeFile((dir / "set.d88").string(), c.image);
        zanvoweb::Examination exam;
        zanvoweb::examineImage((dir / "set.d88").c_str(), "set.d88", c.asked, &exam);
        Seen seen;
        for (const zanvoweb::DiskSeen& disk : exam.disks)
            seen.emplace_back(disk.index, disk.kind);
        EXPECT_EQ(seen, c.disks);
        EXPECT_EQ(exam.cut, c.cut);
        EXPECT_EQ(exam.kind, c.kind);
        // The files are those zanvo-extract cuts from that disk.
        const std::string disk = "--disk=" + std::to_string(c.cut);
        const testsupport::RunResult r =
            testsupport::runProgram(ZANVO_EXTRACT_PATH, {disk, "set.d88"}, dir.path());
        EXPECT_EQ(r.status, 0);
        for (const zanvoweb::CutFile& file : exam.files)
            EXPECT_TRUE(testsupport::sameBytes(*testsupport::readFile(dir / file.name), file.bytes))
                << file.name;
        EXPECT_EQ(exam.files.size(), c.kind == DiskKind::DiskA ? 13u : c.kind == DiskKind::DiskF ? 1u : 0u);
    }
}

// Several dumps of one disk: the files are cut from all of them as
// zanvo-extract --also cuts them, with its warnings and tally, and each file
// says how many sectors each dump gave; a dump of another disk is refused.
TEST(Examine, SeveralDumpsAreJoinedAsTheToolJoinsThem)
{
    testimg::Disk first = testsupport::diskA(9), second = first, third = first;
    std::erase_if(first.tracks.at(19).records, [](const testimg::Record& r) { return r.r <= 9; });
    std::erase_if(first.tracks.at(12).records, [](const testimg::Record& r) { return r.r == 3; });
    testimg::findRecord(second, 12, 3)->reserved[2] = 0xB0;
    testimg::findRecord(second, 20, 2)->data.assign(256, 0x5A);
    testsupport::TempDir dir;
    testimg::writeFile((dir / "a.d88").string(), testimg::buildDisk(first));
    testimg::writeFile((dir / "b.d88").string(), testimg::buildDisk(second));
    testimg::writeFile((dir / "c.d88").string(), testimg::buildDisk(third));
    testimg::writeFile((dir / "f.d88").string(), testimg::buildDisk(testsupport::diskF(9)));
    const std::string a = (dir / "a.d88").string(), b = (dir / "b.d88").string(),
                      c = (dir / "c.d88").string();
    const zanvoweb::DumpFile dumps[] = {{a.c_str(), "a.d88"}, {b.c_str(), "b.d88"}, {c.c_str(), "c.d88"}};
    zanvoweb::Examination exam;
    zanvoweb::examineImages(dumps, -1, &exam);
    EXPECT_EQ(exam.dumps, (std::vector<std::string>{"a.d88", "b.d88", "c.d88"}));
    EXPECT_TRUE(exam.errors.empty());

    const testsupport::RunResult run = testsupport::runProgram(
        ZANVO_EXTRACT_PATH, {"--also", "b.d88", "--also", "c.d88", "a.d88"}, dir.path());
    EXPECT_EQ(run.status, 0);
    std::vector<std::string> warned;
    for (const std::string& line : testsupport::linesOf(run.err))
        if (line.rfind("zanvo-extract: warning: ", 0) == 0)
            warned.push_back(line.substr(24));
    EXPECT_EQ(exam.warnings, warned);
    EXPECT_EQ(run.err.substr(run.err.rfind("zanvo-extract: of ") + 15), exam.tally + "\n");
    ASSERT_EQ(exam.files.size(), 13u);
    // Each file's sectors: track 19 sectors 1-9 (ZANVO05's last nine), which
    // a.d88 lacks, from b.d88; track 12 sector 3, which a.d88 lacks too and
    // b.d88 holds flagged, from c.d88, whose copy of track 20 sector 2 agrees
    // with a.d88's against b.d88's.
    const std::map<std::string, std::vector<int>> from = {{"ZANVO01", {16, 0, 1}}, {"ZANVO05", {12, 9, 0}}};
    for (const zanvoweb::CutFile& file : exam.files) {
        SCOPED_TRACE(file.name);
        EXPECT_TRUE(testsupport::sameBytes(*testsupport::readFile(dir / file.name), file.bytes));
        const auto it = from.find(file.name);
        int sectors = 0;
        for (const testsupport::DiskAFile& plan : testsupport::kDiskAFiles)
            if (file.name == plan.name)
                sectors = (plan.length + 255) / 256;
        const std::vector<int> expected = it != from.end() ? it->second : std::vector<int>{sectors, 0, 0};
        EXPECT_EQ(file.from, expected);
        EXPECT_EQ(file.disputed, 0);
    }

    const std::string f = (dir / "f.d88").string();
    const zanvoweb::DumpFile withF[] = {{a.c_str(), "a.d88"}, {f.c_str(), "f.d88"}};
    zanvoweb::examineImages(withF, -1, &exam);
    EXPECT_TRUE(exam.files.empty());
    EXPECT_EQ(exam.errors, std::vector<std::string>{
                               "f.d88: not joined to a.d88 (Disk A): disk 0 is Disk F; nothing was cut"});
}

} // namespace
