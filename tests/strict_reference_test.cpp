// The record map held to the strict reader on every image the project has:
// built layouts (fields that lie, decoys, shared walks), the real samples and
// every file of the fuzzers' corpora and findings.
//
//   Never below strict: where the strict reader finds a sector in plausible
//   records (every record its walk examines up to it has a plausible header,
//   and the sector's data ends on a plausible header, at the track's end or
//   at its count's last record), the map finds it too, with the same bytes:
//   fewer only where the map reads the record as cut short, more only where
//   its data size lied.
//   Never invent: no record's bytes hold a header of its track's reading.
#include "d88/d88_image.h"
#include "d88/record_map.h"
#include "image_builder.h"
#include "lying_cases.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testimg::Bytes;

struct Checked {
    int files = 0, sectors = 0, records = 0;
};

d88::RecordHeader headerAt(const Bytes& file, std::int64_t pos)
{
    return d88::RecordHeader::parse(file.data() + pos);
}

// The sectors the strict walk of a track finds in plausible records, as
// (header position, ID), first of each ID: its walk while each record it
// examines is plausible and ends on a plausible header, at the track's end
// (or past the file's end, where the track runs to it) or its count's last
// record, read from the file's bytes.
std::vector<std::pair<std::int64_t, d88::SectorId>> strictlyPlausible(const Bytes& file, std::int64_t start,
                                                                      std::int64_t end)
{
    std::vector<std::pair<std::int64_t, d88::SectorId>> found;
    std::set<std::uint32_t> ids;
    const auto size = static_cast<std::int64_t>(file.size());
    const auto fits = [&](std::int64_t pos) { return pos + 16 <= size; };
    std::int64_t pos = start;
    for (int i = 0; i < d88::kMaxRecordsPerTrack && pos < end && fits(pos); ++i) {
        const d88::RecordHeader h = headerAt(file, pos);
        if (h.sectorCount == 0 || !h.plausible())
            break;
        const std::int64_t next = pos + 16 + h.dataSize;
        const bool last = i == h.sectorCount - 1;
        // Data that runs past the file's end ends well only where the track
        // runs to it: past the track's end it would take the next one's bytes.
        const bool endsWell = last || next == end || (end >= size && next >= size) ||
                              (next < end && fits(next) && headerAt(file, next).plausible());
        const auto byte = [](int v) { return static_cast<std::uint32_t>(v); };
        const std::uint32_t key = byte(h.id.c) | byte(h.id.h) << 8 | byte(h.id.r) << 16 | byte(h.id.n) << 24;
        if (!endsWell)
            break;
        if (ids.insert(key).second)
            found.emplace_back(pos, h.id);
        if (last)
            break;
        pos = next;
    }
    return found;
}

void checkDisk(const Bytes& file, d88::D88Image& image, d88::RecordMap& map, int disk, Checked* checked)
{
    SCOPED_TRACE("disk " + std::to_string(disk));
    ASSERT_FALSE(map.loadDisk(disk).failed());
    ASSERT_TRUE(image.selectDisk(disk));
    static Bytes strict(70000), found(70000);
    for (int t = 0; t < d88::kMaxTracks; ++t) {
        SCOPED_TRACE("track " + std::to_string(t));
        d88::TrackFacts facts;
        if (!map.track(t, &facts).done())
            continue;
        // Never invent: each record's bytes end before the next header.
        std::int64_t after = facts.start;
        ASSERT_TRUE(map.eachRecord(t,
                                   [&](const d88::Record& record, std::int32_t) {
                                       EXPECT_GE(record.headerPos, after);
                                       EXPECT_GE(record.available, 0);
                                       after = record.dataPos() + record.available + record.skipped;
                                       ++checked->records;
                                       return true;
                                   })
                        .done());
        EXPECT_LE(after, facts.end);
        // Never below strict, where the strict reader walks this track.
        const std::int32_t offset = image.trackOffset(t);
        if (offset <= 0 || offset > image.diskSize())
            continue;
        for (const auto& [pos, id] : strictlyPlausible(file, image.diskOffset(disk) + offset, facts.end)) {
            const std::int32_t want = image.readSector(t, id.c, id.h, id.r, id.n, strict.data(),
                                                       static_cast<std::int32_t>(strict.size()));
            d88::Record record;
            std::int32_t copied = 0;
            ASSERT_TRUE(map.findSector({t, id}, found, &record, &copied).done())
                << "the map misses " << int(id.c) << "." << int(id.h) << "." << int(id.r) << "." << int(id.n);
            EXPECT_EQ(record.headerPos, pos);
            const std::int32_t common = std::min(want, copied);
            ASSERT_TRUE(testsupport::sameBytes(Bytes(strict.begin(), strict.begin() + common),
                                               Bytes(found.begin(), found.begin() + common)));
            if (copied > want) {
                EXPECT_TRUE(!record.bySize && record.available > record.header.dataSize);
            } else if (copied < want) {
                EXPECT_FALSE(record.bySize);
            }
            ++checked->sectors;
        }
    }
}

void checkImage(const fs::path& path, Checked* checked)
{
    SCOPED_TRACE(path.string());
    const std::optional<Bytes> file = testsupport::readFile(path);
    ASSERT_TRUE(file);
    d88::D88Image image;
    ASSERT_TRUE(image.open(path.string().c_str()));
    d88::RecordMap map(image);
    for (int disk = 0; disk < std::min(image.diskCount(), 3); ++disk) {
        checkDisk(*file, image, map, disk, checked);
        if (::testing::Test::HasFatalFailure())
            return;
    }
    ++checked->files;
}

TEST(StrictReference, BuiltLayouts)
{
    testsupport::TempDir dir;
    testimg::Disk sizeZero = testimg::lyingDiskA(5);
    sizeZero.diskSize = 0;
    const std::size_t track20 = testimg::trackStart(testimg::formattedDisk(4), 20);
    testimg::Disk atTrack20 = testimg::formattedDisk(4), insideTrack20 = atTrack20;
    atTrack20.diskSize = static_cast<std::uint32_t>(track20);
    insideTrack20.diskSize = static_cast<std::uint32_t>(track20 + 600);
    testimg::Record decoy;
    decoy.c = 0xFE, decoy.r = 1;
    decoy.data.assign(256, 0xDE);
    std::vector<std::pair<std::string, Bytes>> images = {
        {"formatted", testimg::buildDisk(testimg::formattedDisk(1))},
        {"lying fields", testimg::buildDisk(testimg::lyingDiskA(2))},
        {"disk size 0", testimg::buildDisk(sizeZero)},
        {"disk size at track 20", testimg::buildDisk(atTrack20)},
        {"disk size inside track 20", testimg::buildDisk(insideTrack20)},
        {"decoys", testimg::buildDisk(testimg::sharedDecoyTrack(testimg::formattedDisk(3, 8), 3000))},
        {"data-carrying decoys",
         testimg::buildDisk(testimg::sharedDecoyTrack(testimg::formattedDisk(3, 8), 300, decoy))},
        {"disks sharing one walk", testimg::disksSharingOneWalk(6, 0x3000)},
        {"tracks that are each other's tails", testimg::sharedTailTracks(400)},
        {"tracks that run on into one another", testimg::longTracks(40, true)},
        {"disk headers over one run", testimg::headersOverOneRun(8, testimg::emptyRecords(500))},
        {"flagged records that each count 1", testimg::buildDisk(testimg::flaggedTrack(300))},
        {"resynchronisation bait", testimg::headersOverOneRun(4, testimg::resyncBait(3, 20))},
        {"a tiny disk of a huge layout", testimg::buildDisk(testimg::tinyDiskOfHugeLayout())},
    };
    for (const testsupport::LyingCase& c : testsupport::lyingCases())
        images.emplace_back(c.what, testimg::buildDisk(c.disk));
    Checked checked;
    for (const auto& [what, bytes] : images) {
        SCOPED_TRACE(what);
        testimg::writeFile((dir / "image.d88").string(), bytes);
        checkImage(dir / "image.d88", &checked);
        ASSERT_FALSE(::testing::Test::HasFatalFailure());
    }
    EXPECT_GT(checked.sectors, 20 * 80 * 16);
}

TEST(StrictReference, EveryRealSampleAndEveryFuzzCorpusFile)
{
    Checked checked;
    for (const char* folder :
         {REAL_IMAGES_DIR, FUZZ_CORPUS_DIR "/reader", FUZZ_CORPUS_DIR "/tool", FUZZ_CORPUS_DIR "/d88info",
          FUZZ_FINDINGS_DIR "/reader", FUZZ_FINDINGS_DIR "/tool", FUZZ_FINDINGS_DIR "/d88info"}) {
        for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
            if (!entry.is_regular_file() || entry.path().filename().string()[0] == '.')
                continue;
            checkImage(entry.path(), &checked);
            if (::testing::Test::HasFatalFailure())
                return;
        }
    }
    EXPECT_GT(checked.files, 500);
    EXPECT_GT(checked.sectors, 6 * 1280);
}

} // namespace
