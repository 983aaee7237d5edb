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
    exam.map.tracks = {{0, d88info::TrackState::Present, "#."},
                       {1, d88info::TrackState::Absent, ""},
                       {2, d88info::TrackState::PastEnd, ""}};
    EXPECT_EQ(zanvoweb::examinationJson(exam),
              R"({"name":"my \"F\".d88","disk":"F","files":[{"name":"DISKF","size":3}],)"
              R"("warnings":["DISKF: one"],"errors":[],"looksLikeD88":true,"notD88":"",)"
              R"("summary":"disks: 1\n","bootLine":"ZANVO Disk F label at bytes 1-16","infoError":"",)"
              R"("map":{"lowR":1,"highR":2,"commonSizeCode":1,"tracks":[{"track":0,"state":"present",)"
              R"("marks":"#."},{"track":1,"state":"absent","marks":""},)"
              R"({"track":2,"state":"past-end","marks":""}]}})");

    exam = zanvoweb::Examination{};
    exam.name = "notes.txt";
    exam.notD88 = "the file is 6 bytes";
    EXPECT_EQ(zanvoweb::examinationJson(exam),
              R"({"name":"notes.txt","disk":"","files":[],"warnings":[],"errors":[],"looksLikeD88":false,)"
              R"("notD88":"the file is 6 bytes","summary":"","bootLine":"","infoError":"","map":null})");
}

// --- images, against the two programs ---

testimg::Disk labelled(int seed, const std::array<std::uint8_t, 16>& label)
{
    testimg::Disk disk = testimg::formattedDisk(seed);
    testimg::setBootLabel(disk, label);
    return disk;
}

struct ImageCase {
    const char* what;
    Bytes image;
    DiskKind kind;
    std::size_t files;
    std::vector<std::string> warnings; // expected exactly, in order
    std::string bootLine;              // expected when not empty
    std::string notD88;                // expected when not empty
};

std::vector<ImageCase> imageCases()
{
    testimg::Disk damaged = labelled(3, testimg::kDiskALabel);
    damaged.tracks.erase(19);
    auto& t11 = damaged.tracks[11].records;
    t11.erase(std::find_if(t11.begin(), t11.end(), [](const auto& rec) { return rec.r == 12; }));
    testimg::findRecord(damaged, 10, 7)->reserved[2] = 0xB0; // header byte 8: data CRC error
    testimg::findRecord(damaged, 10, 8)->reserved[1] = 0x10; // header byte 7: deleted data
    testimg::findRecord(damaged, 16, 7)->n = 2;
    damaged.tracks[14].records.push_back(*testimg::findRecord(damaged, 14, 5));

    testimg::Disk blankBoot = testimg::formattedDisk(5);
    std::fill(testimg::findRecord(blankBoot, 0, 1)->data.begin(),
              testimg::findRecord(blankBoot, 0, 1)->data.end(), std::uint8_t{0});
    const Bytes diskA = testimg::buildDisk(labelled(1, testimg::kDiskALabel));
    // Disk 0 of two, told from the Disk A after it by a sector it lacks.
    testimg::Disk first = testimg::formattedDisk(6, 40);
    first.tracks[2].records.pop_back();

    return {
        {"Disk A", diskA, DiskKind::DiskA, 13, {}, "ZANVO Disk A label at bytes 1-16", ""},
        {"Disk F", testimg::buildDisk(labelled(2, testimg::kDiskFLabel)), DiskKind::DiskF, 1, {}, "", ""},
        {"damaged and flagged Disk A",
         testimg::buildDisk(damaged),
         DiskKind::DiskA,
         12,
         {"DRIVER: 2 sectors flagged when the disk was dumped, written as stored: track 10 sector 7: data "
          "CRC "
          "error; track 10 sector 8: deleted-data mark",
          "ZANVO00: its sector is not on the disk (track 11 sector 12); not written",
          "ZANVO03: 1 of 16 sectors missing (track 16 sector 7); zeros written for what is missing",
          "ZANVO05: 9 of 21 sectors missing (track 19 sectors 1-9); zeros written for what is missing",
          "ZANVO06: 7 of 11 sectors missing (track 19 sectors 10-16); zeros written for what is missing"},
         "",
         ""},
        {"Disk A cut short in track 30",
         Bytes(diskA.begin(), diskA.begin() + 140000),
         DiskKind::DiskA,
         13,
         {},
         "",
         ""},
        {"unrecognised",
         testimg::buildDisk(blankBoot),
         DiskKind::Unknown,
         0,
         {},
         "no ZANVO label; bytes 1-16: 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00",
         ""},
        {"Disk A second in the file",
         testimg::buildImage({first, labelled(7, testimg::kDiskALabel)}),
         DiskKind::Unknown,
         0,
         {},
         "",
         ""},
        {"not a D88 image",
         testsupport::toBytes("hello, not a disk\n"),
         DiskKind::Unknown,
         0,
         {},
         "",
         "the file is 18 bytes, shorter than a disk header (688 bytes)"},
    };
}

// The map as d88info prints its track lines.
std::string mapText(const zanvoweb::SectorMap& map)
{
    std::string out;
    for (const zanvoweb::MapTrack& track : map.tracks) {
        char head[16];
        std::snprintf(head, sizeof head, "track %3d ", track.track);
        out += head;
        out += track.state == d88info::TrackState::Present  ? track.marks
               : track.state == d88info::TrackState::Absent ? "absent"
                                                            : "past the end of the file";
        out += '\n';
    }
    return out;
}

// The track lines after the map's heading in `d88info IMAGE 0`.
std::string infoMapText(const std::string& listing)
{
    std::istringstream lines(listing);
    std::string line, out;
    bool inMap = false;
    while (std::getline(lines, line)) {
        inMap = inMap || line.rfind("map", 0) == 0;
        if (inMap && line.rfind("track ", 0) == 0)
            out += line + '\n';
    }
    return out;
}

TEST(Examine, SaysAndCutsWhatTheProgramsDo)
{
    for (const ImageCase& c : imageCases()) {
        SCOPED_TRACE(c.what);
        testsupport::TempDir dir;
        testimg::writeFile((dir / "case.d88").string(), c.image);
        zanvoweb::Examination exam;
        zanvoweb::examineImage((dir / "case.d88").c_str(), "case.d88", &exam);

        EXPECT_EQ(exam.kind, c.kind);
        EXPECT_EQ(exam.files.size(), c.files);
        if (!c.warnings.empty()) {
            EXPECT_EQ(exam.warnings, c.warnings);
        }
        if (!c.bootLine.empty()) {
            EXPECT_EQ(exam.bootLine, c.bootLine);
        }
        EXPECT_EQ(exam.notD88, c.notD88);
        EXPECT_EQ(exam.looksLikeD88, c.notD88.empty());
        EXPECT_TRUE(exam.errors.empty());
        EXPECT_TRUE(exam.infoError.empty());

        const testsupport::RunResult cut =
            testsupport::runProgram(ZANVO_EXTRACT_PATH, {"case.d88"}, dir.path());
        EXPECT_EQ(cut.status, 0);
        std::string said;
        for (const std::string& warning : exam.warnings)
            said += "zanvo-extract: warning: " + warning + "\n";
        EXPECT_EQ(said, cut.err);
        std::map<std::string, Bytes> written;
        for (const std::string& name : testsupport::listFolder(dir.path()))
            if (name != "case.d88")
                written[name] = *testsupport::readFile(dir / name);
        EXPECT_EQ(written.size(), exam.files.size());
        for (const zanvoweb::CutFile& file : exam.files) {
            SCOPED_TRACE(file.name);
            ASSERT_TRUE(written.count(file.name));
            EXPECT_TRUE(testsupport::sameBytes(written[file.name], file.bytes));
        }

        const testsupport::RunResult info = testsupport::runProgram(D88INFO_PATH, {"case.d88"}, dir.path());
        if (exam.looksLikeD88) {
            EXPECT_EQ(exam.summary, info.out);
            const testsupport::RunResult listing =
                testsupport::runProgram(D88INFO_PATH, {"case.d88", "0"}, dir.path());
            EXPECT_EQ(mapText(exam.map), infoMapText(listing.out));
            EXPECT_TRUE(exam.map.shown);
        } else {
            EXPECT_EQ(info.err, "d88info: case.d88: not a D88 image: " + exam.notD88 + "\n");
            EXPECT_TRUE(exam.summary.empty());
            EXPECT_FALSE(exam.map.shown);
        }
    }
}

} // namespace
