// make-sample, the README's sample maker: its command line, and that the
// damaged sample holds exactly the damage its help and the README list, read
// back with a small parser written here.
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testsupport::Bytes;
using testsupport::RunResult;

const std::string kMaker = MAKE_SAMPLE_PATH;
const std::string kUsage = "usage: make-sample disk-a|disk-f|damaged-a|lying-a FILE";

TEST(MakeSample, CommandLine)
{
    const std::string usage = "make-sample: " + kUsage + " (--help says what each holds)\n";
    struct Case {
        std::vector<std::string> args;
        int status;
        bool helpOnStdout; // the usage line and the kinds, on standard output
        std::string err;
        bool writes; // out.d88 appears
    };
    const Case cases[] = {
        {{"--help"}, 0, true, "", false},
        {{}, 1, false, usage, false},
        {{"--help", "out.d88"}, 1, false, usage, false},
        {{"disk-b", "out.d88"}, 1, false, usage, false},
        {{"disk-a"}, 1, false, usage, false},
        {{"disk-a", "out.d88", "more"}, 1, false, usage, false},
        {{"disk-a", "no-such-folder/out.d88"},
         1,
         false,
         "make-sample: cannot write no-such-folder/out.d88: No such file or directory\n",
         false},
        {{"disk-a", "out.d88"}, 0, false, "", true},
        {{"damaged-a", "out.d88"}, 0, false, "", true},
        {{"lying-a", "out.d88"}, 0, false, "", true},
    };
    for (const Case& c : cases) {
        testsupport::TempDir dir;
        std::string shown;
        for (const std::string& arg : c.args)
            shown += " " + arg;
        SCOPED_TRACE("make-sample" + shown);
        const RunResult run = testsupport::runProgram(kMaker, c.args, dir.path());
        EXPECT_EQ(c.status, run.status);
        EXPECT_EQ(c.helpOnStdout,
                  run.out.rfind(kUsage + "\n", 0) == 0 && run.out.find("damaged-a  ") != std::string::npos)
            << run.out;
        EXPECT_EQ(c.err, run.err);
        if (!c.helpOnStdout) {
            EXPECT_TRUE(run.out.empty()) << run.out;
        }
        EXPECT_EQ(c.writes, fs::exists(dir / "out.d88"));
    }
}

// --- the damaged sample, read back ---

struct Record {
    int r, n, status;
    std::size_t size;
    bool operator==(const Record& o) const = default;
};
using Tracks = std::map<int, std::vector<Record>>; // track index -> records in file order

// One disk's tracks, by walking its track table; C and H are checked against
// the track on the way (the sample never moves a record to another track).
Tracks readTracks(const Bytes& file)
{
    Tracks tracks;
    for (int t = 0; t < 164; ++t) {
        const std::uint32_t entry = testsupport::le32(file, 0x20 + 4 * static_cast<std::size_t>(t));
        if (entry == 0)
            continue;
        auto& records = tracks[t];
        for (const testsupport::RawRecord& rec : testsupport::rawTrack(file, 0, entry)) {
            EXPECT_EQ(t / 2, rec.c) << "track " << t;
            EXPECT_EQ(t % 2, rec.h) << "track " << t;
            records.push_back({rec.r, rec.n, rec.status, rec.size});
        }
    }
    return tracks;
}

Tracks sample(const std::string& kind)
{
    testsupport::TempDir dir;
    EXPECT_EQ(0, testsupport::runProgram(kMaker, {kind, "sample.d88"}, dir.path()).status);
    return readTracks(testsupport::readFile(dir / "sample.d88").value_or(Bytes(0x2B0)));
}

Record& find(Tracks& tracks, int track, int r)
{
    auto& records = tracks.at(track);
    const auto it =
        std::find_if(records.begin(), records.end(), [&](const Record& rec) { return rec.r == r; });
    EXPECT_NE(records.end(), it) << "track " << track << " sector " << r;
    return *it;
}

TEST(MakeSample, DamagedSampleHoldsTheListedDamageAndNothingElse)
{
    Tracks expected = sample("disk-a");
    ASSERT_EQ(80u, expected.size());
    // The list in make-sample --help and in the README, applied to Disk A.
    expected.erase(19);
    auto& t12 = expected.at(12);
    t12.erase(std::find(t12.begin(), t12.end(), find(expected, 12, 3)));
    expected.at(14).push_back(find(expected, 14, 5));
    find(expected, 16, 7).n = 2;
    find(expected, 22, 9).status = 0xB0;
    find(expected, 25, 3).size = 200;

    const Tracks damaged = sample("damaged-a");
    EXPECT_EQ(expected.size(), damaged.size());
    for (const auto& [track, records] : expected) {
        SCOPED_TRACE("track " + std::to_string(track));
        ASSERT_TRUE(damaged.count(track));
        EXPECT_EQ(records, damaged.at(track));
    }
}

} // namespace
