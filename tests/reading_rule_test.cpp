// The reading of a track, held to the records each layout stores: for every
// case the bytes and state of each sector come from the description as built
// (the bytes from a record's data to where the case says its record ends,
// what a lying field says and how much is stored), never from the reader.
// Then the same answers whatever else the image holds and whatever is asked
// first.
#include "d88/record_map.h"
#include "d88_words.h"
#include "image_builder.h"
#include "reading_cases.h"
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

using namespace testsupport;

using testimg::Bytes;
using testimg::Disk;
using testimg::findRecord;

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
    std::map<Key, Want> wants = c.wants;
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
    for (const Case& c : readingCases()) {
        SCOPED_TRACE(c.what);
        const std::vector<Disk>& disks = c.disks;
        const Built built = buildDisks(disks);
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
        // The extent a track's reading spans is known without reading it.
        for (const auto& [disk, track] : c.tracks) {
            ASSERT_TRUE(map.loadDisk(disk).done());
            const std::int64_t end = map.extentEnd(track);
            d88::TrackFacts facts;
            EXPECT_EQ(end, map.track(track, &facts).done() ? facts.end : -1) << "track " << track;
        }
        for (const auto& [disk, track] : c.absent) {
            ASSERT_TRUE(map.loadDisk(disk).done());
            EXPECT_NE(map.disk().standing[track], d88::TrackStanding::Present) << "track " << track;
            EXPECT_EQ(map.extentEnd(track), -1) << "track " << track;
        }
    }
}

// A track whose extent holds more candidate headers than a reading weighs
// is read up to where they run out, says so, and keeps what it read.
TEST(ReadingRule, ATrackPastTheCapKeepsWhatItRead)
{
    Disk disk = plainDisk();
    testimg::Record empty;
    empty.c = 0xFE, empty.count = 0xFFFF;
    // Each empty record's bytes hold a dozen candidates, shifted copies of
    // its header among them.
    for (int i = 0; i < d88::RecordMap::kMaxCandidates / 6; ++i) {
        empty.r = static_cast<std::uint8_t>(1 + i % 255);
        disk.tracks[1].records.push_back(empty);
    }
    const Built built = buildDisks({disk});
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
    const Case whole{"", {disk}, {{0, 1}, {0, 2}}, {}};
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
    for (const Case& c : readingCases()) {
        SCOPED_TRACE(c.what);
        const std::vector<Disk>& disks = c.disks;
        std::vector<Key> keys;
        for (const auto& [disk, track] : c.tracks)
            for (int r = 1; r <= 16; ++r)
                keys.emplace_back(disk, track, r);
        const std::map<Key, Answer> alone = answers(c, keys, buildDisks(disks).bytes, 0, false, dir);
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
        same("a junk disk before it", buildDisks(before).bytes, 1, false);
        if (!c.toFileEnd)
            same("a junk disk after it, asked in another order", buildDisks(after).bytes, 0, true);
        else
            same("asked in another order", buildDisks(disks).bytes, 0, true);
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
