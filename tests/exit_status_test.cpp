// The exit statuses of zanvo-extract and d88info, from one list: each status
// with the runs of either program that must end with it, and for d88info's
// wrong arguments the start of what it says. Scripts test these
// numbers, so both programs are held to the same meaning of each.
#include "image_builder.h"
#include "support/dumps.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testsupport::RunOptions;
using testsupport::RunResult;

const std::string kTool = ZANVO_EXTRACT_PATH;
const std::string kInfo = D88INFO_PATH;

struct StatusRun {
    int status;
    const std::string* program;
    std::vector<std::string> args;
    // How standard error starts. When given, standard output stays empty;
    // when not, a failure must still say something.
    std::string err = "";
    const char* stdoutTo = nullptr; // a file for standard output; captured when null
};

const std::string kIndexHelp = " (disks are numbered 0, 1, 2 and so on)\nusage:";

const StatusRun kRuns[] = {
    // 0: done.
    {0, &kTool, {"disk-a.d88"}},
    {0, &kTool, {"-n", "damaged.d88"}},
    {0, &kTool, {"damaged.d88"}}, // files with holes are still files cut
    {0, &kTool, {"notes.txt"}},   // not an image it knows: left alone
    {0, &kTool, {"--help"}},
    {0, &kTool, {"-h"}},
    {0, &kTool, {"short.d88"}},                       // a file that ends early: a damaged disk
    {0, &kTool, {"-n", "-C", "/proc", "disk-a.d88"}}, // a dry run says a cut would write nothing there
    {0, &kInfo, {"disk-a.d88"}},
    {0, &kInfo, {"--json", "set.d88"}},
    {0, &kInfo, {"--raw", "disk-a.d88", "0", "-o", "out.img"}},
    {0, &kInfo, {"--help"}},
    {0, &kInfo, {"--compare", "disk-a.d88", "disk-a.d88"}},
    {0, &kInfo, {"--compare", "--json", "--disk=1,0", "set.d88", "disk-a.d88"}},
    // 1: wrong arguments (a disk the file does not hold among them), or the
    // image cannot be opened; for d88info also no D88 image.
    {1, &kTool, {}},
    {1, &kTool, {"disk-a.d88", "set.d88"}},
    {1, &kTool, {"--bogus", "disk-a.d88"}},
    {1, &kTool, {"-C", "nowhere", "disk-a.d88"}},
    {1, &kTool, {"missing.d88"}},
    {1, &kTool, {"folder"}},
    {1, &kTool, {"--disk=5", "set.d88"}, "zanvo-extract: set.d88 has 2 disks; there is no disk 5\n"},
    {1, &kInfo, {}, "d88info: no image named\nusage:"},
    {1, &kInfo, {"disk-a.d88", "0", "1"}, "d88info: too many arguments\nusage:"},
    {1, &kInfo, {"disk-a.d88", "x"}, "d88info: not a disk index: x" + kIndexHelp},
    {1, &kInfo, {"disk-a.d88", "+1"}, "d88info: not a disk index: +1" + kIndexHelp},
    {1, &kInfo, {"disk-a.d88", " 1"}, "d88info: not a disk index:  1" + kIndexHelp},
    {1, &kInfo, {"disk-a.d88", "-1"}, "d88info: unknown option -1\nusage:"},
    {1, &kInfo, {"--bogus", "disk-a.d88"}, "d88info: unknown option --bogus\nusage:"},
    {1,
     &kInfo,
     {"--split", "set.d88"},
     "d88info: set.d88 holds 2 disks; say which to export: d88info --split set.d88 DISK\n"},
    {1, &kInfo, {"disk-a.d88", "-o", "f"}, "d88info: -o goes with --raw or --split\nusage:"},
    {1, &kInfo, {"missing.d88"}, "d88info: cannot open missing.d88: No such file or directory\n"},
    {1, &kInfo, {"folder"}, "d88info: cannot open folder: not a regular file\n"},
    {1, &kInfo, {"notes.txt"}, "d88info: notes.txt: not a D88 image: "},
    {1, &kInfo, {"--json", "notes.txt"}},
    {1, &kInfo, {"disk-a.d88", "1"}, "d88info: disk-a.d88 has 1 disk; there is no disk 1\n"},
    {1, &kInfo, {"--raw", "set.d88", "5"}, "d88info: set.d88 has 2 disks; there is no disk 5\n"},
    {1, &kInfo, {"--compare", "disk-a.d88", "notes.txt"}, "d88info: notes.txt: not a D88 image: "},
    {1, &kInfo, {"--compare", "disk-a.d88", "set.d88"}}, // d88info_compare_test: each refusal's words
    // 2: the image could not be read, or an output not written or refused.
    {2, &kTool, {"disk-a.d88"}, "", "/dev/full"},
    {2, &kTool, {"-C", "blocked", "disk-a.d88"}}, // DRIVER is a folder there
    {2, &kTool, {"-C", "/proc", "disk-a.d88"}},   // a folder that takes no file, even from root
    {2, &kInfo, {"disk-a.d88"}, "", "/dev/full"},
    {2, &kInfo, {"--json", "disk-a.d88"}, "", "/dev/full"},
    {2,
     &kInfo,
     {"--raw", "disk-a.d88", "0", "-o", "disk-a.d88"},
     "d88info: cannot write disk-a.d88: it is the image being read, left untouched\n"},
    {2, &kInfo, {"--split", "disk-a.d88", "0", "-o", "folder"}},
    {2, &kInfo, {"--compare", "disk-a.d88", "damaged.d88"}, "", "/dev/full"},
    // 3: d88info's export with holes.
    {3, &kInfo, {"--raw", "damaged.d88", "0", "-o", "out.img"}},
    {3, &kInfo, {"--split", "short.d88", "0", "-o", "out.img"}},
    // 4: d88info --compare: the two disks differ.
    {4, &kInfo, {"--compare", "disk-a.d88", "damaged.d88"}},
    {4, &kInfo, {"--compare", "--json", "--disk=0", "set.d88", "disk-a.d88"}},
};

TEST(ExitStatus, BothProgramsGiveEachStatusTheSameMeaning)
{
    testsupport::TempDir dir;
    testimg::Disk diskA = testsupport::diskA(31);
    testimg::Disk damaged = diskA;
    damaged.tracks.erase(19);
    const testimg::Bytes whole = testimg::buildDisk(diskA);
    testimg::writeFile((dir / "disk-a.d88").string(), whole);
    testimg::writeFile((dir / "damaged.d88").string(), testimg::buildDisk(damaged));
    testimg::writeFile((dir / "short.d88").string(), testimg::Bytes(whole.begin(), whole.end() - 1000));
    testimg::writeFile((dir / "set.d88").string(), testimg::buildImage({testimg::formattedDisk(2), diskA}));
    testimg::writeFile((dir / "notes.txt").string(), testsupport::toBytes("Notes on the disks.\n"));
    fs::create_directories(dir / "folder");
    fs::create_directories(dir / "blocked" / "DRIVER");

    for (const StatusRun& run : kRuns) {
        std::string line = *run.program == kTool ? "zanvo-extract" : "d88info";
        for (const std::string& arg : run.args)
            line += " " + arg;
        SCOPED_TRACE(line + (run.stdoutTo ? std::string(" >") + run.stdoutTo : ""));
        RunOptions options;
        if (run.stdoutTo) {
            options.stdoutKind = testsupport::StdoutKind::File;
            options.stdoutTo = run.stdoutTo;
        }
        const RunResult r = testsupport::runProgram(*run.program, run.args, dir.path(), options);
        EXPECT_EQ(r.status, run.status) << r.err;
        if (!run.err.empty()) {
            EXPECT_EQ(r.err.substr(0, run.err.size()), run.err);
            EXPECT_EQ(r.out, "");
        } else if (run.status == 1 || run.status == 2) {
            EXPECT_NE(r.err, ""); // every failure says why
        }
    }
}

TEST(ExitStatus, BothHelpTextsEndWithTheSameTableOfEveryStatus)
{
    std::string tables[2];
    int i = 0;
    for (const std::string* program : {&kTool, &kInfo}) {
        testsupport::TempDir dir;
        const RunResult r = testsupport::runProgram(*program, {"--help"}, dir.path());
        ASSERT_EQ(r.status, 0);
        const std::size_t at = r.out.rfind("\nExit status");
        ASSERT_NE(at, std::string::npos) << r.out;
        tables[i++] = r.out.substr(at + 1);
    }
    EXPECT_EQ(tables[0], tables[1]);
    for (int status = 0; status <= 3; ++status)
        EXPECT_NE(tables[0].find("\n  " + std::to_string(status) + "  "), std::string::npos) << status;
}

} // namespace
