// d88info --json: one document that a JSON parser reads, with typed fields
// for every fact of every disk, agreeing with what d88info prints; and the
// writer that makes it.
#include "image_builder.h"
#include "json_writer.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sstream>

namespace {

using Json = nlohmann::json;
using testimg::Bytes;
using testimg::Disk;

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
        EXPECT_EQ(d88info::jsonString(text), json) << "for " << testing::PrintToString(text);
}

TEST(Json, CommasOnlyBetweenMembers)
{
    d88info::JsonWriter json;
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

// The track lines after the map's heading in `d88info IMAGE DISK`.
std::vector<std::string> printedMap(const std::string& listing)
{
    std::istringstream lines(listing);
    std::string line;
    std::vector<std::string> out;
    bool inMap = false;
    while (std::getline(lines, line)) {
        inMap = inMap || line.rfind("map", 0) == 0;
        if (inMap && line.rfind("track ", 0) == 0)
            out.push_back(line);
    }
    return out;
}

class D88infoJsonTest : public ::testing::Test {
  protected:
    Json document(const Bytes& image, int status = 0)
    {
        testimg::writeFile((dir / "image.d88").string(), image);
        const testsupport::RunResult r =
            testsupport::runProgram(D88INFO_PATH, {"--json", "image.d88"}, dir.path());
        EXPECT_EQ(r.status, status) << r.err;
        return Json::parse(r.out);
    }
    testsupport::TempDir dir;
};

TEST_F(D88infoJsonTest, EveryFactOfADamagedDisk)
{
    Disk disk = testimg::formattedDisk(4, 20, 16, false);
    testimg::setBootLabel(disk, testimg::kDiskALabel);
    disk.name = "NAME \x82\xa0";
    disk.tracks.erase(3);
    testimg::findRecord(disk, 5, 9)->reserved[2] = 0xB0;
    testimg::findRecord(disk, 6, 2)->data.resize(200);
    testimg::findRecord(disk, 7, 4)->dataSize = 0;
    const Json doc = document(testimg::buildDisk(disk));
    EXPECT_EQ(doc["version"], PROJECT_VERSION);
    EXPECT_EQ(doc["image"], "image.d88");
    EXPECT_TRUE(doc["d88"].get<bool>());
    EXPECT_TRUE(doc["notD88"].is_null());
    ASSERT_EQ(doc["diskCount"], 1);
    const Json& d = doc["disks"][0];
    EXPECT_EQ(d["name"]["hex"], "4e414d4520"
                                "82a0");
    EXPECT_EQ(d["name"]["text"], "NAME \ufffd\ufffd");
    EXPECT_EQ(d["media"], "2D");
    EXPECT_EQ(d["diskSize"], doc["fileSize"]);
    EXPECT_TRUE(d["fileEndsAt"].is_null());
    EXPECT_EQ(d["tracks"].size(), 19u); // track 3 is not in the table
    const Json& track5 = d["tracks"][4];
    EXPECT_EQ(track5["track"], 5);
    EXPECT_EQ(track5["cylinder"], 2);
    EXPECT_EQ(track5["head"], 1);
    EXPECT_EQ(track5["state"], "present");
    EXPECT_EQ(track5["records"].size(), 16u);
    EXPECT_EQ(track5["records"][8]["flags"], Json::array({"data CRC error"}));
    EXPECT_EQ(d["tracks"][5]["records"][1]["available"], 200);
    EXPECT_TRUE(d["tracks"][5]["records"][1]["short"].get<bool>());
    const Json& liar = d["tracks"][6]["records"][3];
    EXPECT_TRUE(liar["dataSizeLied"].get<bool>());
    EXPECT_EQ(liar["available"], 256);
    EXPECT_EQ(d["tracks"][6]["records"][4]["readPastLie"],
              "the data size field of track 7 sector 4 says 0 where 256 bytes are stored");
    EXPECT_TRUE(d["tracks"][6]["records"][2]["readPastLie"].is_null());
    EXPECT_EQ(d["flags"], Json::parse(R"([{"words":"data CRC error","records":1}])"));
    EXPECT_EQ(d["shortRecords"], 1);
    EXPECT_EQ(d["recordsReadPastLies"], 13);
    EXPECT_EQ(d["lies"], Json::parse(R"({"dataSizeRecords":1,"sectorCountTracks":0,"diskSize":false})"));
    EXPECT_EQ(d["protect"], "not write-protected");
    EXPECT_EQ(d["geometryLooksLike"], "2D");
    EXPECT_EQ(d["boot"]["disk"], "A");
    EXPECT_EQ(d["boot"]["line"], "ZANVO Disk A label at bytes 1-16");

    // The map is the one d88info draws.
    const testsupport::RunResult listing =
        testsupport::runProgram(D88INFO_PATH, {"image.d88", "0"}, dir.path());
    std::vector<std::string> rows;
    for (const Json& row : d["map"]["rows"]) {
        char head[16];
        std::snprintf(head, sizeof head, "track %3d ", row["track"].get<int>());
        rows.push_back(head +
                       (row["state"] == "present" ? row["marks"].get<std::string>() : std::string("absent")));
    }
    EXPECT_EQ(rows, printedMap(listing.out));
    std::vector<std::string> legend;
    for (const Json& mark : d["map"]["legend"])
        legend.push_back(mark["marks"].get<std::string>() + " " + mark["words"].get<std::string>());
    EXPECT_EQ(
        std::vector<std::string>(legend.end() - 3, legend.end()),
        (std::vector<std::string>{"~ read past a field that lied", "s stored short", "c data CRC error"}));
}

TEST_F(D88infoJsonTest, SharedTracksManyDisksAndFilesThatAreNoImage)
{
    const Json shared =
        document(testimg::buildDisk(testimg::sharedDecoyTrack(testimg::formattedDisk(5, 4), 100)));
    const Json& tracks = shared["disks"][0]["tracks"];
    ASSERT_EQ(tracks.size(), 164u);
    // 100 decoys of size code 0xFF and 4 tracks of 16: the decoys and each
    // track's first record (another cylinder or head than the record before)
    // are reached only by the sector counts, and given as bytes.
    EXPECT_EQ(tracks[0]["recordCount"], 164);
    EXPECT_EQ(tracks[0]["records"].size(), 60u);
    ASSERT_EQ(tracks[0]["countedBytes"].size(), 4u);
    EXPECT_EQ(tracks[0]["countedBytes"][0], (Json{{"from", 0}, {"to", 100 * 16 + 16 + 256 - 1}}));
    EXPECT_EQ(tracks[163]["sameRecordsAs"], 0);
    EXPECT_FALSE(tracks[163].contains("records"));

    Disk second = testimg::formattedDisk(6, 4);
    testimg::setBootLabel(second, testimg::kDiskFLabel);
    const Json two = document(testimg::buildImage({testimg::formattedDisk(7, 4), second}));
    ASSERT_EQ(two["diskCount"], 2);
    EXPECT_TRUE(two["disks"][0]["boot"]["disk"].is_null());
    EXPECT_EQ(two["disks"][1]["boot"]["disk"], "F");
    EXPECT_EQ(two["disks"][1]["offset"], testimg::buildDisk(testimg::formattedDisk(7, 4)).size());

    // A last disk whose size field is 2 GiB or more: the field as the
    // unsigned number it is, in the document and the summary alike.
    Disk huge = testimg::formattedDisk(8, 2);
    huge.diskSize = 0xAFC4E781u;
    const Json large = document(testimg::buildImage({testimg::formattedDisk(7, 4), huge}));
    EXPECT_EQ(large["disks"][1]["diskSize"].get<std::uint64_t>(), 0xAFC4E781u);
    const testsupport::RunResult summary = testsupport::runProgram(D88INFO_PATH, {"image.d88"}, dir.path());
    EXPECT_NE(summary.out.find("\n  disk size:  " + std::to_string(0xAFC4E781u) + " (0xafc4e781)"),
              std::string::npos)
        << summary.out;

    const Json text = document(testsupport::toBytes("not a disk"), 1);
    EXPECT_FALSE(text["d88"].get<bool>());
    EXPECT_EQ(text["notD88"], "the file is 10 bytes, shorter than a disk header (688 bytes)");
    EXPECT_TRUE(text["disks"].empty());
}

} // namespace
