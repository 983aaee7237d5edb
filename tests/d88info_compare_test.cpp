// d88info --compare: pairs of dumps built from descriptions, and what the
// listing and the JSON document must say of each, worked out here from the
// sectors the descriptions store (a sector is the first record of its
// track with its C.H.R.N; the bytes compared are those of its size code
// both dumps hold).
#include "support/dumps.h"
#include "support/listing.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <map>
#include <set>
#include <sstream>
#include <tuple>

namespace {

using Json = nlohmann::json;
using testimg::Bytes;
using testimg::Disk;
using testsupport::Edit;
using testsupport::RunResult;

const std::string kInfo = D88INFO_PATH;

// --- what the descriptions store, and how two of them differ ---

using Id = std::tuple<int, int, int, int>; // C, H, R, N

struct Stored {
    std::vector<std::string> flags; // in words, in the order they are told
    std::size_t bytes = 0, nominal = 0;
    Bytes data; // the bytes of its sector it holds
    int copies = 1;
};

std::vector<std::string> flagWords(std::uint8_t deletedMark, std::uint8_t status)
{
    std::vector<std::string> words;
    const std::map<int, std::string> known = {
        {0xA0, "ID CRC error"}, {0xB0, "data CRC error"}, {0xE0, "no address mark"}, {0xF0, "no data mark"}};
    if (known.count(status))
        words.push_back(known.at(status));
    else if (status != 0 && status != 0x10) {
        char hex[32];
        std::snprintf(hex, sizeof hex, "controller status 0x%02X", status);
        words.push_back(hex);
    }
    if (deletedMark != 0 || status == 0x10)
        words.push_back("deleted data");
    return words;
}

std::map<Id, Stored> sectorsOf(const Disk& disk, int track)
{
    std::map<Id, Stored> out;
    const auto it = disk.tracks.find(track);
    if (it == disk.tracks.end())
        return out;
    for (const testimg::Record& rec : it->second.records) {
        const Id id{rec.c, rec.h, rec.r, rec.n};
        if (const auto held = out.find(id); held != out.end()) {
            ++held->second.copies;
            continue;
        }
        Stored s;
        s.flags = flagWords(rec.reserved[1], rec.reserved[2]);
        s.nominal = std::size_t{128} << rec.n;
        s.bytes = std::min(rec.data.size(), s.nominal);
        s.data.assign(rec.data.begin(), rec.data.begin() + static_cast<long>(s.bytes));
        out[id] = s;
    }
    return out;
}

struct Sector {
    Id firstId{}, secondId{}; // where each holds it
    std::optional<Stored> first, second;
    bool flagsDiffer = false, sizeDiffers = false;
    std::size_t compared = 0, differing = 0, firstDiffer = 0;

    Id id() const { return first ? firstId : secondId; }
    bool onlyFirst() const { return first && !second; }
    bool onlySecond() const { return second && !first; }
    bool storedDifferently() const { return flagsDiffer || sizeDiffers; }
    bool differentBytes() const { return differing > 0; }
    bool differs() const { return !(first && second) || storedDifferently() || differentBytes(); }
    bool copies() const { return (first && first->copies > 1) || (second && second->copies > 1); }
};

void weigh(Sector& s)
{
    s.flagsDiffer = s.first->flags != s.second->flags;
    s.sizeDiffers = std::get<3>(s.firstId) != std::get<3>(s.secondId) || s.first->bytes != s.second->bytes;
    s.compared = std::min(s.first->bytes, s.second->bytes);
    for (std::size_t k = 0; k < s.compared; ++k)
        if (s.first->data[k] != s.second->data[k] && s.differing++ == 0)
            s.firstDiffer = k;
}

// The track's sectors with something to say, in ID order.
std::vector<Sector> compareTrack(const Disk& a, const Disk& b, int track)
{
    const std::map<Id, Stored> first = sectorsOf(a, track), second = sectorsOf(b, track);
    std::map<Id, Sector> all;
    for (const auto& [id, stored] : first)
        all[id].first = stored, all[id].firstId = id;
    for (const auto& [id, stored] : second)
        all[id].second = stored, all[id].secondId = id;
    // A sector one dump alone holds under a size code, the other alone under
    // another: one sector, where each holds one such.
    std::map<std::tuple<int, int, int>, std::vector<Id>> alone;
    for (const auto& [id, s] : all)
        if (!(s.first && s.second))
            alone[{std::get<0>(id), std::get<1>(id), std::get<2>(id)}].push_back(id);
    for (const auto& [chr, ids] : alone) {
        if (ids.size() != 2 || all[ids[0]].first.has_value() == all[ids[1]].first.has_value())
            continue;
        Sector& kept = all[ids[0]];
        const Sector other = all[ids[1]];
        if (other.first)
            kept.first = other.first, kept.firstId = other.firstId;
        else
            kept.second = other.second, kept.secondId = other.secondId;
        all.erase(ids[1]);
    }
    std::vector<Sector> out;
    for (auto& [id, s] : all) {
        if (s.first && s.second)
            weigh(s);
        if (s.differs() || s.copies())
            out.push_back(s);
    }
    return out;
}

std::string idText(const Id& id)
{
    return std::to_string(std::get<0>(id)) + "." + std::to_string(std::get<1>(id)) + "." +
           std::to_string(std::get<2>(id)) + "." + std::to_string(std::get<3>(id));
}

std::string join(const std::vector<std::string>& words)
{
    std::string out;
    for (const std::string& w : words)
        out += (out.empty() ? "" : ", ") + w;
    return out;
}

std::string thousands(std::size_t n)
{
    std::string digits = std::to_string(n), out;
    for (std::size_t i = 0; i < digits.size(); ++i)
        out += (i > 0 && (digits.size() - i) % 3 == 0 ? "," : "") + digits.substr(i, 1);
    return out;
}

// What the listing says beside each sector of each kind.
std::string storedWords(const Sector& s, const Stored& side, const Id& id)
{
    std::vector<std::string> parts;
    if (s.flagsDiffer)
        parts.push_back(side.flags.empty() ? "not flagged" : join(side.flags));
    if (s.sizeDiffers) {
        std::string size = std::get<3>(s.firstId) != std::get<3>(s.secondId)
                               ? "size code " + std::to_string(std::get<3>(id)) + ", "
                               : "";
        size += side.bytes < side.nominal
                    ? std::to_string(side.bytes) + " of " + std::to_string(side.nominal) + " bytes"
                    : std::to_string(side.bytes) + " bytes";
        parts.push_back(size);
    }
    return join(parts);
}

using Listed = std::map<std::string, std::vector<std::string>>; // kind -> "ID[detail]"

Listed expectedListing(const std::vector<Sector>& sectors)
{
    Listed out;
    for (const Sector& s : sectors) {
        const std::string id = idText(s.id());
        if (s.onlyFirst())
            out["only in first"].push_back(id);
        if (s.onlySecond())
            out["only in second"].push_back(id);
        if (s.storedDifferently())
            out["stored differently"].push_back(id + "[first: " + storedWords(s, *s.first, s.firstId) +
                                                "; second: " + storedWords(s, *s.second, s.secondId) + "]");
        if (s.differentBytes())
            out["different bytes"].push_back(
                id + "[" + std::to_string(s.differing) + " of " + std::to_string(s.compared) +
                " bytes differ, the first at byte " + std::to_string(s.firstDiffer) + "]");
        if (s.copies())
            out["held more than once"].push_back(
                id + "[" + (s.first ? std::to_string(s.first->copies) : "none") + " in first, " +
                (s.second ? std::to_string(s.second->copies) : "none") + " in second]");
    }
    return out;
}

// --- the listing read back ---

struct ListingTrack {
    std::string head;
    Listed kinds;
};

struct ReadListing {
    std::vector<std::string> heading; // the lines before the tracks
    std::map<int, ListingTrack> tracks;
    std::string summary;
};

ReadListing readListing(const std::string& text)
{
    ReadListing out;
    std::istringstream lines(text);
    std::string line;
    ListingTrack* track = nullptr;
    std::string* kind = nullptr; // the words of the kind being read
    std::vector<std::pair<ListingTrack*, std::string>> kinds;
    bool inSummary = false;
    while (std::getline(lines, line)) {
        if (line.rfind("track ", 0) == 0) {
            const int t = std::stoi(line.substr(6, 3));
            track = &out.tracks[t];
            track->head = line;
        } else if (line.rfind("summary: ", 0) == 0) {
            out.summary = line.substr(9);
            inSummary = true;
        } else if (inSummary && line.rfind("    ", 0) == 0) {
            out.summary += " " + line.substr(4);
        } else if (track && line.rfind("        ", 0) == 0) {
            *kind += " " + line.substr(8);
        } else if (track && line.rfind("    ", 0) == 0) {
            kinds.emplace_back(track, line.substr(4));
            kind = &kinds.back().second;
        } else if (!track) {
            out.heading.push_back(line);
        } else {
            ADD_FAILURE() << "a line of no place: " << line;
        }
    }
    // "only in first: 6.0.3.1 6.0.4.1", "stored differently: 1.0.2.1[first: a,
    // b; second: c]": each item starts at an ID.
    for (auto& [owner, words] : kinds) {
        const std::size_t colon = words.find(": ");
        std::vector<std::string>& items = owner->kinds[words.substr(0, colon)];
        std::istringstream in(words.substr(colon + 2));
        std::string word;
        while (in >> word) {
            if (std::isdigit(static_cast<unsigned char>(word[0])) &&
                (items.empty() || items.back().back() == ']' || items.back().find('[') == std::string::npos))
                items.push_back(word);
            else
                items.back() += " " + word;
        }
    }
    return out;
}

// --- the dumps ---

using testsupport::copy;
using testsupport::diskA;
using testsupport::diskF;
using testsupport::drop;
using testsupport::edited;
using testsupport::flag;
using testsupport::flip;
using testsupport::markDeleted;

struct DumpPair {
    const char* what;
    std::vector<Disk> first, second; // each file's disks
    std::vector<std::string> options = {};
    int firstDisk = 0, secondDisk = 0; // the disks the options take
    bool alike = false;                // meant to hold the same sectors alike
};

std::vector<DumpPair> dumpPairs()
{
    const Disk a = diskA(7);
    // Holes in different places: each dump lacks what the other holds.
    const Disk holed12 = edited({drop(24, 3)}),
               holed19 = edited({drop(39, 1, 9), testsupport::dropTrack(50)});
    // Flagged beside whole: a data CRC error with its bytes, a deleted mark,
    // another status, two flags on one sector; and deleted data marked by
    // either byte, which is the same flag.
    const Disk flagged =
        edited({flag(20, 4), flip(20, 4, 100, 0x01), markDeleted(20, 5, 0x10), flag(21, 6, 0x55),
                markDeleted(21, 7, 0x10), flag(21, 7, 0xB0), markDeleted(30, 1, 0x01)});
    const Disk marked = edited({flag(30, 1, 0x10), flag(20, 5, 0xA0)});
    const Edit everyThirdByte = [](Disk& d) {
        for (std::size_t k = 0; k < 256; k += 3)
            flip(23, 16, k, 0x10)(d);
    };
    const Edit biggerSizeCode = [](Disk& d) {
        testimg::Record& bigger = *testimg::findRecord(d, 27, 8);
        bigger.n = 2;
        bigger.data.resize(512, 0xE5);
    };
    const Edit otherIds = [](Disk& d) { // sector numbers 17-20 for 1-4
        for (testimg::Record& rec : d.tracks.at(61).records)
            if (rec.r <= 4)
                rec.r = static_cast<std::uint8_t>(rec.r + 16);
    };
    return {
        {"two whole dumps alike", {a}, {a}, {}, 0, 0, true},
        {"holes in different places", {holed12}, {holed19}},
        {"flagged copies beside whole ones", {flagged}, {marked}},
        // Other bytes: one byte at the end, many from the start, the boot sector.
        {"copies with different bytes",
         {a},
         {edited({flip(22, 5, 255, 0xFF), everyThirdByte, flip(0, 1, 0, 0x80)})}},
        // Stored short, with and without other bytes in what it holds; and
        // another size code, which is the same sector stored otherwise.
        {"short copies and another size code",
         {a},
         {edited({testsupport::shorten(25, 3, 200), testsupport::shorten(26, 2, 100), flip(26, 2, 50, 0x22),
                  biggerSizeCode})}},
        // Copies on one track: the first is compared, the rest only counted. A
        // first copy that differs where a later one is alike still differs.
        {"sectors held more than once",
         {edited({copy(14, 5, false), copy(14, 6, true)})},
         {edited({copy(15, 2, true), flip(15, 2, 0, 0x01)})}},
        // A whole track gone from the second, and from the first another track
        // whose sectors carry other IDs.
        {"a track gone, a track of other IDs", {edited({otherIds})}, {edited({testsupport::dropTrack(60)})}},
        // A dump of the other disk is still compared, and said to be one.
        {"Disk A beside Disk F", {a}, {diskF(8)}},
        // Files of several disks, with the disk of each named.
        {"disk 1 of a set beside disk 0 of a file", {diskF(8), holed12}, {holed19}, {"--disk=1,0"}, 1, 0},
        {"disk 1 of both", {diskF(8), flagged}, {diskF(9), marked}, {"--disk", "1"}, 1, 1},
        {"disk 0 of a file beside disk 2 of a set", {a}, {diskF(8), holed19, a}, {"--disk=0,2"}, 0, 2, true},
    };
}

struct Expected {
    std::map<int, std::vector<Sector>> tracks;
    std::size_t firstSectors = 0, secondSectors = 0, differing = 0, onlyFirst = 0, onlySecond = 0,
                storedDifferently = 0, differentBytes = 0, copies = 0;
    std::size_t tracksDiffering = 0;
};

Expected expectedOf(const Disk& a, const Disk& b)
{
    Expected e;
    for (int t = 0; t < 164; ++t) {
        e.firstSectors += sectorsOf(a, t).size();
        e.secondSectors += sectorsOf(b, t).size();
        const std::vector<Sector> sectors = compareTrack(a, b, t);
        if (sectors.empty())
            continue;
        e.tracks[t] = sectors;
        bool differs = false;
        for (const Sector& s : sectors) {
            differs = differs || s.differs();
            e.differing += s.differs();
            e.onlyFirst += s.onlyFirst();
            e.onlySecond += s.onlySecond();
            e.storedDifferently += s.storedDifferently();
            e.differentBytes += s.differentBytes();
            e.copies += s.copies();
        }
        e.tracksDiffering += differs;
    }
    return e;
}

std::string expectedSummary(const Expected& e)
{
    std::string words =
        e.differing == 0
            ? "first and second hold the same " + thousands(e.firstSectors) + " sectors, with the same bytes"
            : "first holds " + thousands(e.firstSectors) + " sectors, second " + thousands(e.secondSectors) +
                  "; " + thousands(e.differing) + (e.differing == 1 ? " differs" : " differ") + ", on " +
                  std::to_string(e.tracksDiffering) + (e.tracksDiffering == 1 ? " track" : " tracks") + ": " +
                  thousands(e.onlyFirst) + " only in first, " + thousands(e.onlySecond) +
                  " only in second, " + thousands(e.storedDifferently) + " stored differently, " +
                  thousands(e.differentBytes) + " with different bytes";
    if (e.copies > 0)
        words += "; " + thousands(e.copies) + " held more than once";
    return words;
}

// A track's first line: where it is, a dump that lacks it, and how many of
// its sectors differ and are held more than once.
std::string expectedHead(int t, const Disk& a, const Disk& b, const std::vector<Sector>& sectors)
{
    char place[40];
    std::snprintf(place, sizeof place, "track %3d (C %d H %d): ", t, t / 2, t % 2);
    std::string head = place;
    head += a.tracks.count(t) ? "" : "absent from first; ";
    head += b.tracks.count(t) ? "" : "absent from second; ";
    const auto differing =
        std::count_if(sectors.begin(), sectors.end(), [](const Sector& s) { return s.differs(); });
    const auto copies =
        std::count_if(sectors.begin(), sectors.end(), [](const Sector& s) { return s.copies(); });
    head += differing == 0
                ? std::string("no sector differs")
                : std::to_string(differing) + (differing == 1 ? " sector differs" : " sectors differ");
    return head + (copies > 0 ? "; " + std::to_string(copies) + " held more than once" : "");
}

class CompareTest : public testsupport::FolderTest {
  protected:
    RunResult info(const std::vector<std::string>& args) { return run(kInfo, args); }
};

// The table's pairs hold what they are meant to: no case passes by holding
// no difference.
TEST_F(CompareTest, EachPairDiffersAsDescribed)
{
    std::map<std::string, std::size_t> seen;
    for (const DumpPair& pair : dumpPairs()) {
        const Expected e = expectedOf(pair.first.at(static_cast<std::size_t>(pair.firstDisk)),
                                      pair.second.at(static_cast<std::size_t>(pair.secondDisk)));
        seen["only in first"] += e.onlyFirst;
        seen["only in second"] += e.onlySecond;
        seen["stored differently"] += e.storedDifferently;
        seen["different bytes"] += e.differentBytes;
        seen["held more than once"] += e.copies;
        EXPECT_EQ(e.differing == 0, pair.alike) << pair.what;
    }
    for (const auto& [kind, count] : seen)
        EXPECT_GT(count, 0u) << kind;
}

TEST_F(CompareTest, TheListingAndTheDocumentSayWhatTheStoredSectorsDo)
{
    for (const DumpPair& pair : dumpPairs()) {
        SCOPED_TRACE(pair.what);
        write("first.d88", testimg::buildImage(pair.first));
        write("second.d88", testimg::buildImage(pair.second));
        const Disk& a = pair.first.at(static_cast<std::size_t>(pair.firstDisk));
        const Disk& b = pair.second.at(static_cast<std::size_t>(pair.secondDisk));
        const Expected e = expectedOf(a, b);
        const int status = e.differing == 0 ? 0 : 4;

        std::vector<std::string> args = {"--compare"};
        args.insert(args.end(), pair.options.begin(), pair.options.end());
        args.insert(args.end(), {"first.d88", "second.d88"});
        const RunResult listing = info(args);
        EXPECT_EQ(listing.status, status) << listing.err;
        EXPECT_EQ(listing.err, "");
        EXPECT_EQ(testsupport::linesLongerThan(listing.out, 100), std::vector<std::string>{});
        const ReadListing read = readListing(listing.out);

        // Each dump named with the disk taken; a note only where the boot
        // labels are of two disks.
        const bool otherDisk =
            a.tracks.at(0).records.front().data[12] != b.tracks.at(0).records.front().data[12];
        ASSERT_GE(read.heading.size(), 3u) << listing.out;
        EXPECT_EQ(
            read.heading[0].rfind("first: disk " + std::to_string(pair.firstDisk) + " of \"first.d88\"", 0),
            0u)
            << read.heading[0];
        EXPECT_EQ(read.heading[1].rfind(
                      "second: disk " + std::to_string(pair.secondDisk) + " of \"second.d88\"", 0),
                  0u)
            << read.heading[1];
        EXPECT_EQ(read.heading.size(), otherDisk ? 4u : 3u) << listing.out;
        if (otherDisk) {
            EXPECT_EQ(read.heading[2],
                      "note: first and second are Disk A and Disk F of ZANVO: dumps of two disks");
        }

        std::set<int> listedTracks, expectedTracks;
        for (const auto& [t, track] : read.tracks)
            listedTracks.insert(t);
        for (const auto& [t, sectors] : e.tracks)
            expectedTracks.insert(t);
        EXPECT_EQ(listedTracks, expectedTracks);
        for (const auto& [t, sectors] : e.tracks) {
            SCOPED_TRACE("track " + std::to_string(t));
            if (!read.tracks.count(t))
                continue;
            EXPECT_EQ(read.tracks.at(t).kinds, expectedListing(sectors));
            EXPECT_EQ(read.tracks.at(t).head, expectedHead(t, a, b, sectors));
        }
        EXPECT_EQ(read.summary, expectedSummary(e));

        // The document, on the same pair.
        args.insert(args.begin() + 1, "--json");
        const RunResult document = info(args);
        EXPECT_EQ(document.status, status) << document.err;
        const Json doc = Json::parse(document.out);
        EXPECT_EQ(doc["version"], PROJECT_VERSION);
        EXPECT_EQ(doc["first"]["image"], "first.d88");
        EXPECT_EQ(doc["first"]["disk"], pair.firstDisk);
        EXPECT_EQ(doc["first"]["diskCount"], pair.first.size());
        EXPECT_EQ(doc["second"]["disk"], pair.secondDisk);
        EXPECT_EQ(doc["second"]["diskCount"], pair.second.size());
        EXPECT_EQ(doc["note"].is_null(), !otherDisk);
        // Which disk of the title each is, by the letter its label ends on.
        const auto boot = [](const Disk& d) {
            return d.tracks.at(0).records.front().data[12] == 'F' ? "F" : "A";
        };
        EXPECT_EQ(std::make_pair(doc["first"]["boot"], doc["second"]["boot"]),
                  std::make_pair(Json(boot(a)), Json(boot(b))));
        const Json& summary = doc["summary"];
        EXPECT_EQ(summary["firstSectors"], e.firstSectors);
        EXPECT_EQ(summary["secondSectors"], e.secondSectors);
        EXPECT_EQ(summary["differing"], e.differing);
        EXPECT_EQ(summary["tracksDiffering"], e.tracksDiffering);
        EXPECT_EQ(summary["onlyInFirst"], e.onlyFirst);
        EXPECT_EQ(summary["onlyInSecond"], e.onlySecond);
        EXPECT_EQ(summary["storedDifferently"], e.storedDifferently);
        EXPECT_EQ(summary["differentBytes"], e.differentBytes);
        EXPECT_EQ(summary["heldMoreThanOnce"], e.copies);
        EXPECT_EQ(summary["same"], e.differing == 0);
        ASSERT_EQ(doc["tracks"].size(), e.tracks.size());
        for (const Json& track : doc["tracks"]) {
            const int t = track["track"];
            SCOPED_TRACE("track " + std::to_string(t));
            ASSERT_TRUE(e.tracks.count(t));
            EXPECT_EQ(track["first"], a.tracks.count(t) ? "present" : "absent");
            EXPECT_EQ(track["second"], b.tracks.count(t) ? "present" : "absent");
            EXPECT_EQ(track["firstSectors"], sectorsOf(a, t).size());
            EXPECT_EQ(track["secondSectors"], sectorsOf(b, t).size());
            const std::vector<Sector>& sectors = e.tracks.at(t);
            ASSERT_EQ(track["sectors"].size(), sectors.size());
            for (std::size_t i = 0; i < sectors.size(); ++i) {
                const Sector& s = sectors[i];
                const Json& got = track["sectors"][i];
                SCOPED_TRACE(idText(s.id()));
                EXPECT_EQ(std::make_tuple(got["c"], got["h"], got["r"]),
                          std::make_tuple(std::get<0>(s.id()), std::get<1>(s.id()), std::get<2>(s.id())));
                EXPECT_EQ(got["onlyIn"], s.onlyFirst()    ? Json("first")
                                         : s.onlySecond() ? Json("second")
                                                          : Json());
                EXPECT_EQ(got["flagsDiffer"], s.flagsDiffer);
                EXPECT_EQ(got["sizeDiffers"], s.sizeDiffers);
                EXPECT_EQ(got["compared"], s.compared);
                EXPECT_EQ(got["differing"], s.differing);
                EXPECT_EQ(got["firstDiffering"], s.differing ? Json(s.firstDiffer) : Json());
                const std::pair<const std::optional<Stored>*, const Id*> sides[] = {{&s.first, &s.firstId},
                                                                                    {&s.second, &s.secondId}};
                for (const char* side : {"first", "second"}) {
                    const auto& [stored, id] = sides[std::string(side) == "first" ? 0 : 1];
                    if (!*stored) {
                        EXPECT_TRUE(got[side].is_null());
                        continue;
                    }
                    EXPECT_EQ(got[side]["n"], std::get<3>(*id));
                    EXPECT_EQ(got[side]["flags"], Json((*stored)->flags));
                    EXPECT_EQ(got[side]["bytes"], (*stored)->bytes);
                    EXPECT_EQ(got[side]["nominal"], (*stored)->nominal);
                    EXPECT_EQ(got[side]["storedShort"], (*stored)->bytes < (*stored)->nominal);
                    EXPECT_EQ(got[side]["copies"], (*stored)->copies);
                }
            }
        }
    }
}

// The disk selection, and what is refused: which file is no D88 image, a
// file of several disks without --disk, a disk the file does not hold, and
// wrong forms of --disk; all with the status of wrong arguments and nothing
// on standard output.
TEST_F(CompareTest, RefusalsNameTheFileAndEndWithTheStatusOfWrongArguments)
{
    const Disk a = diskA(7);
    write("a.d88", testimg::buildImage({a}));
    write("set.d88", testimg::buildImage({diskF(8), a}));
    write("notes.txt", testsupport::toBytes("Notes on the disks, not a disk.\n"));

    struct Refusal {
        std::vector<std::string> args;
        std::string err; // how standard error starts
    };
    const std::string usage = " (disks are numbered 0, 1, 2 and so on)\nusage:";
    const Refusal refusals[] = {
        {{"--compare", "a.d88", "notes.txt"}, "d88info: notes.txt: not a D88 image: "},
        {{"--compare", "notes.txt", "a.d88"}, "d88info: notes.txt: not a D88 image: "},
        {{"--compare", "--json", "a.d88", "notes.txt"}, "d88info: notes.txt: not a D88 image: "},
        {{"--compare", "a.d88", "set.d88"},
         "d88info: set.d88 holds 2 disks; say which to compare: d88info --compare --disk=0,K a.d88 set.d88 "},
        {{"--compare", "set.d88", "set.d88"},
         "d88info: set.d88 holds 2 disks and set.d88 holds 2 disks; say which to compare: d88info --compare "
         "--disk=J,K set.d88 set.d88 "},
        {{"--compare", "--disk=1", "a.d88", "set.d88"}, "d88info: a.d88 has 1 disk; there is no disk 1\n"},
        {{"--compare", "--disk=1,2", "set.d88", "set.d88"},
         "d88info: set.d88 has 2 disks; there is no disk 2\n"},
        {{"--compare", "--disk=0,", "a.d88", "a.d88"},
         "d88info: --disk needs a disk number K or two, J,K, not 0," + usage},
        {{"--compare", "--disk=-1", "a.d88", "a.d88"},
         "d88info: --disk needs a disk number K or two, J,K, not -1" + usage},
        {{"--compare", "--disk=1,2,3", "a.d88", "a.d88"},
         "d88info: --disk needs a disk number K or two, J,K, not 1,2,3" + usage},
        {{"--compare", "a.d88", "a.d88", "--disk"}, "d88info: --disk needs a disk number\nusage:"},
        {{"--compare", "a.d88"}, "d88info: --compare needs two images\nusage:"},
        {{"--compare", "a.d88", "a.d88", "a.d88"}, "d88info: too many arguments\nusage:"},
        {{"--compare", "--raw", "a.d88", "a.d88"},
         "d88info: --compare goes without --raw, --split and -o\nusage:"},
        {{"--disk=1", "set.d88"}, "d88info: --disk goes with --compare"},
        {{"--compare", "a.d88", "missing.d88"},
         "d88info: cannot open missing.d88: No such file or directory\n"},
    };
    for (const Refusal& refusal : refusals) {
        std::string line = "d88info";
        for (const std::string& arg : refusal.args)
            line += " " + arg;
        SCOPED_TRACE(line);
        const RunResult r = info(refusal.args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.substr(0, refusal.err.size()), refusal.err);
    }

    // Named, the disks are taken: disk 1 of the set is the same Disk A.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--compare", "--disk=0,1", "a.d88", "set.d88"},
          std::vector<std::string>{"--compare", "--disk", "1,0", "set.d88", "a.d88"},
          std::vector<std::string>{"--compare", "set.d88", "--disk=1", "set.d88"}}) {
        const RunResult r = info(args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(testsupport::hasLine(r.out,
                                         "summary: first and second hold the same 1,280 sectors, with the "
                                         "same bytes"))
            << r.out;
    }
    const RunResult fa = info({"--compare", "--disk=0", "set.d88", "a.d88"});
    EXPECT_EQ(fa.status, 4);
}

} // namespace
