// A valid Disk A image cut short at many lengths: within the header and the
// first records byte by byte, every 16 bytes elsewhere, and byte by byte
// around every track boundary the files touch. The tool runs in-process on
// each cut. Each output must be absent when none of its sectors survives, or
// at its full length holding every sector whose record survives (a record
// cut inside its data gives the bytes before the cut) and zeros elsewhere.
#include "cut_plans.h"
#include "driver.h"
#include "image_builder.h"
#include "support/test_support.h"
#include "cut_file.h"
#include "tool_state.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <set>

namespace {

namespace fs = std::filesystem;
using testimg::Bytes;
using testimg::Disk;

// Runs with the current folder set to `folder` and standard output and error
// sent to /dev/null, restoring both afterwards.
class QuietIn {
  public:
    explicit QuietIn(const fs::path& folder) : previous_(fs::current_path())
    {
        std::fflush(stdout);
        std::fflush(stderr);
        savedOut_ = dup(1);
        savedErr_ = dup(2);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        close(null);
        fs::current_path(folder);
    }
    ~QuietIn()
    {
        std::fflush(stdout);
        std::fflush(stderr);
        dup2(savedOut_, 1);
        dup2(savedErr_, 2);
        close(savedOut_);
        close(savedErr_);
        fs::current_path(previous_);
    }
    QuietIn(const QuietIn&) = delete;
    QuietIn& operator=(const QuietIn&) = delete;

  private:
    fs::path previous_;
    int savedOut_ = -1;
    int savedErr_ = -1;
};

// The disk as a cut at `length` leaves it: records whose header lies whole
// within the cut remain, with the data before the cut; nothing when the disk
// header is cut.
Disk survivingPart(const Disk& disk, const std::vector<testimg::Placed>& places, std::size_t length)
{
    Disk left;
    if (length < 688)
        return left;
    left = disk;
    for (const testimg::Placed& place : places) {
        if (place.end <= length)
            continue;
        auto& records = left.tracks[place.track].records;
        const auto rec = std::find_if(records.begin(), records.end(),
                                      [&](const testimg::Record& r) { return r.r == place.r; });
        if (place.header + 16 <= length)
            rec->data.resize(length - place.header - 16);
        else
            records.erase(rec);
    }
    return left;
}

TEST(Truncation, EveryCutGivesEverySurvivingSectorOrNoFile)
{
    Disk disk = testimg::formattedDisk(51, 28, 16, true);
    for (int t = 1; t < 10; ++t)
        disk.tracks.erase(t); // the files start at track 10; keep the image small
    testimg::setBootLabel(disk, testimg::kDiskALabel);
    std::vector<testimg::Placed> places;
    const Bytes full = testimg::buildDisk(disk, &places);

    std::set<std::size_t> cuts;
    for (std::size_t n = 0; n <= 688 + 2 * 272; ++n)
        cuts.insert(n);
    for (std::size_t n = 0; n <= full.size(); n += 16)
        cuts.insert(n);
    for (const testimg::Placed& place : places) {
        if (place.r != 1 && place.end != places.back().end)
            continue; // track starts and the image's end, byte by byte around them
        for (std::size_t n = place.header - std::min<std::size_t>(place.header, 20); n <= place.header + 20;
             ++n)
            cuts.insert(std::min(n, full.size()));
    }

    testsupport::TempDir dir;
    const fs::path imagePath = dir / "disk.d88";
    testimg::writeFile(imagePath.string(), full);
    std::vector<std::string> failures;
    {
        QuietIn quiet(dir.path());
        // Longest first, so one file can be cut shorter each time.
        for (auto it = cuts.rbegin(); it != cuts.rend() && failures.size() < 10; ++it) {
            const std::size_t length = *it;
            fs::resize_file(imagePath, length);
            auto state = std::make_unique<zanvo::ToolState>();
            char program[] = "zanvo-extract";
            char image[] = "disk.d88";
            char* argv[] = {program, image, nullptr};
            const int status = zanvo::runDriver(*state, 2, argv);
            state.reset();
            const std::string at = "cut at " + std::to_string(length) + ": ";
            if (status != 0)
                failures.push_back(at + "status " + std::to_string(status));

            const Disk left = survivingPart(disk, places, length);
            const testimg::Record* boot = testimg::findRecord(left, 0, 1);
            const bool recognised = boot && boot->data.size() > 16; // the label is bytes 1-16
            for (const zanvo::CutEntry* row = zanvo::diskAPlan; row->sector != 0; ++row) {
                int found = 0;
                const Bytes want =
                    testimg::expectedRecovery(left, row->track, row->sector, row->length, &found);
                const auto got = testsupport::readFile(dir / row->name);
                if (!recognised || found == 0) {
                    if (got)
                        failures.push_back(at + row->name + " should not exist");
                    continue;
                }
                const auto same = testsupport::sameBytes(want, got.value_or(Bytes{}));
                if (!same)
                    failures.push_back(at + row->name + ": " + same.message());
                fs::remove(dir / row->name);
            }
            if (testsupport::listFolder(dir.path()) != std::vector<std::string>{"disk.d88"})
                failures.push_back(at + "unexpected files in the folder");
        }
    }
    for (const std::string& failure : failures)
        ADD_FAILURE() << failure;
    EXPECT_EQ(testsupport::listFolder(dir.path()), std::vector<std::string>{"disk.d88"});
    EXPECT_GT(cuts.size(), 5000u);
}

// The one per-row operation, as the plans call it and with a skip: the file
// is the run's bytes after the first `skip`, and a run that would not fit
// the sector buffer is refused without a file.
TEST(CutFile, WritesTheBytesAfterTheSkipAndRefusesWhatTheBufferCannotHold)
{
    testsupport::TempDir dir;
    Disk disk = testimg::formattedDisk(51, 28, 16, true);
    testimg::setBootLabel(disk, testimg::kDiskALabel);
    testimg::writeFile((dir / "disk.d88").string(), testimg::buildDisk(disk));
    const Bytes run = testimg::expectedRecovery(disk, 10, 6, 1300);
    // What each call returned, as three bits of the child's status.
    const testsupport::RunResult r = testsupport::runInChild(
        [] {
            auto state = std::make_unique<zanvo::ToolState>();
            if (!state->image.open("disk.d88") || !state->map.loadDisk(0).done())
                return 8;
            state->image.fileIdentity(&state->imageIdentity);
            state->imagePath = "disk.d88";
            return (zanvo::cutFile(*state, "SKIPPED", 10, 5, 0, 6, 1, 300, 1000) ? 1 : 0) |
                   (zanvo::cutFile(*state, "TOOLONG", 10, 5, 0, 6, 1, 1, zanvo::kSectorBufferSize) ? 2 : 0) |
                   (zanvo::cutFile(*state, "NEGATIVE", 10, 5, 0, 6, 1, -1, 10) ? 4 : 0);
        },
        dir.path());
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.out, "cutting ... SKIPPED\n");
    EXPECT_TRUE(testsupport::sameBytes(Bytes(run.begin() + 300, run.end()), *testsupport::readFile(dir / "SKIPPED")));
    EXPECT_EQ(testsupport::listFolder(dir.path()), (std::vector<std::string>{"SKIPPED", "disk.d88"}));
}

} // namespace
