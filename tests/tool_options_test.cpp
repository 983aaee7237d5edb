// zanvo-extract's options and the form of its Japanese messages: one table of
// argument vectors, each with its status, standard output and the files it
// leaves where; and the messages' bytes on a terminal of each locale and
// through a pipe.
#include "image_builder.h"
#include "support/dumps.h"
#include "support/test_support.h"
#include "terminal_text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

namespace {

namespace fs = std::filesystem;
using testimg::Bytes;
using testsupport::RunResult;

using testsupport::convert;

const std::string kRecognisedA = "ZANVO (Disk A)を認識しました.\n";
const std::string kOpenFailed = "ファイルをオープンできません.\n";

class ToolOptionsTest : public testsupport::FolderTest {
  protected:
    void SetUp() override
    {
        diskA = testsupport::diskA(31);
        damaged = diskA;
        damaged.tracks.erase(19);
        write("disk-a.d88", testimg::buildDisk(diskA));
        write("-x.d88", testimg::buildDisk(diskA));
        write("damaged.d88", testimg::buildDisk(damaged));
        write("set.d88", testimg::buildImage({testimg::formattedDisk(32), diskA}));
        fs::create_directory(dir / "out");
    }
    // Every file the run left, by folder: name -> bytes.
    std::map<std::string, Bytes> cut(const fs::path& folder) const
    {
        std::map<std::string, Bytes> files;
        for (const std::string& name : testsupport::listFolder(folder))
            if (name.find(".d88") == std::string::npos && fs::is_regular_file(folder / name))
                files[name] = *testsupport::readFile(folder / name);
        return files;
    }
    std::map<std::string, Bytes> expected(const testimg::Disk& disk) const
    {
        std::map<std::string, Bytes> files;
        for (const testsupport::DiskAFile& f : testsupport::kDiskAFiles) {
            int found = 0;
            Bytes bytes = testimg::expectedRecovery(disk, f.track, f.sector, f.length, &found);
            if (found > 0)
                files[f.name] = std::move(bytes);
        }
        return files;
    }

    testimg::Disk diskA, damaged;
};

std::string lines(const char* prefix, bool sizes)
{
    std::string out;
    for (const testsupport::DiskAFile& f : testsupport::kDiskAFiles)
        out +=
            std::string(prefix) + f.name + (sizes ? " (" + std::to_string(f.length) + " bytes)" : "") + "\n";
    return out;
}

TEST_F(ToolOptionsTest, EachArgumentVector)
{
    const std::string recognised = convert(kRecognisedA, "CP932");
    const std::string cutting = recognised + lines("cutting ... ", false);
    const std::string usage = "Usage: zanvo-extract [d88file]\n";
    const std::map<std::string, Bytes> none, all = expected(diskA);
    std::map<std::string, Bytes> fromDamaged = expected(damaged);
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out, err;
        const std::map<std::string, Bytes>& here;  // in the current folder
        const std::map<std::string, Bytes>& inOut; // in the folder out
    };
    const Case cases[] = {
        {{"disk-a.d88"}, 0, cutting, "", all, none},
        {{"-C", "out", "disk-a.d88"}, 0, cutting, "", none, all},
        {{"--directory", "out", "disk-a.d88"}, 0, cutting, "", none, all},
        {{"--directory=out", "disk-a.d88"}, 0, cutting, "", none, all},
        {{"-C", "missing", "disk-a.d88"},
         1,
         "",
         "zanvo-extract: cannot cut into missing: No such file or directory\n",
         none,
         none},
        {{"-C", "disk-a.d88", "disk-a.d88"},
         1,
         "",
         "zanvo-extract: cannot cut into disk-a.d88: Not a directory\n",
         none,
         none},
        {{"-C"}, 1, "", "zanvo-extract: -C needs a value\n" + usage, none, none},
        {{"--disk=1", "set.d88"}, 0, cutting, "", all, none},
        {{"--disk", "1", "-C", "out", "set.d88"}, 0, cutting, "", none, all},
        {{"--disk=2", "set.d88"},
         1,
         "",
         "zanvo-extract: set.d88 has 2 disks; there is no disk 2\n",
         none,
         none},
        {{"--disk=one", "set.d88"},
         1,
         "",
         "zanvo-extract: --disk needs a disk number (0, 1, ...), not one\n" + usage,
         none,
         none},
        {{"-n", "disk-a.d88"}, 0, recognised + lines("would cut ", true), "", none, none},
        {{"--dry-run", "-C", "out", "damaged.d88"},
         0,
         recognised +
             [] {
                 std::string out = lines("would cut ", true);
                 const auto put = [&out](const std::string& name, const std::string& facts) {
                     const std::size_t at = out.find("would cut " + name + " ");
                     out.insert(out.find('\n', at), facts);
                 };
                 put("ZANVO05", "; 9 of 21 sectors missing (track 19 sectors 1-9)");
                 put("ZANVO06", "; 7 of 11 sectors missing (track 19 sectors 10-16)");
                 return out;
             }(),
         "zanvo-extract: of 13 files, 11 would be complete, 2 would have holes, 0 would have flagged "
         "sectors, 0 would not be written\n",
         none,
         none},
        {{"-C", "out", "damaged.d88"},
         0,
         cutting,
         "zanvo-extract: warning: ZANVO05: 9 of 21 sectors missing (track 19 sectors 1-9); zeros written for "
         "what "
         "is missing\nzanvo-extract: warning: ZANVO06: 7 of 11 sectors missing (track 19 sectors 10-16); "
         "zeros "
         "written for what is missing\n" +
             testsupport::cutSummary(11, 2, 0),
         none,
         fromDamaged},
        {{"--", "-x.d88"}, 0, cutting, "", all, none},
        {{"-x.d88"}, 1, "", "zanvo-extract: unknown option -x.d88\n" + usage, none, none},
        {{"--bogus", "disk-a.d88"}, 1, "", "zanvo-extract: unknown option --bogus\n" + usage, none, none},
        {{"-n", "disk-a.d88", "set.d88"}, 1, "", usage, none, none},
        {{"--version", "disk-a.d88"}, 1, "", usage, none, none},
        {{"-h", "disk-a.d88"}, 1, "", usage, none, none}, // alone, as --help
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const std::string& arg : c.args)
            shown += " " + arg;
        SCOPED_TRACE("zanvo-extract" + shown);
        testsupport::RunOptions asTyped;
        asTyped.argv0 = "zanvo-extract";
        const RunResult r = testsupport::runProgram(ZANVO_EXTRACT_PATH, c.args, dir.path(), asTyped);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(cut(dir.path()), c.here);
        EXPECT_EQ(cut(dir / "out"), c.inOut);
        for (const testsupport::DiskAFile& f : testsupport::kDiskAFiles) {
            fs::remove(dir / f.name);
            fs::remove(dir / "out" / f.name);
        }
    }
}

// -h is --help, as d88info takes it; the usage line before it stays the
// fixed one.
TEST_F(ToolOptionsTest, DashHIsHelp)
{
    testsupport::RunOptions asTyped;
    asTyped.argv0 = "zanvo-extract";
    const RunResult shortForm = testsupport::runProgram(ZANVO_EXTRACT_PATH, {"-h"}, dir.path(), asTyped);
    const RunResult longForm = testsupport::runProgram(ZANVO_EXTRACT_PATH, {"--help"}, dir.path(), asTyped);
    EXPECT_EQ(shortForm.status, 0);
    EXPECT_EQ(shortForm.err, "");
    EXPECT_EQ(shortForm.out, longForm.out);
    EXPECT_EQ(shortForm.out.substr(0, shortForm.out.find('\n') + 1), "Usage: zanvo-extract [d88file]\n");
}

// The Japanese messages in UTF-8 on a terminal whose locale reads UTF-8,
// and as their Shift_JIS bytes anywhere else: another locale, or a pipe. Each
// stream by its own reader: the recognition on standard output, the open
// failure on standard error, either one a terminal without the other.
TEST_F(ToolOptionsTest, JapaneseMessagesInTheFormTheirStreamReads)
{
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::string>> environment;
        bool outTerminal, errTerminal;
        const char* encoding; // on a terminal of the locale
    };
    const std::vector<std::pair<std::string, std::string>> utf8 = {
        {"LC_ALL", ""}, {"LC_CTYPE", ""}, {"LANG", "ja_JP.UTF-8"}};
    const Case cases[] = {
        {"a UTF-8 terminal", utf8, true, true, "UTF-8"},
        {"LC_ALL first", {{"LC_ALL", "C.utf8"}, {"LC_CTYPE", "C"}, {"LANG", "C"}}, true, true, "UTF-8"},
        {"LC_CTYPE before LANG",
         {{"LC_ALL", ""}, {"LC_CTYPE", "ja_JP.SJIS"}, {"LANG", "ja_JP.UTF-8"}},
         true,
         true,
         "CP932"},
        {"a terminal of the C locale",
         {{"LC_ALL", ""}, {"LC_CTYPE", ""}, {"LANG", "C"}},
         true,
         true,
         "CP932"},
        {"no locale at all", {{"LC_ALL", ""}, {"LC_CTYPE", ""}, {"LANG", ""}}, true, true, "CP932"},
        {"a pipe", utf8, false, false, "CP932"},
        {"standard output a terminal, standard error a pipe", utf8, true, false, "UTF-8"},
        {"standard error a terminal, standard output a pipe", utf8, false, true, "UTF-8"},
    };
    const auto onTerminal = [](std::string text) {
        for (std::size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 2)
            text.insert(at, "\r"); // a terminal's line discipline writes CR LF
        return text;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::RunOptions options;
        options.environment = c.environment;
        options.stdoutKind =
            c.outTerminal ? testsupport::StdoutKind::Terminal : testsupport::StdoutKind::Capture;
        options.stderrToTerminal = c.errTerminal;
        const RunResult cut =
            testsupport::runProgram(ZANVO_EXTRACT_PATH, {"-n", "disk-a.d88"}, dir.path(), options);
        const std::string recognised = convert(kRecognisedA, c.outTerminal ? c.encoding : "CP932");
        EXPECT_EQ(cut.status, 0);
        EXPECT_EQ(cut.out.substr(0, recognised.size() + (c.outTerminal ? 1 : 0)),
                  c.outTerminal ? onTerminal(recognised) : recognised);
        const RunResult missing =
            testsupport::runProgram(ZANVO_EXTRACT_PATH, {"missing.d88"}, dir.path(), options);
        const std::string said = convert(kOpenFailed, c.errTerminal ? c.encoding : "CP932") +
                                 "zanvo-extract: cannot open missing.d88: No such file or directory\n";
        EXPECT_EQ(missing.status, 1);
        // Standard error's bytes: from the terminal both share, from its own
        // terminal, or as written.
        const std::string& err = c.outTerminal && c.errTerminal ? missing.out : missing.err;
        EXPECT_EQ(err, c.errTerminal ? onTerminal(said) : said);
    }
}

TEST(TerminalText, TheLocaleTheEnvironmentNames)
{
    struct Case {
        const char *all, *ctype, *lang;
        bool utf8;
    };
    const Case cases[] = {
        {nullptr, nullptr, "ja_JP.UTF-8", true},
        {nullptr, nullptr, "en_US.utf8", true},
        {nullptr, nullptr, "C.UTF-8@euro", true},
        {nullptr, nullptr, "ja_JP.eucJP", false},
        {nullptr, nullptr, "C", false},
        {nullptr, nullptr, "UTF-8", false},
        {"", "", "ja_JP.UTF-8", true},
        {"C", nullptr, "ja_JP.UTF-8", false},
        {nullptr, "ja_JP.SJIS", "en_US.UTF-8", false},
        {nullptr, nullptr, nullptr, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(fileio::localeReadsUtf8(c.all, c.ctype, c.lang), c.utf8)
            << (c.all ? c.all : "-") << " " << (c.ctype ? c.ctype : "-") << " " << (c.lang ? c.lang : "-");
}

} // namespace
