// The title's knowledge on its own: recognition by the boot label, the cut of
// a plan, and the warning texts a recovered run gives, built from notes
// written here.
#include "cut_report.h"
#include "file_cut.h"
#include "image_builder.h"
#include "recognition.h"
#include "support/dumps.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using testimg::Bytes;
using zanvo::DiskKind;

std::array<std::uint8_t, 256> bootWith(const std::array<std::uint8_t, 16>& label, int at = 1)
{
    std::array<std::uint8_t, 256> boot{};
    std::copy(label.begin(), label.end(), boot.begin() + at);
    return boot;
}

TEST(Recognition, EveryByteOfEitherLabelCounts)
{
    const std::pair<std::array<std::uint8_t, 16>, DiskKind> labels[] = {
        {testimg::kDiskALabel, DiskKind::DiskA},
        {testimg::kDiskFLabel, DiskKind::DiskF},
    };
    for (const auto& [label, kind] : labels) {
        EXPECT_EQ(zanvo::recogniseLabel(bootWith(label).data()), kind);
        EXPECT_EQ(zanvo::recogniseLabel(bootWith(label, 0).data()),
                  DiskKind::Unknown); // byte 0 is not the place
        EXPECT_EQ(zanvo::recogniseLabel(bootWith(label, 2).data()), DiskKind::Unknown);
        for (int i = 0; i < 16; ++i) {
            for (const int flip : {0x01, 0x20, 0x80, 0xFF}) {
                auto changed = bootWith(label);
                changed[1 + static_cast<std::size_t>(i)] ^= static_cast<std::uint8_t>(flip);
                EXPECT_EQ(zanvo::recogniseLabel(changed.data()), DiskKind::Unknown)
                    << "byte " << i << " flipped by " << flip;
            }
        }
    }
}

// The whole sequence on an image, with one boot buffer kept across images as
// a long-lived caller keeps it: what an earlier image left there must not
// make a later one recognised.
TEST(Recognition, FirstDiskOfAnImage)
{
    using zanvo::Recognition;
    struct Case {
        const char* what;
        std::optional<std::array<std::uint8_t, 16>> label; // none: no boot sector at all
        int bootDataSize;
        bool bootOnSecondDisk;
        Recognition expected;
    };
    const Case cases[] = {
        {"Disk A", testimg::kDiskALabel, 256, false, Recognition::DiskA},
        {"Disk F", testimg::kDiskFLabel, 256, false, Recognition::DiskF},
        {"boot sector stored short of the label's end", testimg::kDiskALabel, 16, false,
         Recognition::NoKnownLabel},
        {"boot sector stored just long enough", testimg::kDiskFLabel, 17, false, Recognition::DiskF},
        {"boot sector stored with no data", testimg::kDiskFLabel, 0, false, Recognition::NoBootSector},
        {"no boot sector", std::nullopt, 256, false, Recognition::NoBootSector},
        {"the label only on the second disk", testimg::kDiskALabel, 256, true, Recognition::NoKnownLabel},
    };
    testsupport::TempDir dir;
    std::array<std::uint8_t, zanvo::kBootSectorSize> boot;
    boot.fill(0xAA);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testimg::Disk labelled = testimg::formattedDisk(1, 4);
        if (c.label)
            testimg::setBootLabel(labelled, *c.label);
        else
            labelled.tracks[0].records.erase(labelled.tracks[0].records.begin());
        if (testimg::Record* rec = testimg::findRecord(labelled, 0, 1))
            rec->data.resize(static_cast<std::size_t>(c.bootDataSize));
        const std::vector<testimg::Disk> disks =
            c.bootOnSecondDisk ? std::vector{testimg::formattedDisk(2, 4), labelled} : std::vector{labelled};
        testimg::writeFile((dir / "image.d88").string(), testimg::buildImage(disks));

        d88::D88Image image;
        ASSERT_TRUE(image.open((dir / "image.d88").string().c_str()));
        d88::RecordMap map(image);
        const zanvo::Recognised recognised = zanvo::recogniseDisk(map, boot);
        EXPECT_EQ(recognised.what, c.expected);
        EXPECT_EQ(recognised.error, 0);
        EXPECT_EQ(image.selectedDisk(), 0);
        // Past what the boot sector held, nothing is left from before.
        const auto stored = static_cast<std::size_t>(c.label ? c.bootDataSize : 0);
        EXPECT_TRUE(std::all_of(boot.begin() + static_cast<std::ptrdiff_t>(stored), boot.end(),
                                [](std::uint8_t b) { return b == 0; }));
    }

    // A label decides even in a file that could not otherwise be a D88 image;
    // without one, such a file is said to be none, with the reason.
    testimg::Disk odd = testsupport::diskA(3, 4);
    odd.trackOffsets[100] = 0x10; // a stray entry into the header's fixed fields
    const std::pair<Bytes, Recognition> files[] = {
        {testimg::buildDisk(odd), Recognition::DiskA},
        {testsupport::toBytes(std::string(700, 'x')), Recognition::NotD88},
    };
    for (const auto& [bytes, expected] : files) {
        testimg::writeFile((dir / "odd.d88").string(), bytes);
        d88::D88Image image;
        ASSERT_TRUE(image.open((dir / "odd.d88").string().c_str()));
        d88::RecordMap map(image);
        const zanvo::Recognised recognised = zanvo::recogniseDisk(map, boot);
        EXPECT_EQ(recognised.what, expected);
    }
}

// A run of `count` sectors from track `track` sector `first`, 16 a track,
// with every sector whole unless `fate` says otherwise.
zanvo::RunRecovery runOf(int track, int first, int count)
{
    zanvo::RunRecovery run;
    run.count = count;
    for (int i = 0; i < count && i < zanvo::kMaxRunSectors; ++i) {
        const int n = first - 1 + i;
        run.sectors[i].track = track + n / 16;
        run.sectors[i].r = 1 + n % 16;
        run.sectors[i].fate = zanvo::SectorFate::Whole;
    }
    run.found = count;
    return run;
}

void setFate(zanvo::RunRecovery& run, int i, zanvo::SectorFate fate)
{
    run.sectors[i].fate = fate;
    run.found -= 1;
    if (fate == zanvo::SectorFate::Missing)
        ++run.missing;
    else
        ++run.stubby, ++run.found;
}

// The lines a cut of `run` gives for the file NAME.
std::vector<std::string> warnings(const zanvo::RunRecovery& run,
                                  zanvo::CutOutcome outcome = zanvo::CutOutcome::Cut)
{
    zanvo::FileCut cut;
    cut.name = "NAME";
    cut.outcome = outcome;
    cut.run = &run;
    zanvo::CutWarnings said;
    zanvo::warningsFor(cut, "WHERE", &said);
    return std::vector<std::string>(said.lines, said.lines + said.count);
}

TEST(RecoveryText, RangesJoinNeighboursOnOneTrackOnly)
{
    zanvo::RunRecovery run = runOf(19, 10, 11); // track 19 sectors 10-16, track 20 sectors 1-4
    for (int i : {0, 1, 2, 6, 7, 9})
        setFate(run, i, zanvo::SectorFate::Missing);
    setFate(run, 4, zanvo::SectorFate::Short);
    EXPECT_EQ(warnings(run),
              std::vector<std::string>{
                  "NAME: 6 of 11 sectors missing (track 19 sectors 10-12, track 19 sector 16, "
                  "track 20 sector 1, track 20 sector 3), 1 stored short (track 19 sector 14); "
                  "zeros written for what is missing"});

    EXPECT_TRUE(warnings(runOf(19, 10, 11)).empty());
    EXPECT_TRUE(warnings(run, zanvo::CutOutcome::ReadFailed).empty());
}

TEST(RecoveryText, FlagsAreToldByMeaningInTheirOrder)
{
    zanvo::RunRecovery run = runOf(10, 5, 6);
    const std::pair<int, d88::SectorFlags> flagged[] = {
        {1, d88::SectorFlags::of(0x10, 0x00)}, {2, d88::SectorFlags::of(0x00, 0xB0)},
        {3, d88::SectorFlags::of(0x00, 0x10)}, {4, d88::SectorFlags::of(0x00, 0x55)},
        {5, d88::SectorFlags::of(0x00, 0x66)},
    };
    for (const auto& [i, flags] : flagged) {
        run.sectors[i].flags = flags;
        ++run.flagged;
    }
    EXPECT_EQ(warnings(run),
              std::vector<std::string>{"NAME: 5 sectors flagged when the disk was dumped, written as stored: "
                                       "track 10 sector 6, track 10 sector 8: deleted data; "
                                       "track 10 sector 7: data CRC error; "
                                       "track 10 sector 9: controller status 0x55; "
                                       "track 10 sector 10: controller status 0x66"});
}

// A file read past fields that lied says it is complete, when it is, and
// names the fields by kind and track, leaving the detail to WHERE.
TEST(RecoveryText, LiesAreSaidInBriefAfterWhetherTheFileIsComplete)
{
    struct Lied {
        int sector;
        d88::LyingField field;
        int track;
    };
    struct Case {
        const char* name;
        std::vector<Lied> lied;
        bool holeAtEnd, flaggedAtEnd;
        std::string expected; // the line about the lies
    };
    using F = d88::LyingField;
    const Case cases[] = {
        {"one field",
         {{0, F::DataSize, 12}, {1, F::DataSize, 12}},
         false,
         false,
         "NAME: complete; 2 sectors read past a wrong data size field on track 12; WHERE"},
        {"kinds and tracks",
         {{0, F::DataSize, 12},
          {1, F::SectorCount, 16},
          {2, F::DataSize, 24},
          {3, F::SectorCount, 17},
          {4, F::SectorCount, 19}},
         false,
         false,
         "NAME: complete; 5 sectors read past wrong data size fields on tracks 12, 24 and wrong sector "
         "count fields on tracks 16-17, 19; WHERE"},
        {"three kinds",
         {{0, F::DiskSize, 0}, {1, F::DataSize, 12}, {2, F::SectorCount, 13}},
         false,
         false,
         "NAME: complete; 3 sectors read past a wrong data size field on track 12, a wrong sector count "
         "field on track 13 and a wrong disk size field; WHERE"},
        {"with a hole",
         {{0, F::DiskSize, 0}},
         true,
         false,
         "NAME: 1 sector read past a wrong disk size field; WHERE"},
        {"with a flag",
         {{0, F::DataSize, 3}},
         false,
         true,
         "NAME: 1 sector read past a wrong data size field on track 3; WHERE"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        zanvo::RunRecovery run = runOf(10, 1, 8);
        for (const Lied& l : c.lied) {
            run.sectors[l.sector].lie.field = l.field;
            run.sectors[l.sector].lie.track = l.track;
            ++run.lied;
        }
        if (c.holeAtEnd)
            setFate(run, 7, zanvo::SectorFate::Missing);
        if (c.flaggedAtEnd) {
            run.sectors[7].flags = d88::SectorFlags::of(0x00, 0xB0);
            ++run.flagged;
        }
        EXPECT_EQ(zanvo::isComplete(run), !c.holeAtEnd && !c.flaggedAtEnd);
        const std::vector<std::string> said = warnings(run);
        // The holes come first, the flags last: the lie is the line between.
        ASSERT_EQ(said.size(), 1u + c.holeAtEnd + c.flaggedAtEnd);
        EXPECT_EQ(said[c.holeAtEnd ? 1 : 0], c.expected);
    }
}

TEST(RecoveryText, AFileNotOnTheDiskSaysWhereItShouldHaveBeen)
{
    zanvo::RunRecovery one = runOf(23, 13, 1), three = runOf(23, 15, 3);
    setFate(one, 0, zanvo::SectorFate::Missing);
    for (int i = 0; i < 3; ++i)
        setFate(three, i, zanvo::SectorFate::Missing);
    EXPECT_EQ(
        warnings(one, zanvo::CutOutcome::NotOnDisk),
        std::vector<std::string>{"NAME: its sector is not on the disk (track 23 sector 13); not written"});
    EXPECT_EQ(warnings(three, zanvo::CutOutcome::NotOnDisk),
              std::vector<std::string>{"NAME: none of its 3 sectors is on the disk (track 23 sectors 15-16, "
                                       "track 24 sector 1); not written"});
}

TEST(RecoveryText, AVeryLongListIsCutAndSaysSo)
{
    // Every other sector of a whole disk missing: far more ranges than fit.
    zanvo::RunRecovery run = runOf(0, 1, zanvo::kMaxRunSectors);
    for (int i = 0; i < zanvo::kMaxRunSectors; i += 2)
        setFate(run, i, zanvo::SectorFate::Missing);
    const std::vector<std::string> said = warnings(run);
    ASSERT_EQ(said.size(), 1u);
    EXPECT_EQ(said[0].size(), zanvo::kMaxWarningLength);
    EXPECT_EQ(said[0].substr(said[0].size() - 3), "...");
    EXPECT_EQ(said[0].rfind("NAME: 640 of 1280 sectors missing (track 0 sector 1, ", 0), 0u);
}

// The one cut of a plan, as both programs' callers see it: every file in
// order, one at a time, its bytes those of the disk, zeros for what is
// missing, and what became of it.
TEST(PlanCut, EveryFileInOrderWithItsFate)
{
    testimg::Disk disk = testsupport::diskA(4);
    disk.tracks.erase(23); // ZANVO09 wholly, ZANVO08 and ZANVO10 partly
    testimg::findRecord(disk, 10, 7)->reserved[2] = 0xB0;
    testsupport::TempDir dir;
    testimg::writeFile((dir / "a.d88").string(), testimg::buildDisk(disk));
    d88::D88Image image;
    ASSERT_TRUE(image.open((dir / "a.d88").string().c_str()));
    d88::RecordMap map(image);
    std::array<std::uint8_t, zanvo::kBootSectorSize> boot;
    ASSERT_EQ(zanvo::recogniseDisk(map, boot).what, zanvo::Recognition::DiskA);

    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(zanvo::longestFile(zanvo::diskAPlan)));
    EXPECT_EQ(buffer.size(), 0x3700u);
    auto run = std::make_unique<zanvo::RunRecovery>();
    const zanvo::CutEntry* row = zanvo::diskAPlan;
    zanvo::cutPlan(map, zanvo::diskAPlan, buffer, *run, [&](const zanvo::FileCut& cut) {
        SCOPED_TRACE(row->name);
        ASSERT_NE(row->sector, 0);
        EXPECT_STREQ(cut.name, row->name);
        int found = 0;
        const Bytes expected = testimg::expectedRecovery(disk, row->track, row->sector, row->length, &found);
        EXPECT_EQ(cut.outcome, found > 0 ? zanvo::CutOutcome::Cut : zanvo::CutOutcome::NotOnDisk);
        EXPECT_EQ(cut.run->found, found);
        if (found > 0)
            EXPECT_TRUE(testsupport::sameBytes(expected, Bytes(cut.bytes.begin(), cut.bytes.end())));
        else
            EXPECT_TRUE(cut.bytes.empty());
        EXPECT_EQ(cut.run->flagged, row == zanvo::diskAPlan ? 1 : 0);
        ++row;
    });
    EXPECT_EQ(row->sector, 0); // every row, each once
}

} // namespace
