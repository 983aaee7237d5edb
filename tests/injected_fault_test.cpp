// Faults the system cannot be made to produce on demand, injected at the
// stdio calls the programs make (this test is linked with --wrap for fread,
// ferror and fwrite): a read of the image that fails with EIO, each read a
// run makes in turn, and a signal that arrives half-way through writing an
// output's temporary file. The programs run in-process, in a forked child,
// and the page's examination in the test itself, on images built in code.
#include "cut_plans.h"
#include "driver.h"
#include "examine.h"
#include "image_builder.h"
#include "run.h"
#include "support/dumps.h"
#include "support/test_support.h"
#include "tool_state.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

// How many reads of the image a run made, and whether the one asked to fail
// was reached: kept in memory shared with the forked child, so that the
// parent learns them.
struct ReadTally {
    long long reads = 0;
    bool failed = false;
};

ReadTally* sharedTally()
{
    static ReadTally* const tally = [] {
        void* page =
            mmap(nullptr, sizeof(ReadTally), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        if (page == MAP_FAILED)
            std::abort();
        return new (page) ReadTally;
    }();
    return tally;
}

// What to inject; set in the parent before forking, so the child inherits it.
struct Injection {
    ino_t image = 0;                 // the image file's inode
    ReadTally* tally = nullptr;      // when set, counts the reads (freads) of the image
    long long failRead = 0;          // with tally: this read of the image (1 for the first) fails, once
    long long replaceAt = -1;        // before the first read covering this offset, the image is rewritten
    const char* imagePath = nullptr; // by this name
    const testimg::Bytes* rewrite = nullptr; // as `cp` does it: truncated, then these bytes written
    const char* rewriteOnOutput = nullptr;   // or when standard output is given a line holding this
    int rewrites = 1;                        // with replaceAt: before that many reads covering it
    bool inPlace = false;        // or as `dd conv=notrunc` then `touch -r` do it, part-way through that read:
                                 // the bytes overwritten, the old times put back
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
// program holds it open: the same file, other bytes. In place, the bytes are
// written over the old ones and the old times put back.
void rewriteImage()
{
    static long long rewrites = 0;
    struct stat before;
    const int fd = open(inject.imagePath, inject.inPlace ? O_WRONLY : O_WRONLY | O_TRUNC);
    if (fd < 0 || fstat(fd, &before) != 0 ||
        write(fd, inject.rewrite->data(), inject.rewrite->size()) !=
            static_cast<ssize_t>(inject.rewrite->size()) ||
        close(fd) != 0)
        std::abort();
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    if (inject.inPlace && utimensat(AT_FDCWD, inject.imagePath, times, 0) != 0)
        std::abort();
    // Rewrites one after another may fall within one tick of the file
    // system's clock: each is given a time of its own, as one made later.
    const struct timespec at[2] = {{0, UTIME_OMIT}, {978307200 + ++rewrites, 0}};
    if (!inject.inPlace && utimensat(AT_FDCWD, inject.imagePath, at, 0) != 0)
        std::abort();
}

std::size_t __wrap_fread(void* data, std::size_t size, std::size_t count, std::FILE* file)
{
    if (inject.replaceAt >= 0 && isImage(file)) {
        const long long from = ftello(file);
        if (from <= inject.replaceAt && inject.replaceAt < from + static_cast<long long>(size * count)) {
            const auto first = static_cast<std::size_t>(inject.replaceAt - from);
            inject.replaceAt = --inject.rewrites > 0 ? inject.replaceAt : -1;
            if (inject.inPlace && size == 1 && first > 0) {
                // The bytes before the offset from the old image, the rest from the new.
                const std::size_t got = __real_fread(data, 1, first, file);
                rewriteImage();
                return got < first ? got
                                   : got + __real_fread(static_cast<char*>(data) + got, 1, count - got, file);
            }
            rewriteImage();
        }
    }
    if (inject.tally && isImage(file) && ++inject.tally->reads == inject.failRead) {
        inject.tally->failed = true;
        inject.failed = file;
        errno = EIO;
        return 0;
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
using testsupport::linesOf;
using testsupport::readFile;
using testsupport::RunResult;
using testsupport::sameBytes;

class InjectedFaultTest : public testsupport::FolderTest {
  protected:
    void SetUp() override
    {
        disk = testsupport::diskA(61, 28);
        image = testimg::buildDisk(disk, &places);
        imagePath = (dir / "disk.d88").string();
        inject = Injection{};
        placeImage(imagePath, image);
    }
    // `bytes` written to `path`, the image the injection watches, with an
    // old time of last change, so that any rewrite gives it a new one
    // however fast the run.
    void placeImage(const std::string& path, const Bytes& bytes)
    {
        testimg::writeFile(path, bytes);
        struct stat st;
        const struct timespec old[2] = {{946684800, 0}, {946684800, 0}};
        ASSERT_TRUE(stat(path.c_str(), &st) == 0 && utimensat(AT_FDCWD, path.c_str(), old, 0) == 0);
        inject.image = st.st_ino;
    }
    // Every file of the folder but the images gone.
    void clearOutputs() const
    {
        for (const std::string& name : folder())
            if (!name.ends_with(".d88"))
                fs::remove_all(dir / name);
    }
    // The reads of the image counted; with `failRead`, that read fails.
    static void countReads(long long failRead)
    {
        *sharedTally() = ReadTally{};
        inject.tally = sharedTally();
        inject.failRead = failRead;
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
    // Disk A, then a disk that takes the file past what the reader holds
    // whole (2 MiB): the image is read as it is asked for, while files are
    // cut and views made.
    void readAsAsked()
    {
        image = testimg::buildImage({disk, testimg::formattedDisk(65, 164, 50, true)});
        placeImage(imagePath, image);
    }

    // File offset of the data of sector r of `track`.
    long long dataOffset(int track, int r) const
    {
        for (const testimg::Placed& place : places)
            if (place.track == track && place.r == r)
                return static_cast<long long>(place.header) + 16;
        throw std::logic_error("no such sector");
    }
    // Runs a program in a forked child, in the test's folder.
    RunResult inChild(bool tool, std::vector<std::string> args)
    {
        return testsupport::runInChild(
            [tool, &args] {
                std::vector<char*> argv{const_cast<char*>(tool ? "zanvo-extract" : "d88info")};
                for (std::string& arg : args)
                    argv.push_back(arg.data());
                argv.push_back(nullptr);
                const int argc = static_cast<int>(argv.size() - 1);
                if (!tool)
                    return d88info::runInfo(argc, argv.data());
                auto state = std::make_unique<zanvo::ToolState>();
                return zanvo::runDriver(*state, argc, argv.data());
            },
            dir.path());
    }
    RunResult extract() { return inChild(true, {"disk.d88"}); }
    RunResult info(std::vector<std::string> args) { return inChild(false, std::move(args)); }

    Disk disk;
    Bytes image;
    std::string imagePath;
    Bytes rewrite;
    std::vector<testimg::Placed> places;
};

const Bytes kOld(777, 0x5A); // an earlier output the user still has

// --- a read of the image that fails, at each read a run makes ---

enum class Program { Tool, Info, Page };

// One way a program reads an image.
struct Mode {
    Program program;
    std::vector<std::string> args{}; // after the program's name; for the page, the image
    const Disk* cut = nullptr;       // the tool and the page: the Disk A whose files are cut
    bool dryRun = false;             // the tool: -n
    const Bytes* exported = nullptr; // d88info: the bytes of the export its -o names
};

// The image (NAME.d88, in the test's folder) the mode reads.
std::string imageOf(const Mode& mode)
{
    return *std::find_if(mode.args.begin(), mode.args.end(),
                         [](const std::string& arg) { return arg.ends_with(".d88"); });
}

// What follows -o, or "".
std::string outputOf(const Mode& mode)
{
    const auto o = std::find(mode.args.begin(), mode.args.end(), "-o");
    return o == mode.args.end() || o + 1 == mode.args.end() ? "" : *(o + 1);
}

std::string commandOf(const Mode& mode)
{
    if (mode.program == Program::Page)
        return "the page's examination of " + imageOf(mode);
    std::string command = mode.program == Program::Tool ? "zanvo-extract" : "d88info";
    for (const std::string& arg : mode.args)
        command += " " + arg;
    return command;
}

// What a run gave: the status and outputs of a program, or the page's
// examination.
struct Outcome {
    RunResult run;
    zanvoweb::Examination exam;
};

// Each entry of a folder with its bytes; an image (NAME.d88) by its name
// only, since no run may write it and its bytes are many.
using Entries = std::map<std::string, std::string>;

Entries entriesOf(const fs::path& folder)
{
    Entries entries;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        std::string& what = entries[name];
        if (entry.is_regular_file() && !name.ends_with(".d88")) {
            const Bytes bytes = readFile(entry.path()).value_or(Bytes{});
            what.assign(bytes.begin(), bytes.end());
        }
    }
    return entries;
}

// The names whose entry is new, gone or changed.
::testing::AssertionResult sameEntries(const Entries& before, const Entries& after)
{
    std::string differ;
    for (const auto& entry : before) {
        const auto now = after.find(entry.first);
        if (now == after.end())
            differ += " " + entry.first + " (gone)";
        else if (now->second != entry.second)
            differ += " " + entry.first + " (changed)";
    }
    for (const auto& entry : after)
        if (!before.contains(entry.first))
            differ += " " + entry.first + " (new)";
    if (differ.empty())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "entries differ:" << differ;
}

// Whether the tool's standard output says the file was cut (or, in a dry
// run, would be).
bool saysCut(const std::string& out, const std::string& name, bool dryRun)
{
    for (const std::string& line : linesOf(out))
        if (dryRun ? line.starts_with("would cut " + name + " (") : line == "cutting ... " + name)
            return true;
    return false;
}

// NAME of the first line "PREFIXcannot read NAME from IMAGE: ...", or "".
std::string fileNotRead(const std::vector<std::string>& lines, const std::string& prefix,
                        const std::string& image)
{
    const std::string start = prefix + "cannot read ";
    for (const std::string& line : lines) {
        const std::size_t from = line.find(" from " + image + ": ");
        if (line.starts_with(start) && from != std::string::npos)
            return line.substr(start.size(), from - start.size());
    }
    return "";
}

class InjectedReadFailureTest : public InjectedFaultTest {
  protected:
    // Only the images left, then the older outputs the user still has: every
    // other file of the plan, and the export's file.
    void prepare(const Mode& mode)
    {
        clearOutputs();
        for (std::size_t i = 0; mode.program == Program::Tool && zanvo::diskAPlan[i].sector != 0; ++i)
            if (i % 2 == 0)
                testimg::writeFile((dir / zanvo::diskAPlan[i].name).string(), kOld);
        if (const std::string output = outputOf(mode); !output.empty() && output != "-")
            write(output, kOld);
    }

    // Runs the mode, counting its reads of the image; with `failRead`, that
    // read fails.
    Outcome run(const Mode& mode, long long failRead)
    {
        const std::string name = imageOf(mode);
        struct stat st;
        if (stat((dir / name).c_str(), &st) != 0)
            throw std::runtime_error("no image " + name);
        inject.image = st.st_ino;
        countReads(failRead);
        Outcome outcome;
        if (mode.program == Program::Page)
            zanvoweb::examineImage((dir / name).c_str(), name.c_str(), -1, &outcome.exam);
        else
            outcome.run = inChild(mode.program == Program::Tool, mode.args);
        inject.tally = nullptr;
        inject.failRead = 0;
        return outcome;
    }

    Bytes expectedFile(const Mode& mode, const zanvo::CutEntry& row) const
    {
        return testimg::expectedRecovery(*mode.cut, row.track, row.sector, row.length);
    }

    // The clean run, the measure of the others: whole. (Each file's bytes
    // are checked wherever it is said to be cut.)
    void checkClean(const Mode& mode, const Outcome& clean)
    {
        const RunResult& r = clean.run;
        switch (mode.program) {
        case Program::Tool:
            EXPECT_EQ(r.status, 0) << r.err;
            for (const zanvo::CutEntry* row = zanvo::diskAPlan; row->sector != 0; ++row)
                EXPECT_TRUE(saysCut(r.out, row->name, mode.dryRun)) << row->name;
            break;
        case Program::Info:
            EXPECT_EQ(r.status, 0) << r.err;
            if (outputOf(mode) == "-") {
                EXPECT_TRUE(sameBytes(*mode.exported, testsupport::toBytes(r.out)));
            } else if (!outputOf(mode).empty()) {
                EXPECT_TRUE(sameBytes(*mode.exported, readFile(dir / outputOf(mode)).value_or(Bytes{})));
            }
            break;
        case Program::Page:
            EXPECT_EQ(zanvoweb::examinationJson(clean.exam).find("Input/output error"), std::string::npos);
            EXPECT_EQ(clean.exam.files.size(), 13u);
            break;
        }
    }

    // The checks of a run whose read failed; false when that read was the
    // open's.
    bool checkTool(const Mode& mode, const Outcome& clean, const RunResult& r, const Entries& before)
    {
        const std::string name = imageOf(mode);
        const Entries after = entriesOf(dir.path());
        if (r.status == 1) {
            EXPECT_TRUE(r.err.ends_with("zanvo-extract: cannot open " + name + ": Input/output error\n"))
                << r.err;
            EXPECT_EQ(r.out, "");
            EXPECT_TRUE(sameEntries(before, after));
            return false;
        }
        EXPECT_EQ(r.status, 2) << r.err;
        // Why, naming the image, in the one wording; for a file's read,
        // then counted in the run's last word. Nothing else that the clean
        // run does not say: no damage that is not there, no file said to be
        // cut that is not.
        const std::string failed = fileNotRead(linesOf(r.err), "zanvo-extract: ", name);
        std::vector<std::string> told;
        if (failed.empty()) {
            told.push_back("zanvo-extract: cannot read " + name + ": Input/output error");
        } else {
            told.push_back("zanvo-extract: cannot read " + failed + " from " + name +
                           ": Input/output error; " + failed +
                           (mode.dryRun ? " would not be written" : " not written"));
            const std::string tally = testsupport::cutSummary(12, 0, 1);
            told.push_back(mode.dryRun
                               ? "zanvo-extract: of 13 files, 12 would be complete, 0 would have holes, 0 "
                                 "would have flagged sectors, 1 would not be written"
                               : tally.substr(0, tally.size() - 1));
        }
        for (const std::string& line : told)
            EXPECT_TRUE(testsupport::hasLine(r.err, line)) << line << "\n, said instead:\n" << r.err;
        for (const std::string& line : linesOf(r.err))
            EXPECT_TRUE(testsupport::hasLine(clean.run.err, line) ||
                        std::find(told.begin(), told.end(), line) != told.end())
                << line;
        for (const std::string& line : linesOf(r.out))
            EXPECT_TRUE(testsupport::hasLine(clean.run.out, line)) << line;
        // A file is in place, byte for byte, exactly when the run says it
        // was cut: never the one whose read failed, but each file around
        // it, read afresh. Any other keeps its old bytes, or stays away.
        Entries expected = before;
        for (const zanvo::CutEntry* row = zanvo::diskAPlan; row->sector != 0; ++row) {
            const bool said = saysCut(r.out, row->name, mode.dryRun);
            if (!failed.empty()) {
                EXPECT_EQ(said, row->name != failed) << row->name;
            }
            if (said && !mode.dryRun) {
                const Bytes bytes = expectedFile(mode, *row);
                EXPECT_TRUE(sameBytes(bytes, readFile(dir / row->name).value_or(Bytes{}))) << row->name;
                expected[row->name].assign(bytes.begin(), bytes.end());
            }
        }
        EXPECT_TRUE(sameEntries(expected, after));
        return true;
    }

    bool checkInfo(const Mode& mode, const Outcome& clean, const RunResult& r, const Entries& before)
    {
        const std::string name = imageOf(mode);
        // An older export kept, no temporary left.
        EXPECT_TRUE(sameEntries(before, entriesOf(dir.path())));
        if (r.status == 1) {
            EXPECT_EQ(r.err, "d88info: cannot open " + name + ": Input/output error\n");
            EXPECT_EQ(r.out, "");
            return false;
        }
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_EQ(r.err, "d88info: cannot read " + name + ": Input/output error\n");
        // At most what came before the failed read: nothing shown through it.
        EXPECT_TRUE(sameBytes(testsupport::toBytes(clean.run.out.substr(0, r.out.size())),
                              testsupport::toBytes(r.out)));
        return true;
    }

    void checkPage(const Mode& mode, const Outcome& clean, const zanvoweb::Examination& exam)
    {
        const std::string name = imageOf(mode);
        const std::string said = "errors " + ::testing::PrintToString(exam.errors) + ", warnings " +
                                 ::testing::PrintToString(exam.warnings) + ", infoError " + exam.infoError;
        const auto carries = [&](const std::string& text) {
            return text.find(name + ": Input/output error") != std::string::npos;
        };
        // Each half reads the image through a reader of its own: one of them
        // met the failure and says why; the other is as in the clean run.
        const bool cutFailed = std::any_of(exam.errors.begin(), exam.errors.end(), carries);
        const bool infoFailed = carries(exam.infoError);
        EXPECT_NE(cutFailed, infoFailed) << said;
        for (const std::string& error : exam.errors)
            EXPECT_TRUE(carries(error)) << error;
        EXPECT_TRUE(exam.warnings.empty()) << said; // a failed read is no damage
        EXPECT_EQ(exam.info, infoFailed ? "" : clean.exam.info);
        // As the tool's files: all but the one whose read failed, each whole;
        // none when the disk itself could not be read.
        const std::string failed = fileNotRead(exam.errors, "", name);
        std::size_t found = 0;
        for (const zanvo::CutEntry* row = zanvo::diskAPlan; row->sector != 0; ++row) {
            const auto file = std::find_if(exam.files.begin(), exam.files.end(),
                                           [&](const zanvoweb::CutFile& f) { return f.name == row->name; });
            const bool there = file != exam.files.end();
            EXPECT_EQ(there, cutFailed && failed.empty() ? false : row->name != failed) << row->name;
            if (there) {
                ++found;
                EXPECT_TRUE(sameBytes(expectedFile(mode, *row), file->bytes)) << row->name;
            }
        }
        EXPECT_EQ(exam.files.size(), found);
    }
};

// A read of the image that fails is never taken for damage or success,
// whichever read it is: the run ends with status 2 and the system's reason
// (or, during the open, as an open failure), leaves no output half made and
// replaces no older one. Each mode runs once cleanly, counting its reads of
// the image, then once for each of them with that read failing.
TEST_F(InjectedReadFailureTest, EveryReadOfTheImageThatFailsFailsTheRun)
{
    // More than the reader holds of a file at once, so that its reads fall
    // all through a run: while files are cut, lists printed and exports
    // written.
    constexpr int kSectors = 50;
    Disk big = testimg::formattedDisk(64, 164, kSectors, true);
    testimg::setBootLabel(big, testimg::kDiskALabel);
    const Bytes bigImage = testimg::buildDisk(big);
    write("big.d88", bigImage);
    Bytes raw; // every sector, track by track, in sector order
    for (int t = 0; t < 164; ++t) {
        for (int r = 1; r <= kSectors; ++r) {
            const Bytes& data = testimg::findRecord(big, t, r)->data;
            raw.insert(raw.end(), data.begin(), data.end());
        }
    }
    // Disk F, then the large Disk A: the tool cuts the second and looks at
    // the first.
    Disk diskF = testsupport::diskF(62, 40);
    write("set.d88", testimg::buildImage({diskF, big}));

    using P = Program;
    const Mode modes[] = {
        // A read that fails while ZANVO06 is cut leaves nothing the next
        // file is read from: ZANVO07 is read afresh, whole and with no
        // warning of a field that lied.
        {.program = P::Tool, .args = {"big.d88"}, .cut = &big},
        {.program = P::Tool, .args = {"-n", "big.d88"}, .cut = &big, .dryRun = true},
        // Disk 0 is read after disk 1 is cut, for the notice that it is
        // Disk F: a read of it that fails fails the run.
        {.program = P::Tool, .args = {"--disk=1", "set.d88"}, .cut = &big},
        {.program = P::Info, .args = {"big.d88"}},
        {.program = P::Info, .args = {"big.d88", "0"}},
        // Streamed as it is made: a read that fails ends it where it stands,
        // with nothing in it that the read did not give.
        {.program = P::Info, .args = {"--json", "big.d88"}},
        {.program = P::Info, .args = {"--raw", "big.d88", "0", "-o", "out.img"}, .exported = &raw},
        {.program = P::Info, .args = {"--raw", "big.d88", "0", "-o", "-"}, .exported = &raw},
        {.program = P::Info, .args = {"--split", "big.d88", "0", "-o", "out.img"}, .exported = &bigImage},
        {.program = P::Info, .args = {"--split", "big.d88", "0", "-o", "-"}, .exported = &bigImage},
        // Two readers of one file: a read of either that fails ends the
        // comparison where it stands.
        {.program = P::Info, .args = {"--compare", "--disk=1", "set.d88", "set.d88"}},
        // As the tool's cut: no warning for ZANVO07.
        {.program = P::Page, .args = {"big.d88"}, .cut = &big},
    };
    for (const Mode& mode : modes) {
        SCOPED_TRACE(commandOf(mode));
        prepare(mode);
        const Outcome clean = run(mode, 0);
        const long long reads = sharedTally()->reads;
        checkClean(mode, clean);
        ASSERT_GT(reads, 0);
        bool pastOpen = false;
        for (long long k = 1; k <= reads; ++k) {
            SCOPED_TRACE("read " + std::to_string(k) + " of " + std::to_string(reads) + " fails");
            prepare(mode);
            const Entries before = entriesOf(dir.path());
            const Outcome got = run(mode, k);
            EXPECT_TRUE(sharedTally()->failed) << "the run made no read " << k;
            switch (mode.program) {
            case Program::Tool:
            case Program::Info: {
                const bool afterOpen = mode.program == Program::Tool
                                           ? checkTool(mode, clean, got.run, before)
                                           : checkInfo(mode, clean, got.run, before);
                // The open's reads come first.
                EXPECT_FALSE(pastOpen && !afterOpen) << "an open failure after the open";
                pastOpen = pastOpen || afterOpen;
                break;
            }
            case Program::Page:
                checkPage(mode, clean, got.exam);
                break;
            }
        }
    }
}

// An image held whole whose reading at the open fails is read as the run
// asks for it instead, so that a read that fails is told where the run meets
// it, as for a larger image: here it does not fail again, and the run is
// whole.
TEST_F(InjectedFaultTest, AWholeReadingThatFailsIsMadeAgainAsTheRunAsks)
{
    const RunResult clean = extract();
    const Entries cut = entriesOf(dir.path());
    clearOutputs();
    countReads(1);
    const RunResult r = extract();
    EXPECT_TRUE(sharedTally()->failed);
    EXPECT_GT(sharedTally()->reads, 1);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, clean.out);
    EXPECT_EQ(r.err, clean.err);
    EXPECT_TRUE(sameEntries(cut, entriesOf(dir.path())));
}

// The reader tells a read that fails by the call that made it, and by that
// call alone: the next call, the same one again, reads afresh and answers
// as a run where no read failed. The format's own forms, which answer in
// byte counts, keep the outcome for outcome(). (The table above shows that
// nothing a failed call built is taken for what the image holds.)
TEST_F(InjectedFaultTest, AReadThatFailsIsToldByTheCallThatMadeItAlone)
{
    // More than the reader holds of a file at once: track 150 is read afresh.
    const Disk big = testimg::formattedDisk(64, 164, 50, true);
    testimg::writeFile(imagePath, testimg::buildDisk(big));
    struct stat st;
    ASSERT_EQ(stat(imagePath.c_str(), &st), 0);
    inject.image = st.st_ino;
    d88::D88Image reader;
    ASSERT_TRUE(reader.open(imagePath.c_str()) && reader.selectDisk(0));
    const Bytes& stored = testimg::findRecord(big, 150, 7)->data;

    countReads(1); // the next read
    Bytes sector(256);
    reader.readSector(150, 75, 0, 7, 1, sector.data(), 256);
    EXPECT_TRUE(sharedTally()->failed);
    EXPECT_TRUE(reader.outcome().failed() && reader.outcome().error == EIO);
    EXPECT_EQ(reader.readSector(150, 75, 0, 7, 1, sector.data(), 256), 256);
    EXPECT_TRUE(reader.outcome().done());
    EXPECT_TRUE(sameBytes(stored, sector));
    d88::RecordMap map(reader);
    ASSERT_TRUE(map.loadDisk(0).done());
    d88::Record record;
    std::int32_t copied = 0;
    EXPECT_TRUE(map.findSector(d88::placeOnTrack(150, 7, 1), sector, &record, &copied).done());
    EXPECT_TRUE(sameBytes(stored, Bytes(sector.begin(), sector.begin() + copied)));
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

// The image rewritten while ZANVO02 is cut from it stops the run, and
// ZANVO02 keeps its older bytes. With a second Disk A after it, nothing is
// said of the other disk either: the disk was not cut, and the file it would
// be read from is not the one opened. Another dump joined to the image
// (--also) is held to the same, named as the one that changed.
TEST_F(InjectedFaultTest, AnImageOrDumpRewrittenWhileCutStopsTheRunAndKeepsTheFileBeingCut)
{
    readAsAsked(); // a file read whole at the open cannot change under the run
    const zanvo::CutEntry* plan = zanvo::diskAPlan;
    Bytes twoDisks = image;
    twoDisks.insert(twoDisks.end(), image.begin(), image.end());
    struct Changed {
        const char* what;
        const Bytes& start; // disk.d88's bytes
        bool other;         // other.d88, joined to it, is the one rewritten
    };
    const std::string otherPath = (dir / "other.d88").string();
    for (const Rewrite& how : kRewrites)
        for (const Changed& c : {Changed{"the image", image, false}, Changed{"two disks", twoDisks, false},
                                 Changed{"another dump", image, true}}) {
            SCOPED_TRACE(std::string(how.what) + ", " + c.what);
            clearOutputs();
            placeImage(imagePath, c.start);
            if (c.other)
                placeImage(otherPath, image);
            write("ZANVO02", kOld);
            // As ZANVO02 (the fourth file) is begun, whatever the reader has
            // read ahead by then.
            rewriteAt(-1, rewritten(c.start, how.shorter));
            inject.rewriteOnOutput = "ZANVO02";
            inject.imagePath = c.other ? otherPath.c_str() : imagePath.c_str();
            const RunResult r = c.other ? inChild(true, {"--also", "other.d88", "disk.d88"}) : extract();
            EXPECT_EQ(r.status, 2);
            EXPECT_EQ(r.err, std::string("zanvo-extract: ") + (c.other ? "other" : "disk") +
                                 ".d88 changed while it was read; ZANVO02 not written\n");
            EXPECT_TRUE(sameBytes(kOld, *readFile(dir / "ZANVO02")));
            // The three files before it stay; none after it is cut.
            for (int i = 0; i < 3; ++i)
                EXPECT_TRUE(
                    sameBytes(testimg::expectedRecovery(disk, plan[i].track, plan[i].sector, plan[i].length),
                              *readFile(dir / plan[i].name)))
                    << plan[i].name;
            std::vector<std::string> files = {"DRIVER", "ZANVO00", "ZANVO01", "ZANVO02", "disk.d88"};
            if (c.other)
                files.push_back("other.d88");
            EXPECT_EQ(folder(), files);
            fs::remove(otherPath);
        }
}

TEST_F(InjectedFaultTest, ARunSaysAtItsEndThatTheImageChangedAfterItsLastRead)
{
    // A dry run puts nothing in place: the image changes as the last file's
    // line goes out, after the last read, and only the run's last look at
    // it can tell.
    readAsAsked();
    rewrite = rewritten(image, false);
    inject.imagePath = imagePath.c_str();
    inject.rewrite = &rewrite;
    inject.rewriteOnOutput = "ZANVO11";
    const RunResult r = inChild(true, {"-n", "disk.d88"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "zanvo-extract: disk.d88 changed while it was read\n");
    EXPECT_NE(r.out.find("ZANVO11"), std::string::npos);
    EXPECT_EQ(folder(), std::vector<std::string>{"disk.d88"});
}

// d88info's modes on disk.d88 that read it through: the summary, the
// listing, the document and the two exports to out.img.
const std::vector<std::vector<std::string>> kInfoModes = {
    {"disk.d88"},
    {"disk.d88", "0"},
    {"--json", "disk.d88"},
    {"--raw", "disk.d88", "0", "-o", "out.img"},
    {"--split", "disk.d88", "0", "-o", "out.img"},
};

TEST_F(InjectedFaultTest, D88infoStopsInEveryModeWhenTheImageIsRewrittenWhileRead)
{
    readAsAsked();
    write("out.img", kOld);
    std::vector<std::vector<std::string>> modes = kInfoModes;
    modes.insert(modes.end(), {{"--split", "disk.d88", "0", "-o", "-"},
                               {"--compare", "--disk=0", "disk.d88", "disk.d88"},
                               {"--compare", "--json", "--disk=0", "disk.d88", "disk.d88"}});
    for (const Rewrite& how : kRewrites) {
        for (const std::vector<std::string>& args : modes) {
            SCOPED_TRACE(std::string(how.what) + ": " + args[0] + " " + args.back());
            rewriteAt(dataOffset(5, 3), rewritten(image, how.shorter));
            const RunResult r = info(args);
            placeImage(imagePath, image);
            EXPECT_EQ(r.status, 2);
            // Its last word, once, whatever it said before.
            EXPECT_TRUE(r.err.ends_with("d88info: disk.d88 changed while it was read\n")) << r.err;
            EXPECT_EQ(r.err.find("changed"), r.err.rfind("changed")) << r.err;
            EXPECT_TRUE(sameBytes(kOld, *readFile(dir / "out.img")));
            EXPECT_EQ(folder(), (std::vector<std::string>{"disk.d88", "out.img"}));
        }
    }
}

// What a run gave: its status, its two streams and the folder's files.
struct Seen {
    RunResult run;
    Entries files;
    bool operator==(const Seen& other) const
    {
        return run.status == other.run.status && run.out == other.run.out && run.err == other.run.err &&
               files == other.files;
    }
};

// `dd conv=notrunc` writes another image of the same size over the one a run
// reads, part-way through one of its reads, and `touch -r` puts the old
// times back: only the time of the last change of the file's status tells.
// An image the reader holds whole (up to 2 MiB) is read again and every
// output comes from that one reading; a larger one, read as it is asked for,
// stops the run with status 2, and every file it put in place holds the old
// image's bytes. Never status 0 with bytes of both images.
TEST_F(InjectedFaultTest, AnImageRewrittenInPlaceWithItsTimesPutBackIsUsedWholeOrStopsTheRun)
{
    struct Size {
        const char* what;
        int tracks, sectors;
        bool whole;
    };
    const Size sizes[] = {{"held whole", 61, 16, true}, {"read as it is asked for", 164, 50, false}};
    // Disk 0 is cut or shown; disk 1 is cut with --disk=1.
    const std::vector<std::vector<std::string>> tool = {
        {"disk.d88"}, {"-n", "disk.d88"}, {"--disk=1", "disk.d88"}};
    for (const Size& size : sizes) {
        Disk diskA = testimg::formattedDisk(64, size.tracks, size.sectors, true);
        testimg::setBootLabel(diskA, testimg::kDiskALabel);
        Disk diskF = testsupport::diskF(62, 40);
        const Bytes before = testimg::buildImage({diskA, diskF});
        // Every sector's data otherwise: the same layout, other bytes.
        for (Disk* one : {&diskA, &diskF})
            for (auto& track : one->tracks)
                for (testimg::Record& record : track.second.records)
                    for (std::uint8_t& byte : record.data)
                        byte = static_cast<std::uint8_t>(byte ^ 0xA5);
        const Bytes after = testimg::buildImage({diskA, diskF});
        ASSERT_EQ(before.size(), after.size());
        ASSERT_EQ(size.whole, before.size() <= 2 * 1024 * 1024);
        const auto diskOne = static_cast<long long>(testimg::buildDisk(diskA).size());

        for (const bool isTool : {true, false}) {
            for (const std::vector<std::string>& args : isTool ? tool : kInfoModes) {
                std::string command = isTool ? "zanvo-extract" : "d88info";
                for (const std::string& arg : args)
                    command += " " + arg;
                SCOPED_TRACE(std::string(size.what) + ": " + command);
                const auto runOn = [&](const Bytes& bytes, long long rewriteAt) {
                    for (const std::string& name : folder())
                        fs::remove_all(dir / name);
                    testimg::writeFile(imagePath, bytes);
                    write("out.img", kOld);
                    struct stat st;
                    EXPECT_EQ(stat(imagePath.c_str(), &st), 0);
                    inject = Injection{};
                    inject.image = st.st_ino;
                    if (rewriteAt >= 0) {
                        rewrite = after;
                        inject.replaceAt = rewriteAt;
                        inject.imagePath = imagePath.c_str();
                        inject.rewrite = &rewrite;
                        inject.inPlace = true;
                        // The status-change time moves by the ticks of the file
                        // system's clock: the rewrite comes ticks after the image was made.
                        usleep(50 * 1000);
                    }
                    Seen seen{inChild(isTool, args), entriesOf(dir.path())};
                    inject = Injection{};
                    return seen;
                };
                const Seen old = runOn(before, -1), fresh = runOn(after, -1);
                // Inside track 5 of the disk the mode reads: past the open's first read.
                const long long at =
                    args[0] == "--disk=1"
                        ? diskOne + static_cast<long long>(testimg::trackStart(diskF, 5)) + 100
                        : static_cast<long long>(testimg::trackStart(diskA, 5)) + 100;
                const Seen got = runOn(before, at);
                EXPECT_TRUE(sameBytes(after, *readFile(imagePath))) << "the run never read that far";
                if (size.whole) {
                    EXPECT_EQ(got.run.status, 0) << got.run.err;
                    EXPECT_TRUE(got == old || got == fresh) << got.run.err;
                    continue;
                }
                EXPECT_EQ(got.run.status, 2);
                const std::string said = std::string(isTool ? "zanvo-extract" : "d88info") +
                                         ": disk.d88 changed while it was read";
                EXPECT_NE(got.run.err.find(said), std::string::npos) << got.run.err;
                for (const auto& [name, bytes] : got.files) {
                    const auto was = old.files.find(name);
                    EXPECT_TRUE(was != old.files.end() && (bytes == was->second || name == "out.img"))
                        << name << " is not the old image's";
                }
                EXPECT_EQ(got.files.at("out.img"), std::string(kOld.begin(), kOld.end()));
            }
        }
    }
}

// An image held whole that changes under each reading of it is read three
// times before the run gives it up, in both programs, before anything is
// said or written: status 2 and the word that it changed.
TEST_F(InjectedFaultTest, AnImageThatChangesUnderThreeReadingsInARowIsGivenUp)
{
    rewrite = image; // the same bytes again, each time with a time of its own
    for (const int rewrites : {2, 3}) {
        for (const bool isTool : {true, false}) {
            SCOPED_TRACE(std::to_string(rewrites) + " rewrites, " + (isTool ? "zanvo-extract" : "d88info"));
            clearOutputs();
            inject.replaceAt = 0;
            inject.rewrites = rewrites;
            inject.imagePath = imagePath.c_str();
            inject.rewrite = &rewrite;
            const RunResult r = inChild(isTool, {"disk.d88"});
            inject.replaceAt = -1;
            if (rewrites < 3) {
                // The third reading found it still.
                EXPECT_EQ(r.status, 0) << r.err;
                EXPECT_EQ(r.err.find("changed"), std::string::npos) << r.err;
                continue;
            }
            EXPECT_EQ(r.status, 2);
            EXPECT_EQ(r.out, "");
            EXPECT_EQ(r.err, std::string(isTool ? "zanvo-extract" : "d88info") +
                                 ": disk.d88 changed while it was read\n");
            EXPECT_EQ(folder(), std::vector<std::string>{"disk.d88"});
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
        write("DRIVER", kOld);
        write("out.img", kOld);
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
