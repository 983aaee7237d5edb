// The reading of a track, held to the records each layout stores: for every
// case the bytes and state of each sector come from the description as built
// (the bytes from a record's data to where the case says its record ends,
// what a lying field says and how much is stored), never from the reader.
// Then the same answers whatever else the image holds and whatever is asked
// first.
#include "d88/record_map.h"
#include "d88_words.h"
#include "image_builder.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <ostream>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace {

using testimg::Bytes;
using testimg::Disk;
using testimg::findRecord;

// What one sector is to give.
struct Want {
    bool missing = false;
    int bytes = -1; // how many, from its data on; -1: as many as are stored for it
    bool uncertain = false;
    d88::LyingField past = d88::LyingField::None; // what the strict walk stops at before it
    int lyingR = 0, says = 0, stored = 0;         // where, and what the field or the bytes say
    int hostR = 0, hostOffset = 0; // a record stored inside another's data: where its data starts
    int n = 1;                     // its size code
};

using Key = std::tuple<int, int, int>; // disk, track, sector number

struct Case {
    const char* what;
    std::function<std::vector<Disk>()> build;
    std::vector<std::pair<int, int>> tracks;                 // (disk, track) whose sectors 1-16 are checked
    std::function<std::map<Key, Want>(const std::vector<Disk>&)> wants; // the others give their stored data
    bool movable = true; // no table entry points into another track: tracks may be laid out anew
    // Its disk size lies, so its last track runs on to the file's end: what
    // follows the disk is part of that track.
    bool toFileEnd = false;
    std::vector<std::pair<int, int>> absent = {}; // (disk, track) that are no track at all
};

// A disk of four tracks, sectors 1-16 stored in order, 256 bytes each.
Disk plain()
{
    return testimg::formattedDisk(7, 4, 16, false);
}

std::vector<Disk> one(const std::function<void(Disk&)>& change)
{
    Disk disk = plain();
    change(disk);
    return {disk};
}

// Sectors `from`-16 of track 1 read past one lie.
void pastFrom(std::map<Key, Want>& wants, int from, d88::LyingField field, int r, int says, int stored, int track = 1)
{
    for (int s = from; s <= 16; ++s) {
        Want& want = wants[{0, track, s}];
        want.past = field, want.lyingR = r, want.says = says, want.stored = stored;
    }
}

// A 16-byte header.
Bytes header(int c, int h, int r, int n, int count, int density, int dataSize)
{
    Bytes out(16, 0);
    out[0] = static_cast<std::uint8_t>(c), out[1] = static_cast<std::uint8_t>(h);
    out[2] = static_cast<std::uint8_t>(r), out[3] = static_cast<std::uint8_t>(n);
    out[4] = static_cast<std::uint8_t>(count), out[5] = static_cast<std::uint8_t>(count >> 8);
    out[6] = static_cast<std::uint8_t>(density);
    out[14] = static_cast<std::uint8_t>(dataSize), out[15] = static_cast<std::uint8_t>(dataSize >> 8);
    return out;
}

// Garbage after sector 5's 256 bytes of track 1: `garbage` bytes of 0x11,
// `decoy` written 8 bytes into them.
void garbageAfterSector5(Disk& disk, int garbage, const Bytes& decoy = {})
{
    testimg::Record* r5 = findRecord(disk, 1, 5);
    r5->dataSize = 256;
    r5->data.resize(256 + static_cast<std::size_t>(garbage), 0x11);
    std::copy(decoy.begin(), decoy.end(), r5->data.begin() + 256 + 8);
}

std::vector<Case> cases()
{
    using LF = d88::LyingField;
    const auto none = [](const std::vector<Disk>&) { return std::map<Key, Want>{}; };
    const std::vector<std::pair<int, int>> track1 = {{0, 1}};
    return {
        {"a plain disk", [] { return one([](Disk&) {}); }, {{0, 0}, {0, 1}, {0, 3}}, none},
        {"single-density records", [] { return one([](Disk& d) {
             for (auto& rec : d.tracks[1].records)
                 rec.reserved[0] = 0x40;
         }); }, track1, none},
        {"a data size of 0 over 256 stored bytes",
         [] { return one([](Disk& d) { findRecord(d, 1, 3)->dataSize = 0; }); }, track1,
         [](const std::vector<Disk>&) {
             std::map<Key, Want> w;
             pastFrom(w, 3, LF::DataSize, 3, 0, 256); // the strict walk gives it nothing
             return w;
         }},
        {"a sector stored short: 100 bytes under a data size of 256",
         [] { return one([](Disk& d) {
             findRecord(d, 1, 3)->data.resize(100);
             findRecord(d, 1, 3)->dataSize = 256;
         }); }, track1,
         [](const std::vector<Disk>&) {
             std::map<Key, Want> w;
             pastFrom(w, 4, LF::DataSize, 3, 256, 100);
             return w;
         }},
        {"a data size that lands on a later header swallows the record between, in doubt",
         [] { return one([](Disk& d) { findRecord(d, 1, 3)->dataSize = 256 + 16 + 256; }); }, track1,
         [](const std::vector<Disk>&) {
             std::map<Key, Want> w;
             w[{0, 1, 3}].bytes = 528, w[{0, 1, 3}].uncertain = true;
             w[{0, 1, 4}].missing = true;
             return w;
         }},
        {"every sector count says 8 of 16",
         [] { return one([](Disk& d) {
             for (auto& rec : d.tracks[1].records)
                 rec.count = 8;
         }); }, track1,
         [](const std::vector<Disk>&) {
             std::map<Key, Want> w;
             pastFrom(w, 9, LF::SectorCount, 8, 8, 16);
             return w;
         }},
        {"the first record's count says 0",
         [] { return one([](Disk& d) { d.tracks[1].records.front().count = 0; }); }, track1,
         [](const std::vector<Disk>&) {
             std::map<Key, Want> w;
             pastFrom(w, 1, LF::SectorCount, 1, 0, 16);
             return w;
         }},
        {"every count says 0xFFFF", [] { return one([](Disk& d) {
             for (auto& rec : d.tracks[1].records)
                 rec.count = 0xFFFF;
         }); }, track1, none},
        {"one byte of garbage between two records", [] { return one([](Disk& d) { garbageAfterSector5(d, 1); }); },
         track1,
         [](const std::vector<Disk>&) {
             std::map<Key, Want> w;
             w[{0, 1, 5}].bytes = 256;
             pastFrom(w, 6, LF::NoRecord, 5, 0, 1);
             return w;
         }},
        {"garbage holding a header whose data sizes lead nowhere",
         [] { return one([](Disk& d) { garbageAfterSector5(d, 48, header(0, 1, 6, 1, 16, 0, 1000)); }); }, track1,
         [](const std::vector<Disk>&) {
             std::map<Key, Want> w;
             w[{0, 1, 5}].bytes = 256;
             pastFrom(w, 6, LF::NoRecord, 5, 0, 48);
             return w;
         }},
        {"garbage holding a header that is not plausible",
         [] { return one([](Disk& d) { garbageAfterSector5(d, 48, header(0, 1, 6, 1, 16, 0x77, 24)); }); }, track1,
         [](const std::vector<Disk>&) {
             std::map<Key, Want> w;
             w[{0, 1, 5}].bytes = 256;
             pastFrom(w, 6, LF::NoRecord, 5, 0, 48);
             return w;
         }},
        {"garbage after a sector whose data holds a header that reads on",
         [] { return one([](Disk& d) {
             garbageAfterSector5(d, 40);
             std::fill(findRecord(d, 1, 5)->data.begin() + 256, findRecord(d, 1, 5)->data.end(), 0);
             // 18 bytes in: a header whose claim reaches past the garbage
             // into sector 6's data, where it could be cut.
             const Bytes lookAlike = header(0x6C, 0x44, 0x32, 3, 9, 0, 1000);
             std::copy(lookAlike.begin(), lookAlike.end(), findRecord(d, 1, 5)->data.begin() + 18);
         }); }, track1,
         [](const std::vector<Disk>&) {
             std::map<Key, Want> w;
             w[{0, 1, 5}].bytes = 256;
             pastFrom(w, 6, LF::NoRecord, 5, 0, 40);
             return w;
         }},
        {"a data size that lands on a later header past an earlier lie",
         [] { return one([](Disk& d) {
             findRecord(d, 1, 2)->data.resize(100);
             findRecord(d, 1, 2)->dataSize = 256;
             findRecord(d, 1, 5)->dataSize = 256 + 16 + 256;
         }); }, track1,
         [](const std::vector<Disk>&) {
             // Cut at sector 6 or read by the data size: the same fields
             // read otherwise for the sectors found, so the data size wins
             // and sector 5 is in doubt, as where the strict walk reads it.
             std::map<Key, Want> w;
             w[{0, 1, 2}].bytes = 100;
             pastFrom(w, 3, LF::DataSize, 2, 256, 100);
             w[{0, 1, 5}].bytes = 528, w[{0, 1, 5}].uncertain = true;
             w[{0, 1, 6}].missing = true;
             return w;
         }},
        {"a short sector whose data holds a header landing on the next record",
         [] { return one([](Disk& d) {
             testimg::Record* r9 = findRecord(d, 1, 9);
             r9->data.resize(100);
             r9->dataSize = 256;
             const Bytes phantom = header(0, 1, 16, 1, 16, 0, 78); // 6 + 16 + 78 = 100
             std::copy(phantom.begin(), phantom.end(), r9->data.begin() + 6);
         }); }, track1,
         [](const std::vector<Disk>&) {
             std::map<Key, Want> w;
             // The look-alike is no whole record: its data size is not its
             // size code's, so sector 9 is not in doubt.
             pastFrom(w, 10, LF::DataSize, 9, 256, 100);
             return w;
         }},
        {"a short sector whose data holds a whole record of another sector number",
         [] { return one([](Disk& d) {
             testimg::Record* r9 = findRecord(d, 1, 9);
             r9->data.resize(16 + 16 + 128);
             r9->dataSize = 256;
             const Bytes whole = header(0, 1, 17, 0, 16, 0, 128); // ends where sector 10 begins
             std::copy(whole.begin(), whole.end(), r9->data.begin() + 16);
         }); }, track1,
         [](const std::vector<Disk>&) {
             // The reading that finds a sector more: sector 9 ends where the
             // record begins; no header stands in the bytes it gives.
             std::map<Key, Want> w;
             w[{0, 1, 9}].bytes = 16;
             Want& inside = w[{0, 1, 17}];
             inside.hostR = 9, inside.hostOffset = 32, inside.bytes = 128, inside.n = 0;
             pastFrom(w, 10, LF::DataSize, 9, 256, 16);
             inside.past = LF::DataSize, inside.lyingR = 9, inside.says = 256, inside.stored = 16;
             return w;
         }},
        {"several sectors stored short near the track's end",
         [] { return one([](Disk& d) {
             for (int r : {6, 7, 8}) {
                 findRecord(d, 1, r)->data.resize(240);
                 findRecord(d, 1, r)->dataSize = 256;
             }
         }); }, track1,
         [](const std::vector<Disk>&) {
             std::map<Key, Want> w;
             pastFrom(w, 7, LF::DataSize, 6, 256, 240);
             return w;
         }},
        {"sectors stored far short of their data sizes, among look-alike headers",
         [] { return one([](Disk& d) {
             for (int r = 1; r <= 16; r += 3) {
                 findRecord(d, 1, r)->data.resize(static_cast<std::size_t>(7 * r));
                 findRecord(d, 1, r)->dataSize = r % 2 ? 256 : 512;
             }
         }); }, track1,
         [](const std::vector<Disk>&) {
             std::map<Key, Want> w;
             pastFrom(w, 2, LF::DataSize, 1, 256, 7);
             return w;
         }},
        {"a track whose first record carries the track before's ID",
         [] { return one([](Disk& d) {
             testimg::Record& first = d.tracks[2].records.front();
             first.c = 0, first.h = 1, first.r = 17;
         }); }, {{0, 1}, {0, 2}},
         [](const std::vector<Disk>&) {
             std::map<Key, Want> w;
             w[{0, 2, 1}].missing = true; // its ID is gone
             return w;
         }},
        {"a track whose last record carries the next track's ID",
         [] { return one([](Disk& d) {
             testimg::Record& last = d.tracks[1].records.back();
             last.c = 1, last.h = 0, last.r = 16;
         }); }, {{0, 2}},
         [](const std::vector<Disk>&) { return std::map<Key, Want>{}; }},
        {"a table entry into the track before's last record",
         [] { return one([](Disk& d) {
             std::vector<testimg::Placed> places;
             testimg::buildDisk(d, &places);
             for (const auto& p : places)
                 if (p.track == 1 && p.r == 16)
                     d.trackOffsets[2] = static_cast<std::uint32_t>(p.header);
         }); }, {{0, 1}, {0, 2}},
         [](const std::vector<Disk>&) {
             std::map<Key, Want> w;
             // Its count's last record is its own sector 15.
             w[{0, 2, 16}].past = LF::SectorCount, w[{0, 2, 16}].lyingR = 15;
             w[{0, 2, 16}].says = 16, w[{0, 2, 16}].stored = 17;
             return w;
         }, false},
        {"a table entry inside the data of the track before",
         [] { return one([](Disk& d) {
             std::vector<testimg::Placed> places;
             testimg::buildDisk(d, &places);
             for (const auto& p : places)
                 if (p.track == 1 && p.r == 10)
                     d.trackOffsets[2] = static_cast<std::uint32_t>(p.header + 40);
         }); }, {{0, 1}, {0, 2}},
         [](const std::vector<Disk>&) {
             std::map<Key, Want> w;
             pastFrom(w, 1, LF::NoRecord, 0, 0, 256 + 16 - 40, 2); // up to the next header
             return w;
         }, false},
        {"a disk size that ends inside a track's records",
         [] { return one([](Disk& d) {
             d.diskSize = static_cast<std::uint32_t>(testimg::trackStart(d, 2) + 600);
         }); }, {{0, 1}, {0, 2}, {0, 3}},
         [](const std::vector<Disk>&) {
             std::map<Key, Want> w;
             // Track 3 starts past the size: the strict reader has no track 3.
             pastFrom(w, 1, LF::DiskSize, 0, 0, 0, 3);
             return w;
         }, false, true},
        {"two disks: the first's last track ends where the disk does",
         [] { return std::vector<Disk>{plain(), testimg::formattedDisk(8, 4, 16, false)}; },
         {{0, 3}, {1, 0}, {1, 3}}, none},
        {"a table entry equal to an honest disk size names no track",
         [] {
             Disk first = plain();
             first.trackOffsets[5] = static_cast<std::uint32_t>(testimg::buildDisk(first).size());
             // Were the entry a track, the next disk's track 5 would answer for it.
             return std::vector<Disk>{first, testimg::formattedDisk(8, 8, 16, false)};
         },
         {{0, 3}, {0, 5}, {1, 0}},
         [](const std::vector<Disk>&) {
             std::map<Key, Want> w;
             for (int r = 1; r <= 16; ++r)
                 w[{0, 5, r}].missing = true;
             return w;
         }, true, false, {{0, 5}}},
        {"a file that ends inside a record",
         [] { return one([](Disk& d) {
             d.tracks.erase(2), d.tracks.erase(3);
             d.tracks[1].records.resize(10);
             d.tracks[1].records.back().data.resize(100);
             d.tracks[1].records.back().dataSize = 256;
             for (auto& rec : d.tracks[1].records)
                 rec.count = 16;
         }); }, track1,
         [](const std::vector<Disk>&) {
             std::map<Key, Want> w;
             for (int r = 11; r <= 16; ++r)
                 w[{0, 1, r}].missing = true;
             return w;
         }},
    };
}

struct Built {
    Bytes bytes;
    std::vector<std::size_t> diskAt;
    std::vector<std::vector<testimg::Placed>> places;
};

Built build(const std::vector<Disk>& disks)
{
    Built built;
    for (const Disk& disk : disks) {
        built.diskAt.push_back(built.bytes.size());
        built.places.emplace_back();
        const Bytes bytes = testimg::buildDisk(disk, &built.places.back());
        built.bytes.insert(built.bytes.end(), bytes.begin(), bytes.end());
    }
    return built;
}

// What the map gives for one sector: its bytes and every word said of it.
struct Answer {
    bool found = false;
    Bytes bytes;
    bool uncertain = false;
    d88::Lie lie;
    std::string words;
    bool operator==(const Answer& other) const
    {
        return found == other.found && bytes == other.bytes && words == other.words;
    }
};

void PrintTo(const Answer& answer, std::ostream* out)
{
    *out << (answer.found ? "found, " + std::to_string(answer.bytes.size()) + " bytes: " + answer.words : "not found");
}

Answer ask(d88::RecordMap& map, int disk, int track, int r, int n = 1)
{
    Answer answer;
    static Bytes buffer(0x10000);
    d88::Record record;
    std::int32_t copied = 0;
    if (map.loadDisk(disk).failed() ||
        !map.findSector({track, d88::SectorId{std::uint8_t(track / 2), std::uint8_t(track % 2), std::uint8_t(r),
                                              std::uint8_t(n)}},
                        buffer, &record, &copied)
             .done())
        return answer;
    answer.found = true;
    answer.bytes.assign(buffer.begin(), buffer.begin() + copied);
    answer.uncertain = record.uncertain;
    answer.lie = record.pastLie;
    answer.words = (record.uncertain ? "uncertain; " : "") + zanvo::lieWords(record.pastLie) + "; " +
                   std::to_string(record.available) + " of " +
                   std::to_string(d88::nominalSectorSize(record.header.id.n));
    return answer;
}

std::string name(const Key& key)
{
    return "disk " + std::to_string(std::get<0>(key)) + " track " + std::to_string(std::get<1>(key)) + " sector " +
           std::to_string(std::get<2>(key));
}

// Every checked sector of a case, with the bytes its description stores.
std::map<Key, std::pair<Want, Bytes>> expected(const Case& c, const std::vector<Disk>& disks, const Built& built)
{
    std::map<Key, Want> wants = c.wants(disks);
    std::map<Key, std::pair<Want, Bytes>> out;
    for (const auto& [disk, track] : c.tracks)
        for (int r = 1; r <= 255; ++r) {
            const Key key{disk, track, r};
            if (r > 16 && !wants.count(key))
                continue;
            const Want want = wants.count(key) ? wants[key] : Want{};
            const int host = want.hostR ? want.hostR : r;
            Bytes bytes;
            const testimg::Record* record = findRecord(disks[static_cast<std::size_t>(disk)], track, host);
            for (const testimg::Placed& p : built.places[static_cast<std::size_t>(disk)])
                if (!want.missing && p.track == track && p.r == host && record) {
                    const std::size_t from = built.diskAt[static_cast<std::size_t>(disk)] + p.header + 16 +
                                             static_cast<std::size_t>(want.hostOffset);
                    const std::size_t length = want.bytes >= 0 ? static_cast<std::size_t>(want.bytes)
                                                               : std::min(record->data.size(), built.bytes.size() - from);
                    bytes.assign(built.bytes.begin() + static_cast<std::ptrdiff_t>(from),
                                 built.bytes.begin() + static_cast<std::ptrdiff_t>(from + length));
                    break;
                }
            out[key] = {want, bytes};
        }
    return out;
}

TEST(ReadingRule, EachSectorGivesWhatItsRecordsStore)
{
    testsupport::TempDir dir;
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.what);
        const std::vector<Disk> disks = c.build();
        const Built built = build(disks);
        testimg::writeFile((dir / "case.d88").string(), built.bytes);
        d88::D88Image image;
        ASSERT_TRUE(image.open((dir / "case.d88").string().c_str()));
        d88::RecordMap map(image);
        for (const auto& [key, wanted] : expected(c, disks, built)) {
            SCOPED_TRACE(name(key));
            const auto& [want, bytes] = wanted;
            const Answer got = ask(map, std::get<0>(key), std::get<1>(key), std::get<2>(key), want.n);
            ASSERT_EQ(got.found, !want.missing);
            if (want.missing)
                continue;
            EXPECT_TRUE(testsupport::sameBytes(bytes, got.bytes));
            EXPECT_EQ(got.uncertain, want.uncertain);
            EXPECT_EQ(got.lie.field, want.past) << got.words;
            if (want.past != d88::LyingField::None && want.past != d88::LyingField::DiskSize) {
                EXPECT_EQ(got.lie.id.r, want.lyingR);
                EXPECT_EQ(got.lie.says, want.says);
                EXPECT_EQ(got.lie.stored, want.stored);
            }
        }
        for (const auto& [disk, track] : c.absent) {
            ASSERT_TRUE(map.loadDisk(disk).done());
            EXPECT_NE(map.disk().standing[track], d88::TrackStanding::Present) << "track " << track;
        }
    }
}

// A track whose extent holds more candidate headers than a reading weighs
// is read up to where they run out, says so, and keeps what it read.
TEST(ReadingRule, ATrackPastTheCapKeepsWhatItRead)
{
    Disk disk = plain();
    testimg::Record empty;
    empty.c = 0xFE, empty.count = 0xFFFF;
    // Each empty record's bytes hold a dozen candidates, shifted copies of
    // its header among them.
    for (int i = 0; i < d88::RecordMap::kMaxCandidates / 6; ++i) {
        empty.r = static_cast<std::uint8_t>(1 + i % 255);
        disk.tracks[1].records.push_back(empty);
    }
    const Built built = build({disk});
    testsupport::TempDir dir;
    testimg::writeFile((dir / "cap.d88").string(), built.bytes);
    d88::D88Image image;
    ASSERT_TRUE(image.open((dir / "cap.d88").string().c_str()));
    d88::RecordMap map(image);
    ASSERT_TRUE(map.loadDisk(0).done());
    d88::TrackFacts facts;
    ASSERT_TRUE(map.track(1, &facts).done());
    EXPECT_TRUE(facts.cut);
    EXPECT_LT(facts.end, static_cast<std::int64_t>(testimg::trackStart(disk, 2)));
    const Case whole{"", {}, {{0, 1}, {0, 2}}, [](const std::vector<Disk>&) { return std::map<Key, Want>{}; }};
    for (const auto& [key, wanted] : expected(whole, {disk}, built)) {
        SCOPED_TRACE(name(key));
        const Answer got = ask(map, std::get<0>(key), std::get<1>(key), std::get<2>(key));
        ASSERT_TRUE(got.found);
        EXPECT_TRUE(testsupport::sameBytes(wanted.second, got.bytes));
    }
}

// A track of junk: 96 KiB of records whose fields are anything a header's
// can be (most of them plausible, data sizes honest or not), and whose data
// is random bytes, among them headers' look-alikes.
testimg::Track junkTrack(unsigned seed)
{
    std::mt19937 random(seed);
    const auto any = [&](int below) { return static_cast<int>(random() % static_cast<unsigned>(below)); };
    testimg::Track track;
    for (std::size_t bytes = 0; bytes < 96 * 1024;) {
        testimg::Record rec;
        rec.c = std::uint8_t(any(256)), rec.h = std::uint8_t(any(256)), rec.r = std::uint8_t(any(256));
        rec.n = std::uint8_t(any(4));
        rec.count = std::uint16_t(any(3) == 0 ? any(65536) : 1 + any(30));
        rec.reserved[0] = any(8) == 0 ? 0x40 : 0;
        rec.data.resize(static_cast<std::size_t>(any(1100)));
        for (auto& b : rec.data)
            b = std::uint8_t(any(5) == 0 ? 0 : any(256));
        if (any(4) == 0)
            rec.dataSize = std::uint16_t(any(2048));
        bytes += 16 + rec.data.size();
        track.records.push_back(rec);
    }
    return track;
}

// The bytes of `disk` with its tracks laid out in `order`: each track's
// bytes, from its table entry to the next track's, moved whole.
Bytes layOut(const Disk& disk, const std::vector<int>& order)
{
    const Bytes built = testimg::buildDisk(disk);
    std::map<std::size_t, int> byStart;
    for (const auto& [t, track] : disk.tracks)
        byStart[testimg::trackStart(disk, t)] = t;
    std::map<int, std::pair<std::size_t, std::size_t>> blocks;
    for (auto it = byStart.begin(); it != byStart.end(); ++it)
        blocks[it->second] = {it->first, std::next(it) == byStart.end() ? built.size() - disk.tail.size()
                                                                         : std::next(it)->first};
    Bytes out(built.begin(), built.begin() + 0x2B0);
    for (const int t : order) {
        const auto [from, to] = blocks.at(t);
        for (int i = 0; i < 4; ++i)
            out[static_cast<std::size_t>(0x20 + 4 * t + i)] = std::uint8_t(out.size() >> (8 * i));
        out.insert(out.end(), built.begin() + static_cast<std::ptrdiff_t>(from),
                   built.begin() + static_cast<std::ptrdiff_t>(to));
    }
    for (int i = 0; i < 4; ++i)
        out[static_cast<std::size_t>(0x1C + i)] = std::uint8_t(out.size() >> (8 * i));
    return out;
}

Disk junkDisk(unsigned seed)
{
    Disk disk;
    for (int t = 0; t < 6; ++t)
        disk.tracks[t] = junkTrack(seed + static_cast<unsigned>(t));
    return disk;
}

// The answers for a case's sectors from an image, its disks from `firstDisk`
// on; in reverse order, after asking of every other disk, when `roundabout`.
std::map<Key, Answer> answers(const Case& c, const std::vector<Key>& keys, const Bytes& image, int firstDisk,
                              bool roundabout, const testsupport::TempDir& dir)
{
    testimg::writeFile((dir / "variant.d88").string(), image);
    d88::D88Image reader;
    EXPECT_TRUE(reader.open((dir / "variant.d88").string().c_str()));
    d88::RecordMap map(reader);
    std::map<Key, Answer> out;
    std::vector<Key> order = keys;
    if (roundabout) {
        std::reverse(order.begin(), order.end());
        for (int disk = 0; disk < reader.diskCount(); ++disk)
            for (int t = 0; t < 8; ++t)
                ask(map, disk, t, 1 + t);
    }
    for (const Key& key : order)
        out[key] = ask(map, std::get<0>(key) + firstDisk, std::get<1>(key), std::get<2>(key));
    (void)c;
    return out;
}

TEST(ReadingRule, ATrackGivesTheSameWhateverElseTheImageHolds)
{
    testsupport::TempDir dir;
    int variants = 0;
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.what);
        const std::vector<Disk> disks = c.build();
        std::vector<Key> keys;
        for (const auto& [disk, track] : c.tracks)
            for (int r = 1; r <= 16; ++r)
                keys.emplace_back(disk, track, r);
        const std::map<Key, Answer> alone = answers(c, keys, build(disks).bytes, 0, false, dir);
        const auto same = [&](const char* how, const Bytes& image, int firstDisk, bool roundabout) {
            SCOPED_TRACE(how);
            const std::map<Key, Answer> got = answers(c, keys, image, firstDisk, roundabout, dir);
            for (const Key& key : keys)
                EXPECT_EQ(got.at(key), alone.at(key)) << name(key) << ": " << got.at(key).words << " | "
                                                      << alone.at(key).words;
            ++variants;
        };
        std::vector<Disk> before = disks, after = disks;
        before.insert(before.begin(), junkDisk(11));
        after.push_back(junkDisk(12));
        same("a junk disk before it", build(before).bytes, 1, false);
        if (!c.toFileEnd)
            same("a junk disk after it, asked in another order", build(after).bytes, 0, true);
        else
            same("asked in another order", build(disks).bytes, 0, true);
        if (!c.movable || disks.size() != 1)
            continue;
        Disk withJunk = disks.front();
        withJunk.tracks[40] = junkTrack(13);
        std::vector<int> order{40};
        for (const auto& [t, track] : disks.front().tracks)
            order.push_back(t);
        same("a junk track laid out first", layOut(withJunk, order), 0, false);
        std::reverse(order.begin(), order.end());
        same("the tracks laid out in reverse, asked in another order", layOut(withJunk, order), 0, true);
    }
    EXPECT_GT(variants, 60);
}

} // namespace
