// The page's entry layer: its JSON, and what it finds in an image against
// what d88info itself prints for that image.
#include "examine.h"
#include "image_builder.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using testimg::Bytes;
using zanvo::DiskKind;

TEST(Json, AnExaminationAsThePageReadsIt)
{
    zanvoweb::Examination exam;
    exam.name = "my \"F\".d88";
    exam.kind = DiskKind::DiskF;
    exam.files.push_back({"DISKF", Bytes(3, 0xFF)});
    exam.warnings = {"DISKF: one"};
    exam.tally = "of 1 files, 0 cut whole, 1 cut with holes, 0 not written";
    exam.info = R"({"version":"x","d88":true})";
    EXPECT_EQ(zanvoweb::examinationJson(exam),
              "{\"name\":\"my \\\"F\\\".d88\",\"disk\":\"F\",\"recognised\":\"ZANVO (Disk F)"
              "\xe3\x82\x92\xe8\xaa\x8d\xe8\xad\x98\xe3\x81\x97\xe3\x81\xbe\xe3\x81\x97\xe3\x81\x9f.\","
              R"("files":[{"name":"DISKF","size":3}],"warnings":["DISKF: one"],"errors":[],)"
              R"("tally":"of 1 files, 0 cut whole, 1 cut with holes, 0 not written",)"
              R"("info":{"version":"x","d88":true},"infoError":""})");

    exam = zanvoweb::Examination{};
    exam.name = "notes.txt";
    exam.infoError = "cannot read notes.txt: Input/output error";
    EXPECT_EQ(
        zanvoweb::examinationJson(exam),
        R"({"name":"notes.txt","disk":"","recognised":"","files":[],"warnings":[],"errors":[],"tally":"",)"
        R"("info":null,)"
        R"("infoError":"cannot read notes.txt: Input/output error"})");
}

// --- the examination of whole images ---

testimg::Disk labelled(int seed, const std::array<std::uint8_t, 16>& label)
{
    testimg::Disk disk = testimg::formattedDisk(seed);
    testimg::setBootLabel(disk, label);
    return disk;
}

// What the page learns of an image, through both programs' libraries: the
// disk and its files, and d88info's document of it, what `d88info --json`
// prints without the tracks' records.
TEST(Examine, BothHalvesOfAnImage)
{
    testimg::Disk flagged = labelled(3, testimg::kDiskALabel);
    testimg::findRecord(flagged, 10, 7)->reserved[2] = 0xB0;
    testimg::Disk first = testimg::formattedDisk(6, 40);
    testimg::Disk damaged = labelled(4, testimg::kDiskALabel);
    damaged.tracks.erase(19);
    struct Case {
        const char* what;
        Bytes image;
        DiskKind kind;
        std::size_t files, warnings;
    };
    const Case cases[] = {
        {"flagged Disk A", testimg::buildDisk(flagged), DiskKind::DiskA, 13, 1},
        {"Disk A without track 19", testimg::buildDisk(damaged), DiskKind::DiskA, 13, 2},
        {"Disk A second in the file", testimg::buildImage({first, labelled(7, testimg::kDiskALabel)}),
         DiskKind::Unknown, 0, 0},
        {"not a D88 image", testsupport::toBytes("hello, not a disk\n"), DiskKind::Unknown, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::TempDir dir;
        testimg::writeFile((dir / "case.d88").string(), c.image);
        zanvoweb::Examination exam;
        zanvoweb::examineImage((dir / "case.d88").c_str(), "case.d88", &exam);
        EXPECT_EQ(exam.kind, c.kind);
        EXPECT_EQ(exam.files.size(), c.files);
        EXPECT_EQ(exam.warnings.size(), c.warnings);
        EXPECT_TRUE(exam.errors.empty());
        EXPECT_TRUE(exam.infoError.empty());
        // The tool's last word, when it has one, is the page's tally.
        const std::string err = testsupport::runProgram(ZANVO_EXTRACT_PATH, {"case.d88"}, dir.path()).err;
        const std::size_t last = err.rfind("zanvo-extract: of ");
        EXPECT_EQ(exam.tally, last == std::string::npos ? "" : err.substr(last + 15, err.size() - last - 16));
        const testsupport::RunResult info =
            testsupport::runProgram(D88INFO_PATH, {"--json", "case.d88"}, dir.path());
        nlohmann::json printed = nlohmann::json::parse(info.out);
        std::size_t records = 0;
        for (auto& disk : printed["disks"])
            for (auto& track : disk["tracks"]) {
                records += track.erase("records");
                track.erase("countedBytes");
            }
        EXPECT_EQ(records > 0, printed["d88"].get<bool>()); // every present track has its list
        EXPECT_EQ(nlohmann::json::parse(exam.info), printed);
    }
}

} // namespace
