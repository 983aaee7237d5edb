// Disk A images whose record fields lie (support/lying_cases.h): every
// sector whose bytes the image holds is cut and said to have been read past
// the field that lied, and d88info reads the same records: its map agrees
// with the recovery on every sector of every file.
#include "cut_plans.h"
#include "file_cut.h"
#include "lying_cases.h"
#include "report.h"
#include "sector_mark.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using testimg::Bytes;

TEST(LyingFields, EverySectorTheImageHoldsIsCutAndTheLieIsNamed)
{
    for (const testsupport::LyingCase& c : testsupport::lyingCases()) {
        SCOPED_TRACE(c.what);
        testsupport::TempDir dir;
        testimg::writeFile((dir / "disk.d88").string(), testimg::buildDisk(c.disk));
        const testsupport::RunResult r =
            testsupport::runProgram(ZANVO_EXTRACT_PATH, {"disk.d88"}, dir.path());
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, c.warnings);
        std::string cutting;
        for (const zanvo::CutEntry* row = zanvo::diskAPlan; row->sector != 0; ++row) {
            cutting += std::string("cutting ... ") + row->name + "\n";
            const std::optional<Bytes> file = testsupport::readFile(dir / row->name);
            ASSERT_TRUE(file) << row->name;
            EXPECT_TRUE(testsupport::sameBytes(
                testimg::expectedRecovery(c.disk, row->track, row->sector, row->length), *file))
                << row->name;
        }
        EXPECT_EQ(r.out.substr(r.out.find('\n') + 1), cutting);

        // d88info takes each of them for a D88 image, with a track's records
        // counted as the track holds them.
        const testsupport::RunResult info = testsupport::runProgram(D88INFO_PATH, {"disk.d88"}, dir.path());
        EXPECT_EQ(info.status, 0) << info.err;
        EXPECT_NE(info.out.find("  records:    "), std::string::npos);
        EXPECT_EQ(info.out.find("records:    16 a track on 80 tracks\n") != std::string::npos,
                  c.disk.tracks.at(12).records.size() == 16)
            << info.out;
    }
}

// A dry run says of each file what the cut's warning says of it, as what
// would be: as many sectors would be read past a field that lied, and that
// field named, and nothing of the kind for a file the cut read as the
// fields say.
TEST(LyingFields, ADryRunSaysWhichSectorsWouldBeReadPastWhichField)
{
    for (const testsupport::LyingCase& c : testsupport::lyingCases()) {
        SCOPED_TRACE(c.what);
        testsupport::TempDir dir;
        testimg::writeFile((dir / "disk.d88").string(), testimg::buildDisk(c.disk));
        const testsupport::RunResult r =
            testsupport::runProgram(ZANVO_EXTRACT_PATH, {"-n", "disk.d88"}, dir.path());
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(testsupport::listFolder(dir.path()), std::vector<std::string>{"disk.d88"});
        for (const zanvo::CutEntry* row = zanvo::diskAPlan; row->sector != 0; ++row) {
            // The cut's warning: "NAME: [complete; ]N sector(s) read past a
            // wrong KIND field on ...".
            const std::string opener = std::string("warning: ") + row->name + ": ";
            std::size_t warned = c.warnings.find(opener), past = std::string::npos;
            for (; warned != std::string::npos; warned = c.warnings.find(opener, warned + 1)) {
                past = c.warnings.find(" read past a wrong ", warned);
                if (past < c.warnings.find('\n', warned))
                    break;
            }
            const std::size_t line = r.out.find(std::string("would cut ") + row->name + " (");
            ASSERT_NE(line, std::string::npos) << row->name;
            const std::string said = r.out.substr(line, r.out.find('\n', line) - line);
            if (warned == std::string::npos) {
                EXPECT_EQ(said.find("read past"), std::string::npos) << said;
                continue;
            }
            // "N sector(s)", the two words before.
            const std::size_t count = c.warnings.rfind(' ', c.warnings.rfind(' ', past - 1) - 1) + 1;
            const std::string sectors = c.warnings.substr(count, past - count);
            const std::size_t kind = past + std::string(" read past a wrong ").size();
            const std::string field = c.warnings.substr(kind, c.warnings.find(" field", kind) - kind);
            EXPECT_NE(said.find("; " + sectors + " would be read past a field that lied: "),
                      std::string::npos)
                << said;
            EXPECT_NE(said.find("the " + field + " field"), std::string::npos) << said;
        }
    }
}

// What the map shows for a sector, as a class the recovery can be held to.
char classOf(char mark)
{
    if (std::strchr(".x0123456789+", mark))
        return '.';
    return mark;
}

TEST(LyingFields, D88infosMapAgreesWithTheRecoveryOnEverySector)
{
    for (const testsupport::LyingCase& c : testsupport::lyingCases()) {
        SCOPED_TRACE(c.what);
        testsupport::TempDir dir;
        testimg::writeFile((dir / "disk.d88").string(), testimg::buildDisk(c.disk));
        d88::D88Image image;
        ASSERT_TRUE(image.open((dir / "disk.d88").string().c_str()));

        d88::RecordMap map(image);
        auto facts = std::make_unique<d88info::DiskFacts>();
        int error = 0;
        ASSERT_EQ(d88info::gatherDisk(map, 0, facts.get(), &error), d88info::Gathering::Whole);
        std::vector<d88info::MapRow> rows;
        ASSERT_EQ(d88info::mapRows(map, *facts, &rows), 0);

        std::vector<std::uint8_t> buffer(static_cast<std::size_t>(zanvo::longestFile(zanvo::diskAPlan)));
        auto run = std::make_unique<zanvo::RunRecovery>();
        int sectors = 0;
        zanvo::cutPlan(map, zanvo::diskAPlan, buffer, *run, [&](const zanvo::FileCut& cut) {
            for (int i = 0; i < cut.run->count; ++i) {
                const zanvo::SectorNote& note = cut.run->sectors[i];
                const std::string& marks = rows.at(static_cast<std::size_t>(note.track)).marks;
                const std::size_t column = static_cast<std::size_t>(note.r - facts->lowR);
                const char mark = column < marks.size() ? marks[column] : '.';
                EXPECT_EQ(classOf(mark), testsupport::markFor(note))
                    << cut.name << ": track " << note.track << " sector " << note.r;
                ++sectors;
            }
        });
        EXPECT_EQ(sectors, 276); // the 13 files' sectors
    }
}

// What gathering a disk counts (tracks' shared records included) and what its
// map shows, drawn with `cells`.
std::vector<std::int64_t> seen(d88::RecordMap& map, const d88info::DiskFacts& d, d88info::SharedCells* cells)
{
    std::vector<std::int64_t> out(std::begin(d.sizeCodes), std::end(d.sizeCodes));
    out.insert(out.end(), std::begin(d.flags), std::end(d.flags));
    out.insert(out.end(), std::begin(d.otherStatuses), std::end(d.otherStatuses));
    out.insert(out.end(), {d.stubby, d.uncertain, d.pastLies, d.sizeLies, d.noRecordBytes, d.countLies,
                           d.noRecordLies, d.diskSizeLies, d.cutTracks, d.largestTrackBytes, d.lowR, d.highR,
                           d.commonSizeCode, d.bootSizeCode});
    for (const d88info::TrackInfo& t : d.tracks)
        out.push_back(t.shared);
    std::vector<d88info::MapRow> rows;
    EXPECT_EQ(d88info::mapRows(map, d, &rows, cells), 0);
    for (const d88info::MapRow& row : rows) {
        out.push_back(row.track);
        out.insert(out.end(), row.marks.begin(), row.marks.end());
    }
    return out;
}

// Disks 0, 2 and 4 over one run of a case's records count and map what each
// reads alone, whichever disk walked the records first. Disks 0 and 2 start
// track 0 on the first record and track 1 (sharing track 0's) on the second.
TEST(LyingFields, DisksOverOneRunCountWhatEachReadsAlone)
{
    // Beyond the lying cases, size codes 3, 3, 2: sector 1 is of another
    // size than the boot sector's, and disk 4, which reads only the last two,
    // has a common size code (2, the lower on a tie) other than disk 2's (3).
    std::vector<testsupport::LyingCase> cases = testsupport::lyingCases();
    testsupport::LyingCase& sizes = cases.emplace_back(testsupport::LyingCase{"size codes 3, 3, 2", {}, ""});
    for (const std::uint8_t n : {std::uint8_t{3}, std::uint8_t{3}, std::uint8_t{2}}) {
        const auto r = static_cast<std::uint8_t>(sizes.disk.tracks[0].records.size() + 1);
        sizes.disk.tracks[0].records.push_back({0, 0, r, n, {}, {}, {}, testimg::Bytes(128U << n, r)});
    }
    constexpr std::size_t kDisks = 6, kHeader = 0x2B0, kRunStart = kDisks * kHeader;
    for (const testsupport::LyingCase& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes disk = testimg::buildDisk(c.disk);
        const Bytes records(disk.begin() + static_cast<std::ptrdiff_t>(testimg::trackStart(c.disk, 0)),
                            disk.end());
        Bytes bytes = testimg::headersOverOneRun(static_cast<int>(kDisks), records);
        const auto second = static_cast<std::size_t>(d88::kSectorHeaderSize +
                                                     d88::RecordHeader::parse(records.data()).dataSize);
        // Tracks 1-163 of disks 0, 2 and 4, and disk 4's track 0, start on the second record.
        for (std::size_t t = 0; t < d88::kMaxTracks; ++t)
            for (const std::size_t base : {0 * kHeader, 2 * kHeader, 4 * kHeader})
                for (std::size_t i = 0; i < 4 && (t > 0 || base > 2 * kHeader); ++i)
                    bytes[base + 0x20 + 4 * t + i] =
                        static_cast<std::uint8_t>((kRunStart + second - base) >> (8 * i));
        testsupport::TempDir dir;
        testimg::writeFile((dir / "disks.d88").string(), bytes);
        d88::D88Image image;
        ASSERT_TRUE(image.open((dir / "disks.d88").string().c_str()));
        d88::RecordMap map(image);
        d88info::GatheredImage gathered;
        ASSERT_EQ(d88info::gatherImage(map, "disks.d88", &gathered), 0);
        ASSERT_GE(gathered.disks.size(), kDisks);
        EXPECT_GT(gathered.disks[0]->tracks[1].shared, 0);
        d88info::SharedCells shared; // the map drawn as the document draws it, disk after disk
        for (const int d : {0, 2, 4}) {
            auto alone = std::make_unique<d88info::DiskFacts>();
            int error = 0;
            ASSERT_EQ(d88info::gatherDisk(map, d, alone.get(), &error), d88info::Gathering::Whole);
            EXPECT_EQ(seen(map, *gathered.disks[static_cast<std::size_t>(d)], &shared),
                      seen(map, *alone, nullptr))
                << "disk " << d;
        }
        EXPECT_EQ(std::pair(gathered.disks[2]->tracks[1].otherDisk, gathered.disks[4]->tracks[0].otherDisk),
                  std::pair(0, 0));
    }
}

} // namespace
