// What the programs must never harm, whatever their standard streams, output
// names, terminal, signals or limits: the image, the system's files (/dev,
// /proc, /sys), the terminal, and the user's older files. Each case is one a
// careless script or user can set up.
#include "d88/d88_image.h"
#include "error_text.h"
#include "image_builder.h"
#include "support/dumps.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testimg::Bytes;
using testimg::Disk;
using testsupport::readFile;
using testsupport::RunOptions;
using testsupport::RunResult;
using testsupport::sameBytes;
using testsupport::StdoutKind;

const std::string kTool = ZANVO_EXTRACT_PATH;
const std::string kInfo = D88INFO_PATH;
constexpr int kTracks = 28;

class Protection : public testsupport::FolderTest {
  protected:
    void SetUp() override
    {
        disk = testsupport::diskA(41, kTracks);
        image = testimg::buildImage({disk});
        write("disk.d88", image);
        // The same disk with a sector gone: the tool warns on standard error.
        damagedImage = testimg::buildImage({testsupport::edited({testsupport::drop(12, 10)}, disk)});
        write("damaged.d88", damagedImage);
    }
    // The plain sector image d88info --raw makes of `disk`.
    Bytes plain() const { return testimg::expectedRun(disk, 0, 1, kTracks * 16 * 256); }

    Disk disk;
    Bytes image, damagedImage;
};

// The image

TEST_F(Protection, TheImageIsNeverWrittenThroughAStandardStream)
{
    // `1<>image`, `>> image` and `2<>image`, also through a hard link: the run
    // writes nothing anywhere, says so where it can, and fails as for an
    // output it could not write.
    fs::create_hard_link(dir / "disk.d88", dir / "link.d88");
    const std::string stdoutIsImage = " standard output is the image being read; nothing is written\n";
    struct Case {
        std::string program;
        std::vector<std::string> args;
        bool onStderr; // the image is standard error rather than standard output
        std::string openedAs;
        int flags;
        int status;
        std::string err;
    };
    const int rw = O_RDWR, append = O_WRONLY | O_APPEND;
    const Case cases[] = {
        {kInfo, {"--raw", "disk.d88", "0"}, false, "disk.d88", rw, 2, "d88info:" + stdoutIsImage},
        {kInfo,
         {"--split", "disk.d88", "0", "-o", "-"},
         false,
         "disk.d88",
         append,
         2,
         "d88info:" + stdoutIsImage},
        {kInfo, {"disk.d88"}, false, "link.d88", append, 2, "d88info:" + stdoutIsImage},
        {kInfo, {"--raw", "damaged.d88", "0", "-o", "out.img"}, true, "damaged.d88", append, 2, ""},
        {kTool, {"disk.d88"}, false, "disk.d88", rw, 2, "zanvo-extract:" + stdoutIsImage},
        {kTool, {"disk.d88"}, false, "link.d88", append, 2, "zanvo-extract:" + stdoutIsImage},
        {kTool, {"damaged.d88"}, true, "damaged.d88", rw, 2, ""},
    };
    for (const Case& c : cases) {
        std::string traced = c.program == kTool ? "zanvo-extract" : "d88info";
        for (const std::string& arg : c.args)
            traced += " " + arg;
        SCOPED_TRACE(traced + (c.onStderr ? " 2<>" : " 1<>") + c.openedAs);
        RunOptions options;
        if (c.onStderr) {
            options.stderrTo = (dir / c.openedAs).string();
            options.stderrFlags = c.flags;
        } else {
            options.stdoutKind = StdoutKind::File;
            options.stdoutTo = (dir / c.openedAs).string();
            options.stdoutFlags = c.flags;
        }
        const RunResult r = run(c.program, c.args, options);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err, c.err);
        EXPECT_TRUE(sameBytes(image, *readFile(dir / "disk.d88")));
        EXPECT_TRUE(sameBytes(damagedImage, *readFile(dir / "damaged.d88")));
        EXPECT_EQ(folder(), (std::vector<std::string>{"damaged.d88", "disk.d88", "link.d88"}));
    }
}

TEST_F(Protection, TheImageNeverTakesTheDescriptorOfAClosedStandardStream)
{
    // Opened with standard input, output and error closed, the image lands
    // above them, so that the streams stay closed and no name of a standard
    // stream (/dev/stdout) leads to it.
    const RunResult r = testsupport::runInChild(
        [] {
            close(0);
            close(1);
            close(2);
            d88::D88Image opened;
            if (!opened.open("disk.d88"))
                return 10;
            for (int fd = 0; fd <= 2; ++fd)
                if (fcntl(fd, F_GETFD) != -1)
                    return 20 + fd;
            return opened.diskCount() == 1 ? 0 : 30;
        },
        dir.path());
    EXPECT_EQ(r.status, 0);
}

// The system

TEST_F(Protection, NoFileIsCreatedOrReplacedInAFolderOfDevicesNeedsRootAndAMountNamespace)
{
    // In a mount namespace of its own, /dev is a fresh tmpfs laid out as a
    // container's (null, and links for stdout and stderr), so that a run that
    // got it wrong harms nothing outside: its null made there, or the host's
    // bound in, as container runtimes do (then /dev's file system is only a
    // tmpfs, whose files are not the devices'). The child reports what it
    // saw on its standard output.
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root for a mount namespace";
    const std::string imagePath = (dir / "disk.d88").string();
    const std::string stderrFile = (dir / "stderr.img").string();
    const std::string hostNull = (dir / "host-null").string();
    for (const bool bound : {false, true}) {
        SCOPED_TRACE(bound ? "/dev/null bound from the host" : "/dev/null made in /dev");
        const RunResult r = testsupport::runInChild(
            [&] {
                if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
                    return 90;
                if (bound && (creat(hostNull.c_str(), 0600) < 0 ||
                              mount("/dev/null", hostNull.c_str(), nullptr, MS_BIND, nullptr) != 0))
                    return 91;
                if (mount("tmpfs", "/dev", "tmpfs", 0, "mode=755") != 0)
                    return 92;
                if (bound ? creat("/dev/null", 0666) < 0 ||
                                mount(hostNull.c_str(), "/dev/null", nullptr, MS_BIND, nullptr) != 0
                          : mknod("/dev/null", S_IFCHR | 0666, makedev(1, 3)) != 0)
                    return 93;
                if (symlink("/proc/self/fd/1", "/dev/stdout") != 0 ||
                    symlink("/proc/self/fd/2", "/dev/stderr") != 0)
                    return 94;
                const auto report = [](const std::string& what, const RunResult& result) {
                    std::printf("%s: %d %s", what.c_str(), result.status, result.err.c_str());
                    for (const std::string& name : testsupport::listFolder("/dev"))
                        std::printf("  /dev/%s%s\n", name.c_str(), fs::is_symlink("/dev/" + name) ? " link" : "");
                };
                // Standard input and output closed: /dev/stdout leads to a
                // descriptor that is not open.
                RunOptions closed;
                closed.stdoutKind = StdoutKind::Closed;
                closed.closeStdin = true;
                report("closed", testsupport::runProgram(
                                     kInfo, {"--raw", imagePath, "0", "-o", "/dev/stdout"}, "/", closed));
                // Standard error to a file: /dev/stderr means that file, as it is.
                RunOptions toFile;
                toFile.stderrTo = stderrFile;
                report("stderr", testsupport::runProgram(
                                     kInfo, {"--raw", imagePath, "0", "-o", "/dev/stderr"}, "/", toFile));
                // Another spelling of a new name there, and the tool cutting in /dev.
                report("spelled", testsupport::runProgram(
                                      kInfo, {"--raw", imagePath, "0", "-o", "/tmp/../dev//new.img"}, "/"));
                report("cut", testsupport::runProgram(kTool, {imagePath}, "/dev"));
                return 0;
            },
            dir.path());
        const std::string dev = "  /dev/null\n  /dev/stderr link\n  /dev/stdout link\n";
        const std::string refused = ": its folder is on a device or process file system; nothing is created there\n";
        // The folder refused once, before anything is cut.
        const std::string cut = "cut: 2 zanvo-extract: cannot cut into the current folder: it is on a device or "
                                "process file system, where nothing is created; nothing was cut\n";
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "closed: 2 d88info: cannot write /dev/stdout: " + fileio::errorText(EBADF) + "\n" + dev +
                             "stderr: 0 " + dev + "spelled: 2 d88info: cannot write /tmp/../dev//new.img" +
                             refused + dev + cut + dev);
        EXPECT_TRUE(sameBytes(plain(), *readFile(stderrFile)));
    }
}

TEST_F(Protection, NoFileIsCreatedInAFolderOfProcessesOrKernelObjects)
{
    // A name of a descriptor means that descriptor, open or not; a name
    // in /proc or /sys is never a file to create.
    const std::string refused = "its folder is on a device or process file system; nothing is created there";
    const std::pair<const char*, std::string> cases[] = {
        {"/proc/self/fd/9", fileio::errorText(EBADF)},
        {"/proc/self/zanvo.img", refused},
        {"/sys/zanvo.img", refused},
    };
    for (const auto& [name, reason] : cases) {
        const RunResult r = run(kInfo, {"--raw", "disk.d88", "0", "-o", name});
        EXPECT_EQ(r.status, 2) << name;
        EXPECT_EQ(r.err, std::string("d88info: cannot write ") + name + ": " + reason + "\n");
    }
}

TEST_F(Protection, EveryNameOfStandardOutputMeansStandardOutputWhateverItIs)
{
    // A socket (a service's connection) as standard output; names that lead
    // there through links of the user's, relative and absolute.
    fs::create_symlink("/dev/stdout", dir / "to-stdout");
    fs::create_symlink("to-stdout", dir / "via-link");
    fs::create_directory_symlink("/proc/self/fd", dir / "fds");
    for (const char* name : {"-", "/dev/stdout", "/dev/fd/1", "/proc/self/fd/1", "via-link", "fds/1"}) {
        RunOptions socket;
        socket.stdoutKind = StdoutKind::Socket;
        const RunResult r = run(kInfo, {"--raw", "disk.d88", "0", "-o", name}, socket);
        EXPECT_EQ(r.status, 0) << name << ": " << r.err;
        EXPECT_TRUE(sameBytes(plain(), testsupport::toBytes(r.out))) << name;
    }
    EXPECT_EQ(folder(), (std::vector<std::string>{"damaged.d88", "disk.d88", "fds", "to-stdout", "via-link"}));
    EXPECT_TRUE(fs::is_symlink(dir / "via-link"));
}

// The terminal

TEST_F(Protection, NoDiskImageReachesATerminalWhateverItsName)
{
    RunOptions terminal;
    terminal.stdoutKind = StdoutKind::Terminal;
    terminal.controllingTerminal = true;
    for (const char* mode : {"--raw", "--split"})
        for (const char* name : {"-", "/dev/stdout", "/dev/fd/1", "/proc/self/fd/1", "/dev/tty"}) {
            SCOPED_TRACE(std::string(mode) + " -o " + name);
            const RunResult r = run(kInfo, {mode, "disk.d88", "0", "-o", name}, terminal);
            EXPECT_EQ(r.status, 2);
            EXPECT_EQ(r.err.rfind("d88info: refusing to write a disk image to a terminal: give -o FILE or "
                                  "redirect standard output\n",
                                  0),
                      0u)
                << r.err;
            EXPECT_EQ(r.out, ""); // nothing reached the terminal
        }
    EXPECT_EQ(folder(), (std::vector<std::string>{"damaged.d88", "disk.d88"}));
}

// The older files

TEST_F(Protection, AReplacedFileKeepsItsPermissionBits)
{
    // Under umask 027 a new file is 0640; a replaced one keeps its bits, but
    // never set-user or set-group ID.
    const std::vector<std::pair<std::string, int>> old = {
        {"DRIVER", 0400},  {"ZANVO00", 0600}, {"ZANVO01", 06755},
        {"ZANVO02", 0666}, {"ZANVO03", 0640}, {"out.img", 0604},
    };
    for (const auto& [name, mode] : old) {
        write(name, Bytes(10, 0x22));
        fs::permissions(dir / name, static_cast<fs::perms>(mode));
    }
    RunOptions umask027;
    umask027.umask = 027;
    umask027.stdoutKind = StdoutKind::File;
    umask027.stdoutTo = "/dev/null";
    ASSERT_EQ(run(kTool, {"disk.d88"}, umask027).status, 0);
    ASSERT_EQ(run(kInfo, {"--raw", "disk.d88", "0", "-o", "out.img"}, umask027).status, 0);
    const auto modeOf = [&](const std::string& name) {
        struct stat st;
        return stat((dir / name).c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
    };
    EXPECT_EQ(modeOf("DRIVER"), 0400);
    EXPECT_EQ(modeOf("ZANVO00"), 0600);
    EXPECT_EQ(modeOf("ZANVO01"), 0755);
    EXPECT_EQ(modeOf("ZANVO02"), 0666);
    EXPECT_EQ(modeOf("ZANVO03"), 0640);
    EXPECT_EQ(modeOf("ZANVO04"), 0640); // new
    EXPECT_EQ(modeOf("out.img"), 0604);
    EXPECT_TRUE(sameBytes(plain(), *readFile(dir / "out.img")));
    EXPECT_EQ(readFile(dir / "DRIVER")->size(), 5632u);
}

TEST_F(Protection, AWritePastTheFileSizeLimitFailsThatOutputAndTheRunGoesOn)
{
    // SIGXFSZ at its default disposition, as a shell leaves it under ulimit -f.
    const Bytes old(3000, 0x11);
    RunOptions limited;
    limited.fileSizeLimit = 5000;
    for (const char* mode : {"--raw", "--split"}) {
        write("out.img", old);
        const RunResult r = run(kInfo, {mode, "disk.d88", "0", "-o", "out.img"}, limited);
        EXPECT_EQ(r.status, 2) << mode;
        EXPECT_EQ(r.err, "d88info: cannot write out.img: File too large\n") << mode;
        EXPECT_TRUE(sameBytes(old, *readFile(dir / "out.img"))) << mode;
        EXPECT_EQ(folder(), (std::vector<std::string>{"damaged.d88", "disk.d88", "out.img"})) << mode;
    }
    // Standard output to a file under the limit as well: the files longer
    // than the limit fail, and at ZANVO11 so does the line before it; the one
    // short file is cut. (Standard error, a file too, is held to the limit:
    // only its start is whole.)
    limited.fileSizeLimit = 270;
    limited.stdoutKind = StdoutKind::File;
    limited.stdoutTo = (dir / "messages").string();
    const RunResult r = run(kTool, {"disk.d88"}, limited);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.rfind("zanvo-extract: cannot write DRIVER: File too large\n"
                          "zanvo-extract: cannot write ZANVO01: File too large\n",
                          0),
              0u)
        << r.err;
    EXPECT_EQ(fs::file_size(dir / "messages"), 270u);
    EXPECT_EQ(readFile(dir / "ZANVO00")->size(), 256u);
    EXPECT_EQ(folder(),
              (std::vector<std::string>{"ZANVO00", "damaged.d88", "disk.d88", "messages", "out.img"}));
}

TEST_F(Protection, ASplitLargerThanAnExportMayHoldIsRefused)
{
    // A sparse file of 2 GiB whose disk size claims nearly all of it. The run
    // is held to 512 MiB of address space, so that a version that tried to
    // hold the disk fails rather than taking the machine's memory.
    Disk huge = testimg::formattedDisk(5, 2, 16);
    huge.diskSize = 0x7FFFFFF0;
    write("huge.d88", testimg::buildDisk(huge));
    fs::resize_file(dir / "huge.d88", 0x80000000ull);
    const Bytes old(100, 0x33);
    write("out.img", old);
    RunOptions limited;
#ifndef ZANVO_UNDER_ASAN
    limited.addressSpaceLimit = 512ll << 20;
#endif
    const RunResult r = run(kInfo, {"--split", "huge.d88", "0", "-o", "out.img"}, limited);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "d88info: disk 0's size is 2147483632 bytes, more than an export may hold\n");
    EXPECT_TRUE(sameBytes(old, *readFile(dir / "out.img")));
    EXPECT_EQ(folder(), (std::vector<std::string>{"damaged.d88", "disk.d88", "huge.d88", "out.img"}));
}

TEST_F(Protection, ASplitIsStreamedNotHeld)
{
#ifdef ZANVO_UNDER_ASAN
    GTEST_SKIP() << "AddressSanitizer's shadow memory cannot live under an address-space limit";
#endif
    // A 48 MiB disk, split with 24 MiB of address space more than d88info
    // needs to start: it cannot be held whole.
    Disk big = testimg::formattedDisk(6, 4, 16);
    big.tail = testimg::sectorPattern(6, 200, 1, 48 << 20);
    const Bytes bigImage = testimg::buildDisk(big);
    write("big.d88", bigImage);
    long long low = 1 << 20, high = 64 << 20;
    const auto starts = [&](long long limit) {
        RunOptions options;
        options.addressSpaceLimit = limit;
        return run(kInfo, {"--help"}, options).status == 0;
    };
    ASSERT_TRUE(starts(high));
    while (high - low > (64 << 10)) {
        const long long mid = (low + high) / 2;
        (starts(mid) ? high : low) = mid;
    }
    RunOptions limited;
    limited.addressSpaceLimit = high + (24 << 20);
    const RunResult r = run(kInfo, {"--split", "big.d88", "0", "-o", "out.d88"}, limited);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(sameBytes(bigImage, *readFile(dir / "out.d88")));
}

} // namespace
