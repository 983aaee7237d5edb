// A valid Disk A image cut short at many lengths: within the header and the
// first records byte by byte, every 16 bytes elsewhere, and byte by byte
// around every track boundary the files touch. The tool runs in-process on
// each cut. Each output must be absent when none of its sectors survives, or
// at its full length holding every sector whose record survives (a record
// cut inside its data gives the bytes before the cut) and zeros elsewhere;
// and standard error must first say, once, where the file ends and what it
// takes with it.
#include "cut_file.h"
#include "cut_plans.h"
#include "driver.h"
#include "image_builder.h"
#include "support/dumps.h"
#include "support/test_support.h"
#include "tool_state.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <set>

namespace {

namespace fs = std::filesystem;
using testimg::Bytes;
using testimg::Disk;

// Runs with the current folder set to `folder`, standard output sent to
// /dev/null and standard error to the file `err` (each run's words are taken
// and the file emptied by said()), restoring all three afterwards.
class QuietIn {
  public:
    QuietIn(const fs::path& folder, const fs::path& err) : previous_(fs::current_path()), err_(err)
    {
        std::fflush(stdout);
        std::fflush(stderr);
        savedOut_ = dup(1);
        savedErr_ = dup(2);
        const int null = open("/dev/null", O_WRONLY);
        const int said = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0600);
        dup2(null, 1);
        dup2(said, 2);
        close(null);
        close(said);
        fs::current_path(folder);
    }
    // What the runs wrote on standard error since the last call.
    std::string said()
    {
        std::fflush(stderr);
        const auto bytes = testsupport::readFile(err_);
        if (ftruncate(2, 0) != 0)
            ADD_FAILURE() << "cannot empty " << err_;
        return bytes ? std::string(bytes->begin(), bytes->end()) : "";
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
    fs::path err_;
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

// The line a cut of the image at `length` must start standard error with,
// from the layout: where the file ends, the track it ends inside (one whose
// first header it still holds whole, and a record of which it cuts), the
// tracks whose first header it does not hold, and the files that lack a
// whole sector.
std::string earlyEndLine(const Disk& disk, const std::vector<testimg::Placed>& places, std::size_t length)
{
    std::size_t full = 0;
    std::map<int, std::size_t> starts;
    int cut = -1;
    for (const testimg::Placed& place : places) {
        full = std::max(full, place.end);
        const auto [it, added] = starts.emplace(place.track, place.header);
        it->second = std::min(it->second, place.header);
    }
    std::vector<int> past;
    for (const auto& [track, start] : starts) {
        if (start + 16 > length)
            past.push_back(track);
        else
            for (const testimg::Placed& place : places)
                cut = place.track == track && place.end > length ? track : cut;
    }
    char at[64];
    std::snprintf(at, sizeof at, "%zu (0x%zx)", length, length);
    std::string line = "zanvo-extract: disk.d88: the file ends early, at offset " + std::string(at) + ", " +
                       std::to_string(full - length) + " bytes before the end of disk 0: ";
    if (cut >= 0)
        line += "track " + std::to_string(cut) + " is cut short" + (past.empty() ? "" : " and ");
    if (past.size() == 1)
        line += "track " + std::to_string(past[0]) + " is past it";
    else if (!past.empty()) // the last tracks, one after another
        line += "tracks " + std::to_string(past.front()) + "-" + std::to_string(past.back()) + " are past it";

    const Disk left = survivingPart(disk, places, length);
    int lacking = 0;
    std::string first;
    for (const zanvo::CutEntry* row = zanvo::diskAPlan; row->sector != 0; ++row) {
        bool lacks = false;
        for (int k = 0; k < (row->length + 255) / 256; ++k) {
            const int track = row->track + (row->sector - 1 + k) / 16, r = 1 + (row->sector - 1 + k) % 16;
            const testimg::Record* record = testimg::findRecord(left, track, r);
            lacks = lacks || !record || record->data.size() < 256;
        }
        if (lacks && lacking++ == 0)
            first = row->name;
    }
    if (lacking == 0)
        return line + "; none of the 13 files to cut lies past it\n";
    if (lacking == 1)
        return line + "; " + first + " lies partly or wholly past it\n";
    return line + "; " + std::to_string(lacking) +
           " of the 13 files to cut lie partly or wholly past it, the first " + first + "\n";
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

    testsupport::TempDir dir, said;
    const fs::path imagePath = dir / "disk.d88";
    testimg::writeFile(imagePath.string(), full);
    std::vector<std::string> failures;
    {
        QuietIn quiet(dir.path(), said / "err");
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
            const std::string err = quiet.said();
            const std::string early =
                recognised && length < full.size() ? earlyEndLine(disk, places, length) : "";
            if (err.substr(0, err.find('\n') + 1) != early &&
                !(early.empty() && err.find("ends early") == std::string::npos))
                failures.push_back(at + "standard error starts\n" + err.substr(0, err.find('\n') + 1) +
                                   "where it should start\n" + early);
            else if (!early.empty() && err.find("ends early", early.size()) != std::string::npos)
                failures.push_back(at + "the early end said twice");
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
    Disk disk = testsupport::diskA(51, 28);
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
    EXPECT_TRUE(
        testsupport::sameBytes(Bytes(run.begin() + 300, run.end()), *testsupport::readFile(dir / "SKIPPED")));
    EXPECT_EQ(testsupport::listFolder(dir.path()), (std::vector<std::string>{"SKIPPED", "disk.d88"}));
}

} // namespace
