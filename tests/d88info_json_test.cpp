// d88info --json: one document that a JSON parser reads, with typed fields
// for every fact of every disk, agreeing with what d88info prints; and the
// writer that makes it.
#include "image_builder.h"
#include "json_writer.h"
#include "support/dumps.h"
#include "support/listing.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <map>
#include <sstream>
#include <tuple>

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

class D88infoJsonTest : public testsupport::FolderTest {
  protected:
    Json document(const Bytes& image, int status = 0)
    {
        write("image.d88", image);
        const testsupport::RunResult r = run({"--json", "image.d88"});
        EXPECT_EQ(r.status, status) << r.err;
        return Json::parse(r.out);
    }
    testsupport::RunResult run(const std::vector<std::string>& args)
    {
        return FolderTest::run(D88INFO_PATH, args);
    }
};

// A record of the document, its fields by the names recordFields gives them.
std::map<std::string, long long> fieldsOf(const Json& doc, const Json& record)
{
    std::map<std::string, long long> out;
    EXPECT_EQ(record.size(), doc["recordFields"].size());
    for (std::size_t i = 0; i < record.size() && i < doc["recordFields"].size(); ++i)
        out[doc["recordFields"][i].get<std::string>()] = record[i].get<long long>();
    return out;
}

// What the document says of a record of the description, in its fields.
std::map<std::string, long long> described(const testimg::Record& rec, int count, bool readPastLie)
{
    const long long size = rec.dataSize.value_or(static_cast<std::uint16_t>(rec.data.size()));
    return {{"c", rec.c},
            {"h", rec.h},
            {"r", rec.r},
            {"n", rec.n},
            {"sectorCount", rec.count.value_or(count)},
            {"dataSize", size},
            {"available", static_cast<long long>(rec.data.size())},
            {"skipped", 0},
            {"status", rec.reserved[2]},
            {"deletedMark", rec.reserved[1]},
            {"bySize", size == static_cast<long long>(rec.data.size())},
            {"readPastLie", readPastLie}};
}

// What the document says of a disk agrees with what d88info prints of it:
// the counts count the records its tracks list, and the map and its legend
// are the ones the listing draws.
void agreesWithTheListing(const Json& doc, const Json& disk, const std::string& listing,
                          const std::string& what)
{
    SCOPED_TRACE(what);
    long long shortRecords = 0, uncertain = 0, pastLies = 0, noRecord = 0, uncertainTracks = 0;
    for (const Json& track : disk["tracks"]) {
        if (!track.contains("records"))
            continue;
        uncertainTracks += track["uncertain"].get<long long>();
        noRecord += track["noRecordBytes"].get<long long>();
        for (const Json& record : track["records"]) {
            const auto f = fieldsOf(doc, record);
            shortRecords += f.at("available") < (128LL << f.at("n"));
            uncertain += f.at("uncertain");
            pastLies += f.at("readPastLie");
        }
    }
    EXPECT_EQ(disk["shortRecords"], shortRecords);
    EXPECT_EQ(disk["uncertainRecords"], uncertain);
    EXPECT_EQ(uncertainTracks, uncertain);
    EXPECT_EQ(disk["recordsReadPastLies"], pastLies);
    EXPECT_EQ(disk["noRecordBytes"], noRecord);
    std::size_t said = 0;
    for (std::size_t at = 0; (at = listing.find("[uncertain: ", at)) != std::string::npos; ++at)
        ++said;
    EXPECT_EQ(said, static_cast<std::size_t>(uncertain));

    const testsupport::ListedMap printed = testsupport::listedMap(listing);
    std::vector<std::string> rows;
    std::size_t questionMarks = 0;
    for (const Json& row : disk["map"]["rows"]) {
        char head[16];
        std::snprintf(head, sizeof head, "track %3d ", row["track"].get<int>());
        const std::string marks = row["marks"].get<std::string>();
        questionMarks += static_cast<std::size_t>(std::count(marks.begin(), marks.end(), '?'));
        rows.push_back(head + (row["state"] == "present"  ? marks
                               : row["state"] == "absent" ? std::string("absent")
                                                          : std::string("past the end of the file")));
    }
    EXPECT_EQ(rows, printed.rows);
    EXPECT_LE(questionMarks, static_cast<std::size_t>(uncertain));
    std::string legend, joiner;
    for (const Json& mark : disk["map"]["legend"]) {
        const std::string marks = mark["marks"].get<std::string>();
        legend += joiner + (marks.size() == 1 ? "'" + marks + "' " : "a digit: ") +
                  mark["words"].get<std::string>();
        joiner = marks == "." ? ", then the first that applies: " : ", ";
    }
    EXPECT_EQ(testsupport::listedMap(listing).legend, legend);
}

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
    EXPECT_TRUE(doc["looksLike"].is_null());
    ASSERT_EQ(doc["diskCount"], 1);
    const Json& d = doc["disks"][0];
    EXPECT_EQ(d["name"]["hex"], "4e414d4520"
                                "82a0");
    EXPECT_EQ(d["name"]["text"], "NAME \ufffd\ufffd");
    EXPECT_EQ(d["media"], "2D");
    EXPECT_TRUE(d["oddFields"].is_null());
    EXPECT_EQ(d["diskSize"], doc["fileSize"]);
    EXPECT_TRUE(d["fileEndsAt"].is_null());

    // Every record as the description stores it: each field lies only on
    // track 7, whose records from sector 4 on the strict rule does not give.
    ASSERT_EQ(d["tracks"].size(), 19u); // track 3 is not in the table
    for (const Json& track : d["tracks"]) {
        const int t = track["track"].get<int>();
        SCOPED_TRACE(t);
        EXPECT_EQ(track["cylinder"], t / 2);
        EXPECT_EQ(track["head"], t % 2);
        EXPECT_EQ(track["state"], "present");
        EXPECT_EQ(track["recordCount"], 16);
        EXPECT_EQ(track["shared"], Json::array());
        EXPECT_FALSE(track.contains("sameRecordsAs"));
        const std::vector<testimg::Record>& stored = disk.tracks.at(t).records;
        ASSERT_EQ(track["records"].size(), stored.size());
        for (std::size_t i = 0; i < stored.size(); ++i) {
            auto listed = fieldsOf(doc, track["records"][i]);
            EXPECT_EQ(listed.erase("uncertain"), 1u);
            EXPECT_EQ(listed, described(stored[i], 16, t == 7 && i >= 3)) << "record " << i;
        }
        EXPECT_EQ(track["readPast"],
                  t == 7 ? Json::array({"the data size field of track 7 sector 4 says 0 where 256 "
                                        "bytes are stored"})
                         : Json::array());
        EXPECT_EQ(track["dataSizeLies"], t == 7 ? 1 : 0);
        EXPECT_EQ(track["readPastLies"], t == 7 ? 13 : 0);
    }
    EXPECT_EQ(d["flags"], Json::parse(R"([{"words":"data CRC error","records":1}])"));
    EXPECT_EQ(d["shortRecords"], 1);
    EXPECT_EQ(d["recordsReadPastLies"], 13);
    EXPECT_EQ(d["noRecordBytes"], 0);
    EXPECT_EQ(d["cutTracks"], 0);
    EXPECT_EQ(
        d["lies"],
        Json::parse(R"({"dataSizeRecords":1,"sectorCountTracks":0,"noRecordTracks":0,"diskSize":false})"));
    EXPECT_EQ(d["protect"], "not write-protected");
    EXPECT_EQ(d["geometryLooksLike"], "2D");
    EXPECT_EQ(d["boot"]["disk"], "A");
    EXPECT_EQ(d["boot"]["line"], "ZANVO Disk A label at bytes 1-16");

    // The listing says what the document says; the legend names the marks
    // that occur, in the one order in which they win a cell.
    agreesWithTheListing(doc, d, run({"image.d88", "0"}).out, "the damaged disk");
    std::vector<std::string> marks;
    for (const Json& mark : d["map"]["legend"])
        if (mark["marks"] != "?")
            marks.push_back(mark["marks"]);
    EXPECT_EQ(marks, (std::vector<std::string>{"#", ".", "D", "x", "0123456789+", "s", "c", "~"}));
    EXPECT_EQ(d["map"]["rows"][6]["marks"], "#s##############");
    EXPECT_EQ(d["map"]["rows"][7]["marks"], "###~~~~~~~~~~~~~");
}

// A record whose bytes hold a header from which the track can be read as
// well is uncertain, in the document as in the summary, the listing and the
// map; bytes that are no record are counted where the listing shows them.
TEST_F(D88infoJsonTest, UncertainRecordsAndBytesThatAreNoRecord)
{
    Disk disk = testimg::formattedDisk(2, 3, 16, false);
    for (auto& [t, track] : disk.tracks)
        for (testimg::Record& rec : track.records)
            std::fill(rec.data.begin(), rec.data.end(), std::uint8_t{0xE5}); // no header in them
    // Sector 3 of track 0: a whole 128-byte record 144 bytes before its end,
    // which reaches the next record just as well.
    const std::uint8_t header[16] = {0, 0, 9, 0, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 128, 0};
    std::copy(std::begin(header), std::end(header), testimg::findRecord(disk, 0, 3)->data.begin() + 112);
    // 40 bytes of no record after sector 10 of track 1, one after sector 12
    // of track 2: each record's data size steps into them.
    for (const auto& [t, r, extra] : {std::tuple{1, 10, 40}, std::tuple{2, 12, 1}}) {
        testimg::Record* before = testimg::findRecord(disk, t, r);
        before->dataSize = 256;
        before->data.resize(256 + static_cast<std::size_t>(extra), 0xFF);
    }
    const Json doc = document(testimg::buildDisk(disk));
    const Json& d = doc["disks"][0];
    const testsupport::RunResult listing = run({"image.d88", "0"});
    agreesWithTheListing(doc, d, listing.out, "uncertain and skipped");
    EXPECT_EQ(d["uncertainRecords"], 1);
    EXPECT_EQ(fieldsOf(doc, d["tracks"][0]["records"][2]).at("uncertain"), 1);
    EXPECT_EQ(d["map"]["rows"][0]["marks"], "##?#############");
    EXPECT_EQ(d["noRecordBytes"], 41);
    for (const auto& [t, r, extra] : {std::tuple{1, 10, 40}, std::tuple{2, 12, 1}}) {
        SCOPED_TRACE(t);
        const Json& track = d["tracks"][static_cast<std::size_t>(t)];
        EXPECT_EQ(track["noRecordBytes"], extra);
        EXPECT_EQ(track["recordCount"], 16);
        for (std::size_t i = 0; i < 16; ++i) {
            const auto f = fieldsOf(doc, track["records"][i]);
            const auto sector = static_cast<long long>(i + 1);
            EXPECT_EQ(f.at("r"), sector);
            EXPECT_EQ(f.at("available"), 256);
            EXPECT_EQ(f.at("skipped"), sector == r ? extra : 0);
            EXPECT_EQ(f.at("readPastLie"), sector > r);
        }
        const auto listed = testsupport::listedTrack(listing.out, t);
        ASSERT_TRUE(listed);
        const std::string words =
            extra == 1 ? " [1 byte that is no record] " : " [40 bytes that are no record] ";
        EXPECT_NE(listed->records.find("." + std::to_string(r) + ".1" + words), std::string::npos)
            << listed->records;
    }
    EXPECT_EQ(d["tracks"][1]["readPast"],
              Json::array({"40 bytes after track 1 sector 10 that are no record"}));
    // The records after them are read past bytes the strict rule takes for
    // a record: sectors 11-16 of track 1, 13-16 of track 2.
    EXPECT_EQ(d["recordsReadPastLies"], 10);
    EXPECT_EQ(
        d["lies"],
        Json::parse(R"({"dataSizeRecords":0,"sectorCountTracks":0,"noRecordTracks":2,"diskSize":false})"));
    const testsupport::RunResult summary = run({"image.d88"});
    EXPECT_TRUE(testsupport::hasLine(
        summary.out, "  uncertain:  1 record whose bytes the image can also be read to hold otherwise"))
        << summary.out;
    EXPECT_TRUE(testsupport::hasLine(
        summary.out,
        "  no record:  41 bytes of the tracks are no record (skipped; `d88info image.d88 0` shows where)"))
        << summary.out;
    EXPECT_TRUE(testsupport::hasLine(
        summary.out,
        "  lies:       10 records read past fields that lied: bytes that are no record on 2 tracks"))
        << summary.out;
    // One byte alone is said so.
    disk.tracks.erase(1);
    document(testimg::buildDisk(disk));
    EXPECT_TRUE(testsupport::hasLine(
        run({"image.d88"}).out,
        "  no record:  1 byte of the tracks is no record (skipped; `d88info image.d88 0` shows where)"));
}

// A size that ends disk 0 inside its own header area: its tracks start
// after a gap that holds another disk's header. That header is inside
// disk 0, before its first track, and at no track of it: the message,
// the JSON and a cut of it say so, never "track -1".
TEST_F(D88infoJsonTest, AHeaderBeforeDiskZerosFirstTrackIsAtNoTrack)
{
    const Disk diskA = [] {
        Disk d = testsupport::diskA(8);
        return d;
    }();
    const Bytes plain = testimg::buildDisk(diskA);
    Bytes gapped(plain.begin(), plain.begin() + 688);
    const auto put32 = [&gapped](std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i)
            gapped[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
    };
    for (std::size_t at = 0x20; at < 688; at += 4) {
        std::uint32_t entry = 0;
        for (std::size_t i = 4; i-- > 0;)
            entry = entry << 8 | gapped[at + i];
        if (entry != 0)
            put32(at, entry + 688);
    }
    put32(0x1C, 688);
    gapped.resize(2 * 688, 0);
    gapped[688] = 'Z';
    put32(688 + 0x1C, static_cast<std::uint32_t>(plain.size()));
    gapped.insert(gapped.end(), plain.begin() + 688, plain.end());
    write("gap.d88", gapped);
    const Json d = Json::parse(run({"--json", "gap.d88"}).out);
    ASSERT_EQ(d["disks"].size(), 2u);
    EXPECT_EQ(d["disks"][1]["insideDisk"]["disk"], 0);
    EXPECT_TRUE(d["disks"][1]["insideDisk"]["track"].is_null());
    const testsupport::RunResult summary = run({"gap.d88"});
    const testsupport::RunResult cut =
        testsupport::runProgram(ZANVO_EXTRACT_PATH, {"--disk=1", "gap.d88"}, dir.path());
    EXPECT_EQ(cut.status, 0);
    for (const std::string& said : {summary.out, cut.err}) {
        const std::size_t at = said.find("inside disk 0");
        ASSERT_NE(at, std::string::npos) << said;
        const std::string line = said.substr(at, said.find('\n', at) - at);
        EXPECT_EQ(line.find("track -"), std::string::npos) << line;
        EXPECT_NE(line.find("before its first track"), std::string::npos) << line;
    }
}

// Header fields outside the format's values, on a disk whose records are
// plausible: the disk is kept and the fields are named.
TEST_F(D88infoJsonTest, OddHeaderFieldsAreNamed)
{
    Disk disk = testimg::formattedDisk(3, 4, 8, false);
    disk.headerBytes[0x1B] = 0x7F; // the media type
    disk.headerBytes[0x1A] = 0x02; // write protect
    const Json doc = document(testimg::buildDisk(disk));
    ASSERT_TRUE(doc["d88"].get<bool>());
    const Json& d = doc["disks"][0];
    EXPECT_EQ(d["oddFields"], "the media type byte 0x7f, the write protect byte 0x02");
    EXPECT_TRUE(d["media"].is_null());
    EXPECT_EQ(d["protect"], "unknown");
    EXPECT_TRUE(testsupport::hasLine(run({"image.d88"}).out,
                                     "  note:       the media type byte 0x7f, the write "
                                     "protect byte 0x02: not a D88 disk's, though its "
                                     "records are"));
}

TEST_F(D88infoJsonTest, SharedTracksManyDisksAndFilesThatAreNoImage)
{
    // 100 decoys (C, H, R 0xFF, no data) and the 64 records of 4 tracks, as
    // one run that every table entry leads to: track 0 holds them all, each
    // other track names it.
    const Disk real = testimg::formattedDisk(5, 4);
    const Json shared = document(testimg::buildDisk(testimg::sharedDecoyTrack(real, 100)));
    const Json& tracks = shared["disks"][0]["tracks"];
    ASSERT_EQ(tracks.size(), 164u);
    EXPECT_EQ(tracks[0]["recordCount"], 164);
    ASSERT_EQ(tracks[0]["records"].size(), 164u);
    testimg::Record decoy;
    decoy.c = decoy.h = decoy.r = 0xFF;
    for (std::size_t i = 0; i < 164; ++i) {
        const testimg::Record& rec =
            i < 100 ? decoy : real.tracks.at(static_cast<int>(i - 100) / 16).records[(i - 100) % 16];
        auto listed = fieldsOf(shared, tracks[0]["records"][i]);
        listed.erase("uncertain");
        EXPECT_EQ(listed, described(rec, 65535, false)) << "record " << i;
    }
    EXPECT_EQ(shared["disks"][0]["shortRecords"], 100);
    for (std::size_t t = 1; t < 164; ++t) {
        EXPECT_EQ(tracks[t]["sameRecordsAs"], (Json{{"disk", 0}, {"track", 0}})) << t;
        EXPECT_FALSE(tracks[t].contains("records")) << t;
    }

    // Track 1's entry leads to track 0's fifth record: its first 12 records
    // are track 0's 5-16, named once, and its own 16 follow.
    Disk tail = testimg::formattedDisk(5, 3, 16, false);
    tail.trackOffsets[1] = static_cast<std::uint32_t>(testimg::trackStart(tail, 0) + 4 * (16 + 256));
    const Json tails = document(testimg::buildDisk(tail));
    const Json& track1 = tails["disks"][0]["tracks"][1];
    EXPECT_EQ(track1["recordCount"], 28);
    EXPECT_EQ(track1["shared"], Json::parse(R"([{"first":0,"count":12,"track":0,"from":4}])"));
    ASSERT_EQ(track1["records"].size(), 16u);
    for (std::size_t i = 0; i < 16; ++i)
        EXPECT_EQ(fieldsOf(tails, track1["records"][i]).at("r"), static_cast<long long>(i + 1));
    const auto listed = testsupport::listedTrack(run({"image.d88", "0"}).out, 1);
    ASSERT_TRUE(listed);
    EXPECT_EQ(listed->head, "track   1 (C 0 H 1) at 0x" +
                                (std::ostringstream() << std::hex << 688 + 4 * 272).str() + ": 28 records");
    EXPECT_EQ(listed->records.rfind("[records 1-12: track 0's 5-16] 0.1.1.1 ", 0), 0u) << listed->records;

    // Disks 0, 2 and 4 name 164 tracks that all start on one run of
    // records: each later disk's first track names disk 0's first, whatever
    // disk stands between; its other tracks name its own first.
    const Json headers = document(testimg::headersOverOneRun(6, testimg::emptyRecords(300)));
    for (const int d : {0, 2, 4}) {
        const Json& named = headers["disks"][static_cast<std::size_t>(d)]["tracks"];
        ASSERT_EQ(named.size(), 164u) << d;
        EXPECT_EQ(named[0].contains("records"), d == 0) << d;
        if (d > 0) {
            EXPECT_EQ(named[0]["sameRecordsAs"], (Json{{"disk", 0}, {"track", 0}})) << d;
        }
        EXPECT_EQ(named[163]["sameRecordsAs"], (Json{{"disk", d}, {"track", 0}})) << d;
    }

    Disk second = testsupport::diskF(6, 4);
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
    const testsupport::RunResult summary = run({"image.d88"});
    EXPECT_NE(summary.out.find("\n  disk size:  " + std::to_string(0xAFC4E781u) + " (0xafc4e781)"),
              std::string::npos)
        << summary.out;

    // Files that are no image: the words d88info refuses them with, and
    // what their first bytes say they are.
    const std::pair<Bytes, std::pair<std::string, std::string>> refused[] = {
        {testsupport::toBytes("not a disk"),
         {"unknown", "the file is 10 bytes, shorter than a disk header (688 bytes)"}},
        {testsupport::toBytes(std::string("\x1f\x8b\x08\x00", 4) + std::string(1000, 'z')),
         {"gzip", "it is a gzip-compressed file: unpack it first"}},
        {Bytes(40 * 2 * 16 * 256, 0),
         {"plain-sectors", "it has no D88 header: its 327,680 bytes are the size of a plain sector image (40 "
                           "cylinders, 2 heads, 16 sectors of 256 bytes)"}},
    };
    for (const auto& [bytes, expected] : refused) {
        const Json text = document(bytes, 1);
        EXPECT_FALSE(text["d88"].get<bool>());
        EXPECT_EQ(text["looksLike"], expected.first);
        EXPECT_EQ(text["notD88"], expected.second);
        EXPECT_EQ(text["diskCount"], 0);
        EXPECT_TRUE(text["disks"].empty());
        EXPECT_EQ(run({"image.d88"}).err, "d88info: image.d88: not a D88 image: " + expected.second + "\n");
    }
}

} // namespace
