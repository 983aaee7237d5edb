// The page's entry layer: its JSON, and what it finds in an image against
// what zanvo-extract and d88info themselves say and write for that image.
#include "examine.h"
#include "image_builder.h"
#include "json_writer.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using testimg::Bytes;
using zanvo::DiskKind;

TEST(Json, StringsAreEscapedAndAlwaysUtf8)
{
    const std::pair<std::string, std::string> cases[] = {
        {"DRIVER", R"("DRIVER")"},
        {"", R"("")"},
        {R"(say "hi" \ there)", R"("say \"hi\" \\ there")"},
        {"a\nb\tc\rd", R"("a\nb\tc\rd")"},
        {std::string("\x01\x08\x0c\x1f\x7f", 5), "\"\\u0001\\u0008\\u000c\\u001f\x7f\""},
        {std::string("nul\0in", 6), R"("nul\u0000in")"},
        {"ディスクA.d88", "\"ディスクA.d88\""},
        {"\xF0\x9F\x92\xBE", "\"\xF0\x9F\x92\xBE\""},
        // Shift_JIS: bytes that are no UTF-8 lead, each replaced alone.
        {"\x83\x74\x83\x40", R"("\ufffdt\ufffd@")"},
        {"ab\xE3\x81", R"("ab\ufffd\ufffd")"},                 // cut short by the end
        {"\xC0\xAF", R"("\ufffd\ufffd")"},                     // overlong '/'
        {"\xED\xA0\x80", R"("\ufffd\ufffd\ufffd")"},           // a surrogate
        {"\xF4\x90\x80\x80", R"("\ufffd\ufffd\ufffd\ufffd")"}, // past U+10FFFF
        {"\xE3\x81"
         "A",
         R"("\ufffd\ufffdA")"}, // a continuation missing
        {"\xFF\xFE", R"("\ufffd\ufffd")"},
    };
    for (const auto& [text, json] : cases)
        EXPECT_EQ(zanvoweb::jsonString(text), json) << "for " << testing::PrintToString(text);
}

TEST(Json, CommasOnlyBetweenMembers)
{
    zanvoweb::JsonWriter json;
    json.beginObject();
    json.key("empty");
    json.beginArray();
    json.endArray();
    json.key("nested");
    json.beginArray();
    json.beginArray();
    json.number(-1);
    json.endArray();
    json.beginObject();
    json.endObject();
    json.boolean(false);
    json.null();
    json.endArray();
    json.key("last");
    json.string("x");
    json.endObject();
    EXPECT_EQ(json.text(), R"({"empty":[],"nested":[[-1],{},false,null],"last":"x"})");
}

TEST(Json, AnExaminationAsThePageReadsIt)
{
    zanvoweb::Examination exam;
    exam.name = "my \"F\".d88";
    exam.kind = DiskKind::DiskF;
    exam.files.push_back({"DISKF", Bytes(3, 0xFF)});
    exam.warnings = {"DISKF: one"};
    exam.looksLikeD88 = true;
    exam.summary = "disks: 1\n";
    exam.bootLine = "ZANVO Disk F label at bytes 1-16";
    exam.map.shown = true;
    exam.map.lowR = 1;
    exam.map.highR = 2;
    exam.map.tracks = {{0, d88info::TrackState::Present, "#c"},
                       {1, d88info::TrackState::Absent, ""},
                       {2, d88info::TrackState::PastEnd, ""}};
    exam.map.legend = {{"#", "present"}, {"c", "data CRC error"}};
    EXPECT_EQ(zanvoweb::examinationJson(exam),
              R"({"name":"my \"F\".d88","disk":"F","files":[{"name":"DISKF","size":3}],)"
              R"("warnings":["DISKF: one"],"errors":[],"looksLikeD88":true,"notD88":"",)"
              R"("summary":"disks: 1\n","bootLine":"ZANVO Disk F label at bytes 1-16","infoError":"",)"
              R"("map":{"lowR":1,"highR":2,"commonSizeCode":1,"tracks":[{"track":0,"state":"present",)"
              R"("marks":"#c"},{"track":1,"state":"absent","marks":""},)"
              R"({"track":2,"state":"past-end","marks":""}],)"
              R"("legend":[{"marks":"#","words":"present"},{"marks":"c","words":"data CRC error"}]}})");

    exam = zanvoweb::Examination{};
    exam.name = "notes.txt";
    exam.notD88 = "the file is 6 bytes";
    EXPECT_EQ(zanvoweb::examinationJson(exam),
              R"({"name":"notes.txt","disk":"","files":[],"warnings":[],"errors":[],"looksLikeD88":false,)"
              R"("notD88":"the file is 6 bytes","summary":"","bootLine":"","infoError":"","map":null})");
}

// --- the examination of whole images ---

testimg::Disk labelled(int seed, const std::array<std::uint8_t, 16>& label)
{
    testimg::Disk disk = testimg::formattedDisk(seed);
    testimg::setBootLabel(disk, label);
    return disk;
}

// What the page learns of an image, through both programs' libraries: the
// disk and its files, d88info's view of disk 0 (its boot line from the
// gathered facts, never from another disk's), and the map's legend with the
// flags the disk carries, in the words the programs use.
TEST(Examine, BothHalvesOfAnImage)
{
    testimg::Disk flagged = labelled(3, testimg::kDiskALabel);
    testimg::findRecord(flagged, 10, 7)->reserved[2] = 0xB0;
    testimg::Disk first = testimg::formattedDisk(6, 40);
    struct Case {
        const char* what;
        Bytes image;
        DiskKind kind;
        std::size_t files;
        std::string bootLine, notD88, lastLegendWords;
    };
    const Case cases[] = {
        {"flagged Disk A", testimg::buildDisk(flagged), DiskKind::DiskA, 13,
         "ZANVO Disk A label at bytes 1-16", "", "data CRC error"},
        {"Disk A second in the file", testimg::buildImage({first, labelled(7, testimg::kDiskALabel)}),
         DiskKind::Unknown, 0, "no ZANVO label; bytes 1-16:", "", "size code other than 1"},
        {"not a D88 image", testsupport::toBytes("hello, not a disk\n"), DiskKind::Unknown, 0, "",
         "the file is 18 bytes, shorter than a disk header (688 bytes)", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::TempDir dir;
        testimg::writeFile((dir / "case.d88").string(), c.image);
        zanvoweb::Examination exam;
        zanvoweb::examineImage((dir / "case.d88").c_str(), "case.d88", &exam);
        EXPECT_EQ(exam.kind, c.kind);
        EXPECT_EQ(exam.files.size(), c.files);
        EXPECT_EQ(exam.warnings.size(), c.kind == DiskKind::DiskA ? 1u : 0u);
        EXPECT_EQ(exam.bootLine.substr(0, c.bootLine.size()), c.bootLine);
        EXPECT_EQ(exam.notD88, c.notD88);
        EXPECT_EQ(exam.looksLikeD88, c.notD88.empty());
        EXPECT_EQ(exam.map.shown, c.notD88.empty());
        EXPECT_EQ(exam.map.legend.empty() ? "" : exam.map.legend.back().words, c.lastLegendWords);
        EXPECT_TRUE(exam.errors.empty());
        EXPECT_TRUE(exam.infoError.empty());
    }
}

} // namespace
