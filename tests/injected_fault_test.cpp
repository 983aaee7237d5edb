// Faults the system cannot be made to produce on demand, injected at the
// stdio calls the programs make (this test is linked with --wrap for fread,
// ferror and fwrite): a read of the image that fails with EIO, and a signal
// that arrives half-way through writing an output's temporary file. The
// programs run in-process, in a forked child, on images built in code.
#include "cut_plans.h"
#include "driver.h"
#include "image_builder.h"
#include "run.h"
#include "support/test_support.h"
#include "tool_state.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace {

// What to inject; set in the parent before forking, so the child inherits it.
struct Injection {
    ino_t image = 0;             // the image file's inode
    long long failAt = -1;       // the first read of the image covering this offset fails, once
    long long replaceAt = -1;    // before the first read covering this offset, the image is rewritten
    const char* imagePath = nullptr;        // by this name
    const testimg::Bytes* rewrite = nullptr; // as `cp` does it: truncated, then these bytes written
    const char* rewriteOnOutput = nullptr;   // or when standard output is given a line holding this
    std::FILE* failed = nullptr; // the stream whose read failed, until ferror is asked
    int signal = 0;              // raised half-way through the first write to a temporary
} inject;

bool isImage(std::FILE* file)
{
    struct stat st;
    return inject.image != 0 && fstat(fileno(file), &st) == 0 && st.st_ino == inject.image;
}

bool isTemporary(std::FILE* file)
{
    char link[64], target[4096];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fileno(file));
    const ssize_t len = readlink(link, target, sizeof target - 1);
    if (len <= 0)
        return false;
    target[len] = '\0';
    const char* base = std::strrchr(target, '/');
    return base && base[1] == '.' && std::strstr(base, ".tmp-");
}

} // namespace

extern "C" {
std::size_t __real_fread(void* data, std::size_t size, std::size_t count, std::FILE* file);
int __real_ferror(std::FILE* file);
std::size_t __real_fwrite(const void* data, std::size_t size, std::size_t count, std::FILE* file);

// Truncates the image and writes the new bytes through its name, while the
// program holds it open: the same file, other bytes.
void rewriteImage()
{
    const int fd = open(inject.imagePath, O_WRONLY | O_TRUNC);
    if (fd < 0 || write(fd, inject.rewrite->data(), inject.rewrite->size()) !=
                      static_cast<ssize_t>(inject.rewrite->size()) || close(fd) != 0)
        std::abort();
}

std::size_t __wrap_fread(void* data, std::size_t size, std::size_t count, std::FILE* file)
{
    if (inject.replaceAt >= 0 && isImage(file)) {
        const long long from = ftello(file);
        if (from <= inject.replaceAt && inject.replaceAt < from + static_cast<long long>(size * count)) {
            inject.replaceAt = -1;
            rewriteImage();
        }
    }
    if (inject.failAt >= 0 && isImage(file)) {
        const long long from = ftello(file);
        if (from <= inject.failAt && inject.failAt < from + static_cast<long long>(size * count)) {
            inject.failAt = -1;
            inject.failed = file;
            errno = EIO;
            return 0;
        }
    }
    return __real_fread(data, size, count, file);
}

int __wrap_ferror(std::FILE* file)
{
    if (file == inject.failed) {
        inject.failed = nullptr;
        return 1;
    }
    return __real_ferror(file);
}

std::size_t __wrap_fwrite(const void* data, std::size_t size, std::size_t count, std::FILE* file)
{
    if (inject.rewriteOnOutput && file == stdout &&
        std::string_view(static_cast<const char*>(data), size * count).find(inject.rewriteOnOutput) !=
            std::string_view::npos) {
        inject.rewriteOnOutput = nullptr;
        rewriteImage();
    }
    if (inject.signal != 0 && size * count > 1 && isTemporary(file)) {
        // Half, the signal, then (when the run goes on) the rest.
        const std::size_t total = size * count, half = total / 2;
        if (__real_fwrite(data, 1, half, file) != half)
            return 0;
        std::raise(inject.signal);
        return (half + __real_fwrite(static_cast<const char*>(data) + half, 1, total - half, file)) / size;
    }
    return __real_fwrite(data, size, count, file);
}
}

namespace {

namespace fs = std::filesystem;
using testimg::Bytes;
using testimg::Disk;
using testsupport::readFile;
using testsupport::RunResult;
using testsupport::sameBytes;

class InjectedFaultTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        disk = testimg::formattedDisk(61, 28, 16, true);
        testimg::setBootLabel(disk, testimg::kDiskALabel);
        image = testimg::buildDisk(disk, &places);
        testimg::writeFile((dir / "disk.d88").string(), image);
        struct stat st;
        ASSERT_EQ(stat((dir / "disk.d88").c_str(), &st), 0);
        inject = Injection{};
        inject.image = st.st_ino;
        // An old time of last change, so that any rewrite gives it a new one
        // however fast the run.
        const struct timespec old[2] = {{946684800, 0}, {946684800, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, (dir / "disk.d88").c_str(), old, 0), 0);
        imagePath = (dir / "disk.d88").string();
    }
    // Before the first read of the image covering `offset`, it is rewritten
    // with `bytes`.
    void rewriteAt(long long offset, const Bytes& bytes)
    {
        rewrite = bytes;
        inject.replaceAt = offset;
        inject.imagePath = imagePath.c_str();
        inject.rewrite = &rewrite;
    }
    void TearDown() override { inject = Injection{}; }

    // File offset of the data of sector r of `track`.
    long long dataOffset(int track, int r) const
    {
        for (const testimg::Placed& place : places)
            if (place.track == track && place.r == r)
                return static_cast<long long>(place.header) + 16;
        throw std::logic_error("no such sector");
    }
    RunResult extract()
    {
        return testsupport::runInChild(
            [] {
                auto state = std::make_unique<zanvo::ToolState>();
                char program[] = "zanvo-extract";
                char imageArg[] = "disk.d88";
                char* argv[] = {program, imageArg, nullptr};
                return zanvo::runDriver(*state, 2, argv);
            },
            dir.path());
    }
    RunResult info(std::vector<std::string> args)
    {
        return testsupport::runInChild(
            [&args] {
                std::vector<char*> argv{const_cast<char*>("d88info")};
                for (std::string& arg : args)
                    argv.push_back(arg.data());
                argv.push_back(nullptr);
                return d88info::runInfo(static_cast<int>(argv.size() - 1), argv.data());
            },
            dir.path());
    }
    std::vector<std::string> folder() const { return testsupport::listFolder(dir.path()); }

    testsupport::TempDir dir;
    Disk disk;
    Bytes image;
    std::string imagePath;
    Bytes rewrite;
    std::vector<testimg::Placed> places;
};

const Bytes kOld(777, 0x5A); // an earlier output the user still has

TEST_F(InjectedFaultTest, AReadErrorInAFilesRunKeepsTheOldFileAndFailsTheRun)
{
    // The reader reads ahead while it walks; the image's bytes from track 16
    // on are first read while ZANVO02, which ends on track 16, is cut.
    testimg::writeFile((dir / "ZANVO02").string(), kOld);
    inject.failAt = dataOffset(16, 1);
    const RunResult r = extract();
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err,
              "zanvo-extract: cannot read ZANVO02 from disk.d88: Input/output error; ZANVO02 not written\n" +
                  testsupport::cutSummary(12, 0, 1));
    EXPECT_TRUE(sameBytes(kOld, *readFile(dir / "ZANVO02")));
    // The files before and after it are cut whole: after it, afresh.
    for (const zanvo::CutEntry* row = zanvo::diskAPlan; row->sector != 0; ++row) {
        if (std::string(row->name) != "ZANVO02") {
            EXPECT_TRUE(sameBytes(testimg::expectedRecovery(disk, row->track, row->sector, row->length),
                                  *readFile(dir / row->name)))
                << row->name;
        }
    }
    EXPECT_EQ(r.out.find("cutting ... ZANVO02\n"), std::string::npos);
    EXPECT_EQ(folder().size(), 14u); // the image and 13 files, no temporary
}

TEST_F(InjectedFaultTest, AReadErrorWhileOpeningIsAnOpenFailure)
{
    inject.failAt = 0;
    const RunResult r = extract();
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.substr(r.err.find('.') + 2), "zanvo-extract: cannot open disk.d88: Input/output error\n");
    EXPECT_EQ(folder(), std::vector<std::string>{"disk.d88"});
}

TEST_F(InjectedFaultTest, D88infoShowsNothingReadThroughAnError)
{
    testimg::writeFile((dir / "out.img").string(), kOld);
    struct Case {
        std::vector<std::string> args;
        std::string out;
    };
    const Case cases[] = {
        {{"disk.d88"}, ""},
        {{"disk.d88", "0"}, ""},
        {{"--raw", "disk.d88", "0", "-o", "out.img"}, ""},
        {{"--split", "disk.d88", "0", "-o", "out.img"}, ""},
        {{"--json", "disk.d88"}, ""},
    };
    for (const Case& c : cases) {
        inject.failAt = dataOffset(5, 3);
        const RunResult r = info(c.args);
        EXPECT_EQ(r.status, 2) << c.args[0];
        EXPECT_EQ(r.out, c.out) << c.args[0];
        EXPECT_EQ(r.err, "d88info: cannot read disk.d88: Input/output error\n") << c.args[0];
        EXPECT_TRUE(sameBytes(kOld, *readFile(dir / "out.img"))); // the export is not left behind
        EXPECT_EQ(folder(), (std::vector<std::string>{"disk.d88", "out.img"}));
    }
}

// The two ways `cp new.d88 disk.d88` can meet a run: the file ends early
// where it is read, or it keeps its size with other bytes (only its time of
// last change tells).
struct Rewrite {
    const char* what;
    bool shorter;
};
const Rewrite kRewrites[] = {{"cut short", true}, {"rewritten, same size", false}};

Bytes rewritten(const Bytes& image, bool shorter)
{
    Bytes bytes(image.begin(), image.begin() + static_cast<long>(shorter ? image.size() / 3 : image.size()));
    if (!shorter)
        for (std::size_t i = 0x2B0; i < bytes.size(); ++i)
            bytes[i] = static_cast<std::uint8_t>(~bytes[i]);
    return bytes;
}

TEST_F(InjectedFaultTest, AnImageRewrittenWhileCutStopsTheRunAndKeepsTheFileBeingCut)
{
    const zanvo::CutEntry* plan = zanvo::diskAPlan;
    for (const Rewrite& how : kRewrites) {
        SCOPED_TRACE(how.what);
        for (const auto& name : testsupport::listFolder(dir.path()))
            if (name != "disk.d88")
                fs::remove(dir / name);
        testimg::writeFile((dir / "ZANVO02").string(), kOld);
        // While ZANVO02 (the fourth file, which ends on track 16) is cut.
        rewriteAt(dataOffset(16, 1), rewritten(image, how.shorter));
        const RunResult r = extract();
        testimg::writeFile(imagePath, image);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, "zanvo-extract: disk.d88 changed while it was read; ZANVO02 not written\n");
        EXPECT_TRUE(sameBytes(kOld, *readFile(dir / "ZANVO02")));
        // The three files before it stay; none after it is cut.
        for (int i = 0; i < 3; ++i)
            EXPECT_TRUE(sameBytes(testimg::expectedRecovery(disk, plan[i].track, plan[i].sector, plan[i].length),
                                  *readFile(dir / plan[i].name)))
                << plan[i].name;
        EXPECT_EQ(folder(), (std::vector<std::string>{"DRIVER", "ZANVO00", "ZANVO01", "ZANVO02", "disk.d88"}));
    }
}

TEST_F(InjectedFaultTest, ARunSaysAtItsEndThatTheImageChangedAfterItsLastRead)
{
    // A dry run puts nothing in place: the image changes as the last file's
    // line goes out, after the last read, and only the run's last look at
    // it can tell.
    rewrite = rewritten(image, false);
    inject.imagePath = imagePath.c_str();
    inject.rewrite = &rewrite;
    inject.rewriteOnOutput = "ZANVO11";
    const RunResult r = testsupport::runInChild(
        [] {
            auto state = std::make_unique<zanvo::ToolState>();
            char program[] = "zanvo-extract";
            char dryRun[] = "-n";
            char imageArg[] = "disk.d88";
            char* argv[] = {program, dryRun, imageArg, nullptr};
            return zanvo::runDriver(*state, 3, argv);
        },
        dir.path());
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "zanvo-extract: disk.d88 changed while it was read\n");
    EXPECT_NE(r.out.find("ZANVO11"), std::string::npos);
    EXPECT_EQ(folder(), std::vector<std::string>{"disk.d88"});
}

TEST_F(InjectedFaultTest, D88infoStopsInEveryModeWhenTheImageIsRewrittenWhileRead)
{
    testimg::writeFile((dir / "out.img").string(), kOld);
    const std::vector<std::vector<std::string>> modes = {
        {"disk.d88"},
        {"disk.d88", "0"},
        {"--json", "disk.d88"},
        {"--raw", "disk.d88", "0", "-o", "out.img"},
        {"--split", "disk.d88", "0", "-o", "out.img"},
        {"--split", "disk.d88", "0", "-o", "-"},
    };
    for (const Rewrite& how : kRewrites) {
        for (const std::vector<std::string>& args : modes) {
            SCOPED_TRACE(std::string(how.what) + ": " + args[0] + " " + args.back());
            rewriteAt(dataOffset(5, 3), rewritten(image, how.shorter));
            const RunResult r = info(args);
            testimg::writeFile(imagePath, image);
            const struct timespec old[2] = {{946684800, 0}, {946684800, 0}};
            ASSERT_EQ(utimensat(AT_FDCWD, imagePath.c_str(), old, 0), 0);
            EXPECT_EQ(r.status, 2);
            // Its last word, once, whatever it said before.
            EXPECT_TRUE(r.err.ends_with("d88info: disk.d88 changed while it was read\n")) << r.err;
            EXPECT_EQ(r.err.find("changed"), r.err.rfind("changed")) << r.err;
            EXPECT_TRUE(sameBytes(kOld, *readFile(dir / "out.img")));
            EXPECT_EQ(folder(), (std::vector<std::string>{"disk.d88", "out.img"}));
        }
    }
}

TEST_F(InjectedFaultTest, ASignalMidWriteRemovesTheTemporaryAndEndsTheRunBySignal)
{
    // Every signal that ends a process by default and may come from outside
    // it: a key, kill, a closed terminal, a timer, a CPU limit.
    for (const int sig :
         {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU}) {
        SCOPED_TRACE(strsignal(sig));
        testimg::writeFile((dir / "DRIVER").string(), kOld);
        testimg::writeFile((dir / "out.img").string(), kOld);
        inject.signal = sig;
        const RunResult r = extract();
        EXPECT_EQ(r.status, 128 + sig);
        EXPECT_TRUE(sameBytes(kOld, *readFile(dir / "DRIVER")));
        EXPECT_EQ(folder(), (std::vector<std::string>{"DRIVER", "disk.d88", "out.img"}));

        for (const char* mode : {"--raw", "--split"}) {
            const RunResult exported = info({mode, "disk.d88", "0", "-o", "out.img"});
            EXPECT_EQ(exported.status, 128 + sig) << mode;
            EXPECT_TRUE(sameBytes(kOld, *readFile(dir / "out.img"))) << mode;
            EXPECT_EQ(folder(), (std::vector<std::string>{"DRIVER", "disk.d88", "out.img"})) << mode;
        }
    }
}

volatile std::sig_atomic_t handledElsewhere = 0;

TEST_F(InjectedFaultTest, ASignalIgnoredOrHandledWhenTheRunStartsStaysSo)
{
    // Ignored as nohup leaves SIGHUP, or handled by a program the tool runs
    // inside: the signal does not end the run, and every file is cut.
    for (const bool ignored : {true, false}) {
        SCOPED_TRACE(ignored ? "ignored" : "handled");
        inject.signal = ignored ? SIGHUP : SIGALRM;
        const RunResult r = testsupport::runInChild(
            [ignored] {
                if (ignored)
                    std::signal(SIGHUP, SIG_IGN);
                else
                    std::signal(SIGALRM, [](int) { handledElsewhere = 1; });
                auto state = std::make_unique<zanvo::ToolState>();
                char program[] = "zanvo-extract";
                char imageArg[] = "disk.d88";
                char* argv[] = {program, imageArg, nullptr};
                const int status = zanvo::runDriver(*state, 2, argv);
                return status + (ignored || handledElsewhere ? 0 : 100);
            },
            dir.path());
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(folder().size(), 14u); // the image and 13 files
        const zanvo::CutEntry& driver = zanvo::diskAPlan[0];
        EXPECT_TRUE(sameBytes(testimg::expectedRecovery(disk, driver.track, driver.sector, driver.length),
                              *readFile(dir / driver.name)));
    }
}

} // namespace
