// One answer everywhere: for every sector of every layout the reading is
// held to, what the cut notes of it (the facts zanvo-extract's warnings and
// the page's are made of) agrees with d88info's document, its map (in the
// document and in the listing) and its summary: present or missing, stored
// short, uncertain, flagged, read past a lie.
#include "d88/record_map.h"
#include "file_cut.h"
#include "image_builder.h"
#include "listing.h"
#include "reading_cases.h"
#include "sector_mark.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <map>
#include <memory>
#include <numeric>
#include <optional>
#include <regex>
#include <string>
#include <vector>

namespace {

using Json = nlohmann::json;
using testsupport::RunResult;

// Every record of a track in stored order: its own, and the stretches the
// document gives as another track's ("shared").
std::vector<Json> allRecords(const Json& disk, const Json& track)
{
    std::vector<Json> out;
    std::size_t own = 0;
    for (long long i = 0; i < track["recordCount"].get<long long>(); ++i) {
        const Json* from = nullptr;
        long long at = 0;
        for (const Json& run : track["shared"])
            if (i >= run["first"].get<long long>() && i < run["first"].get<long long>() + run["count"].get<long long>())
                from = &run, at = run["from"].get<long long>() + i - run["first"].get<long long>();
        if (!from) {
            out.push_back(track["records"][own++]);
            continue;
        }
        for (const Json& other : disk["tracks"])
            if (other["track"] == (*from)["track"])
                out.push_back(allRecords(disk, other).at(static_cast<std::size_t>(at)));
    }
    return out;
}

// The first record of track `t` with the ID the cut looks for (the track's
// C/H, sector `r`, size code 1), as its field names say, or nothing.
std::optional<std::map<std::string, long long>> recordOf(const Json& doc, const std::vector<Json>& records, int t,
                                                        int r)
{
    const Json& fields = doc["recordFields"];
    for (const Json& record : records) {
        std::map<std::string, long long> named;
        for (std::size_t i = 0; i < fields.size(); ++i)
            named[fields[i].get<std::string>()] = record[i].get<long long>();
        if (named["c"] == t / 2 && named["h"] == t % 2 && named["r"] == r && named["n"] == 1)
            return named;
    }
    return std::nullopt;
}

// How many of a track's records carry sector number `r`.
int copiesOf(const Json& doc, const std::vector<Json>& records, int r)
{
    const Json& fields = doc["recordFields"];
    std::size_t at = 0;
    while (fields[at] != "r")
        ++at;
    int copies = 0;
    for (const Json& record : records)
        copies += record[at].get<int>() == r;
    return copies;
}

long long summaryCount(const std::string& summary, const std::string& label)
{
    std::smatch m;
    const std::regex line("\n  " + label + ": +([0-9,]+) record");
    if (!std::regex_search(summary, m, line))
        return 0;
    std::string digits = m[1];
    digits.erase(std::remove(digits.begin(), digits.end(), ','), digits.end());
    return std::stoll(digits);
}

RunResult d88info(const std::vector<std::string>& args, const testsupport::TempDir& dir)
{
    return testsupport::runProgram(D88INFO_PATH, args, dir.path());
}

struct Checked {
    int sectors = 0;
};

// Every sector 1-16 of `tracks` of disk `disk` of the image in `dir`.
void agree(const testsupport::TempDir& dir, int disk, const std::vector<int>& tracks, Checked* checked)
{
    const RunResult json = d88info({"--json", "image.d88"}, dir);
    const RunResult listing = d88info({"image.d88", std::to_string(disk)}, dir);
    const RunResult summary = d88info({"image.d88"}, dir);
    ASSERT_NE(json.status, 1) << json.err;
    const Json doc = Json::parse(json.out);
    const Json& d = doc["disks"][static_cast<std::size_t>(disk)];
    const testsupport::ListedMap map = testsupport::listedMap(listing.out);

    d88::D88Image image;
    ASSERT_TRUE(image.open((dir / "image.d88").string().c_str()));
    d88::RecordMap records(image);
    ASSERT_TRUE(records.loadDisk(disk).done());
    const auto run = std::make_unique<zanvo::RunRecovery>();
    std::vector<std::uint8_t> dest(16 * 256);
    for (const int t : tracks) {
        SCOPED_TRACE("track " + std::to_string(t));
        const d88::RunStart start{
            {t, d88::SectorId{static_cast<std::uint8_t>(t / 2), static_cast<std::uint8_t>(t % 2), 1, 1}}, 1, 16};
        ASSERT_FALSE(zanvo::recoverRun(records, start, dest, run.get()).failed());
        const Json* track = nullptr;
        for (const Json& candidate : d["tracks"])
            if (candidate["track"] == t)
                track = &candidate;
        std::string jsonRow, listedRow;
        for (const Json& row : d["map"]["rows"])
            if (row["track"] == t)
                jsonRow = row["marks"];
        for (const std::string& row : map.rows)
            if (row.rfind("track " + std::string(t < 10 ? "  " : t < 100 ? " " : "") + std::to_string(t) + " ", 0) == 0)
                listedRow = row.substr(row.size() - jsonRow.size());
        EXPECT_EQ(listedRow, jsonRow) << "the listing's map and the document's";
        const std::vector<Json> all = track ? allRecords(d, *track) : std::vector<Json>{};
        for (int r = 1; r <= 16; ++r) {
            SCOPED_TRACE("sector " + std::to_string(r));
            const zanvo::SectorNote& note = run->sectors[r - 1];
            const auto record = recordOf(doc, all, t, r);
            ASSERT_EQ(record.has_value(), note.fate != zanvo::SectorFate::Missing);
            if (record) {
                EXPECT_EQ(record->at("available") < 256, note.fate == zanvo::SectorFate::Short);
                EXPECT_EQ(record->at("uncertain") != 0, note.uncertain);
                EXPECT_EQ(record->at("readPastLie") != 0, note.lie.field != d88::LyingField::None);
                EXPECT_EQ(record->at("status") != 0 || record->at("deletedMark") != 0, note.flags.any());
            }
            // One record of the sector's number, or none of any size code.
            const int copies = copiesOf(doc, all, r);
            if (jsonRow.size() == 16 && copies == (record ? 1 : 0)) {
                const char want = testsupport::markFor(note), got = jsonRow[static_cast<std::size_t>(r - 1)];
                if (want == '!')
                    EXPECT_EQ(std::string("#.s?~x0123456789+D").find(got), std::string::npos) << got;
                else
                    EXPECT_EQ(got, want);
            }
            ++checked->sectors;
        }
    }
    // The summary counts what the document counts.
    EXPECT_EQ(summaryCount(summary.out, "short"), d["shortRecords"].get<long long>());
    EXPECT_EQ(summaryCount(summary.out, "uncertain"), d["uncertainRecords"].get<long long>());
    EXPECT_EQ(summaryCount(summary.out, "lies"), d["recordsReadPastLies"].get<long long>());
}

TEST(OneAnswer, TheCutAndEveryViewOfD88infoAgreeOnEverySector)
{
    testsupport::TempDir dir;
    Checked checked;
    for (const testsupport::Case& c : testsupport::readingCases()) {
        SCOPED_TRACE(c.what);
        testimg::writeFile((dir / "image.d88").string(), testsupport::buildDisks(c.disks).bytes);
        for (int disk = 0; disk < 2; ++disk) {
            std::vector<int> tracks;
            for (const auto& [d, t] : c.tracks)
                if (d == disk)
                    tracks.push_back(t);
            if (!tracks.empty())
                agree(dir, disk, tracks, &checked);
        }
    }
    {
        SCOPED_TRACE("a Disk A whose fields lie");
        testimg::writeFile((dir / "image.d88").string(), testimg::buildDisk(testimg::lyingDiskA(3)));
        std::vector<int> tracks(80);
        std::iota(tracks.begin(), tracks.end(), 0);
        agree(dir, 0, tracks, &checked);
    }
    EXPECT_GT(checked.sectors, 80 * 16 + 20 * 16);
}

} // namespace
