// The title's knowledge on its own: recognition by the boot label, and the
// warning texts a recovered run gives, built from notes written here.
#include "image_builder.h"
#include "recognition.h"
#include "recovery_text.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

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
        EXPECT_EQ(zanvo::recogniseDisk(bootWith(label).data()), kind);
        EXPECT_EQ(zanvo::recogniseDisk(bootWith(label, 0).data()),
                  DiskKind::Unknown); // byte 0 is not the place
        EXPECT_EQ(zanvo::recogniseDisk(bootWith(label, 2).data()), DiskKind::Unknown);
        for (int i = 0; i < 16; ++i) {
            for (const int flip : {0x01, 0x20, 0x80, 0xFF}) {
                auto changed = bootWith(label);
                changed[1 + static_cast<std::size_t>(i)] ^= static_cast<std::uint8_t>(flip);
                EXPECT_EQ(zanvo::recogniseDisk(changed.data()), DiskKind::Unknown)
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
    struct Case {
        const char* what;
        std::optional<std::array<std::uint8_t, 16>> label; // none: no boot sector at all
        int bootDataSize;
        bool bootOnSecondDisk;
        DiskKind expected;
    };
    const Case cases[] = {
        {"Disk A", testimg::kDiskALabel, 256, false, DiskKind::DiskA},
        {"Disk F", testimg::kDiskFLabel, 256, false, DiskKind::DiskF},
        {"boot sector stored short of the label's end", testimg::kDiskALabel, 16, false, DiskKind::Unknown},
        {"boot sector stored just long enough", testimg::kDiskFLabel, 17, false, DiskKind::DiskF},
        {"no boot sector", std::nullopt, 256, false, DiskKind::Unknown},
        {"the label only on the second disk", testimg::kDiskALabel, 256, true, DiskKind::Unknown},
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
        int error = -1;
        EXPECT_EQ(zanvo::recogniseFirstDisk(image, boot, &error), c.expected);
        EXPECT_EQ(error, 0);
        EXPECT_EQ(image.selectedDisk(), 0);
        // Past what the boot sector held, nothing is left from before.
        const auto stored = static_cast<std::size_t>(c.label ? c.bootDataSize : 0);
        EXPECT_TRUE(std::all_of(boot.begin() + static_cast<std::ptrdiff_t>(stored), boot.end(),
                                [](std::uint8_t b) { return b == 0; }));
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

TEST(RecoveryText, RangesJoinNeighboursOnOneTrackOnly)
{
    zanvo::RunRecovery run = runOf(19, 10, 11); // track 19 sectors 10-16, track 20 sectors 1-4
    for (int i : {0, 1, 2, 6, 7, 9})
        setFate(run, i, zanvo::SectorFate::Missing);
    setFate(run, 4, zanvo::SectorFate::Short);
    zanvo::Text text;
    zanvo::describeHoles("ZANVO06", run, &text);
    EXPECT_STREQ(text.c_str(),
                 "ZANVO06: 6 of 11 sectors missing (track 19 sectors 10-12, track 19 sector 16, "
                 "track 20 sector 1, track 20 sector 3), 1 stored short (track 19 sector 14); "
                 "zeros written for what is missing");

    zanvo::describeHoles("ZANVO06", runOf(19, 10, 11), &text);
    EXPECT_TRUE(text.empty());
    zanvo::describeFlags("ZANVO06", runOf(19, 10, 11), &text);
    EXPECT_TRUE(text.empty());
}

TEST(RecoveryText, AVeryLongListIsCutAndSaysSo)
{
    // Every other sector of a whole disk missing: far more ranges than fit.
    zanvo::RunRecovery run = runOf(0, 1, zanvo::kMaxRunSectors);
    for (int i = 0; i < zanvo::kMaxRunSectors; i += 2)
        setFate(run, i, zanvo::SectorFate::Missing);
    zanvo::Text text;
    zanvo::describeHoles("DISK", run, &text);
    EXPECT_EQ(text.size(), zanvo::Text::kCapacity - 1);
    EXPECT_EQ(std::strlen(text.c_str()), text.size());
    EXPECT_EQ(std::string(text.c_str()).substr(text.size() - 3), "...");
    EXPECT_EQ(std::string(text.c_str()).rfind("DISK: 640 of 1280 sectors missing (track 0 sector 1, ", 0),
              0u);
}

} // namespace
