// Names in the programs' messages: what reaches a terminal is never a
// control byte or a byte the terminal cannot read, Japanese names stay
// readable on a UTF-8 terminal, and a suggested command, pasted back into a
// shell, names the same file (on Windows, in cmd.exe and PowerShell alike,
// or no file at all).
#include "image_builder.h"
#include "message_text.h"
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

// Names a user may be handed, each as a file holding two disks: an
// unlabelled one, then Disk A (so that zanvo-extract suggests --disk=1).
const std::vector<std::string> kNames = {
    "-n x;id.d88",                          // an option and a second command, pasted
    "it's $HOME `id` *.d88",                // quote, expansion, substitution, pattern
    "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e.d88", // Japanese (UTF-8)
    "title\x1b]0;owned\x07.d88",            // a terminal's escape sequence
    "two\nlines.d88",                       // a newline
    "c1\xc2\x9b" "31m.d88",                 // C1 CSI in UTF-8
    "latin1-\xe9t\xe9.d88",                 // not UTF-8
    "del\x7f.d88",
};

bool utf8Locale(const RunOptions& options)
{
    return options.environment.front().second == "C.UTF-8";
}

// Whether `text` holds only what a terminal of the locale shows as text:
// printable ASCII and line ends, and with UTF-8 well-formed characters past
// U+009F.
::testing::AssertionResult safeForTerminal(const std::string& text, bool utf8)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if ((byte >= 0x20 && byte < 0x7F) || byte == '\n')
            continue;
        if (utf8 && byte >= 0xC2 && byte <= 0xF4) {
            const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : 2;
            bool whole = i + length <= text.size() && !(byte == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0);
            for (std::size_t k = 1; whole && k < length; ++k)
                whole = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
            if (whole) {
                i += length - 1;
                continue;
            }
        }
        return ::testing::AssertionFailure() << "byte " << static_cast<int>(byte) << " at " << i;
    }
    return ::testing::AssertionSuccess();
}

// The command in backquotes that starts with the word `opener` and ends
// right before `closer`, its program name replaced by `program`.
std::string suggested(const std::string& text, const std::string& opener, const std::string& closer,
                      const std::string& program)
{
    const std::size_t end = text.find(closer);
    const std::size_t start = end == std::string::npos ? end : text.rfind("`" + opener + " ", end);
    if (start == std::string::npos)
        return "";
    return program + text.substr(start + 1 + opener.size(), end - start - 1 - opener.size());
}

// Runs a pasted command through a shell: sh, or bash for the $'...' escapes
// (which Debian's sh does not know).
RunResult paste(const std::string& command, const fs::path& cwd, const RunOptions& options)
{
    const bool escapes = command.find("$'") != std::string::npos;
    return testsupport::runProgram(escapes ? "/bin/bash" : "/bin/sh", {"-c", command}, cwd, options);
}

TEST(MessageText, NamesAreSafeToReadAndTheSuggestedCommandsNameTheSameFile)
{
    testimg::Disk diskA = testsupport::diskA(31);
    const testimg::Bytes image = testimg::buildImage({testimg::formattedDisk(32), diskA});
    const testimg::Bytes plain = testimg::buildDisk(testimg::formattedDisk(32));

    for (const std::string& name : kNames) {
        for (const char* locale : {"C.UTF-8", "C"}) {
            SCOPED_TRACE(testing::PrintToString(name) + " in " + locale);
            testsupport::TempDir dir;
            testimg::writeFile((dir / name).string(), image);
            testimg::writeFile((dir / "plain.d88").string(), plain);
            RunOptions options;
            options.environment = {{"LC_ALL", locale}};
            const bool utf8 = utf8Locale(options);
            const std::vector<std::string> args =
                name[0] == '-' ? std::vector<std::string>{"--", name} : std::vector<std::string>{name};

            // zanvo-extract: disk 0 is not the title's; disk 1 is.
            const RunResult r = testsupport::runProgram(kTool, args, dir.path(), options);
            EXPECT_EQ(r.status, 0);
            EXPECT_TRUE(safeForTerminal(r.err, utf8)) << r.err;
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
            if (utf8 && name.find('\xe6') == 0) {
                EXPECT_NE(r.err.find(name), std::string::npos) << r.err; // readable as it is
            }

            // d88info's summary on standard output suggests the same cut.
            const RunResult info = testsupport::runProgram(kInfo, args, dir.path(), options);
            EXPECT_EQ(info.status, 0);
            EXPECT_TRUE(safeForTerminal(info.out.substr(0, info.out.find("  name:")), utf8));

            // Pasted back, each command finds the file: the cut makes the
            // thirteen files of disk 1, and d88info reads the image.
            const std::string cut = suggested(r.err, "zanvo-extract", "` cuts it", kTool);
            ASSERT_FALSE(cut.empty()) << r.err;
            EXPECT_EQ(suggested(info.out, "zanvo-extract", "` cuts this disk", kTool), cut);
            const RunResult pasted = paste(cut, dir.path(), options);
            EXPECT_EQ(pasted.status, 0) << cut << "\n" << pasted.err;
            EXPECT_TRUE(fs::is_regular_file(dir / "ZANVO11")) << cut;
            const RunResult told = paste(suggested(r.err, "d88info", "` tells more", kInfo), dir.path(), options);
            EXPECT_EQ(told.status, 0) << told.err;
            EXPECT_EQ(told.out, info.out);

            // An export of the file, which holds two disks, asks which: the
            // command it shows, given a disk, writes that disk.
            std::vector<std::string> split = {"--split"};
            split.insert(split.end(), args.begin(), args.end());
            const RunResult ask = testsupport::runProgram(kInfo, split, dir.path(), options);
            EXPECT_EQ(ask.status, 1);
            EXPECT_TRUE(safeForTerminal(ask.err, utf8)) << ask.err;
            EXPECT_EQ(std::count(ask.err.begin(), ask.err.end(), '\n'), 1) << ask.err;
            const std::string opener = "say which to export: d88info ";
            const std::size_t from = ask.err.find(opener), to = ask.err.rfind(" DISK\n");
            ASSERT_TRUE(from != std::string::npos && to != std::string::npos && to > from) << ask.err;
            const std::string command = ask.err.substr(from + opener.size(), to - from - opener.size());
            const RunResult exported = paste(kInfo + " -o split.d88 " + command + " 1", dir.path(), options);
            EXPECT_EQ(exported.status, 0) << command << "\n" << exported.err;
            EXPECT_TRUE(fs::is_regular_file(dir / "split.d88")) << command;

            // A failure's message names it safely as well.
            const RunResult missing =
                testsupport::runProgram(kInfo, {"--", name + ".missing"}, dir.path(), options);
            EXPECT_EQ(missing.status, 1);
            EXPECT_TRUE(safeForTerminal(missing.err, utf8)) << missing.err;
        }
    }
}

// The command suggested for another disk keeps what the run was asked: a
// dry run's command writes nothing, and one with -C cuts into that folder
// (given so that it is not taken for an option). Pasted back, each does for
// disk 1 what the run did for disk 0, and a dry run never says a disk was
// cut. d88info's export asking which disk keeps its -o likewise.
TEST(MessageText, TheSuggestedCommandKeepsTheOptionsThatMatter)
{
    testimg::Disk diskA = testsupport::diskA(31);
    const testimg::Bytes otherThenA = testimg::buildImage({testimg::formattedDisk(32), diskA});
    const testimg::Bytes aThenA = testimg::buildImage({diskA, diskA});
    const std::vector<std::vector<std::string>> optionSets = {
        {}, {"-n"}, {"-C", "out"}, {"-n", "-C", "out"}, {"-C", "-out"}, {"--dry-run", "--directory=-out"},
    };
    for (const testimg::Bytes* image : {&otherThenA, &aThenA}) {
        for (const std::vector<std::string>& options : optionSets) {
            std::string shown = image == &aThenA ? "disk 0 cut:" : "disk 0 left alone:";
            for (const std::string& option : options)
                shown += " " + option;
            SCOPED_TRACE(shown);
            const bool dryRun = !options.empty() && (options[0] == "-n" || options[0] == "--dry-run");
            const std::string folder = options.empty() || options.back() == "-n" ? "."
                                       : options.back().find('=') != std::string::npos
                                           ? options.back().substr(options.back().find('=') + 1)
                                           : options.back();
            testsupport::TempDir dir;
            testimg::writeFile((dir / "set.d88").string(), *image);
            fs::create_directory(dir / "out");
            fs::create_directory(dir / "-out");
            std::vector<std::string> args = options;
            args.push_back("set.d88");
            const RunResult r = testsupport::runProgram(kTool, args, dir.path());
            EXPECT_EQ(r.status, 0) << r.err;
            if (image == &aThenA) {
                EXPECT_EQ(r.err.find("disk 0 was cut") != std::string::npos, !dryRun) << r.err;
                EXPECT_EQ(r.err.find("disk 0 would be cut") != std::string::npos, dryRun) << r.err;
            }
            const std::size_t at = r.err.rfind("`zanvo-extract ");
            ASSERT_NE(at, std::string::npos) << r.err;
            const std::string command = r.err.substr(at + 1, r.err.find('`', at + 1) - at - 1);
            EXPECT_NE(command.find(" --disk=1 "), std::string::npos) << command;

            // Pasted back over the run's own files, if any were cut.
            for (const char* place : {".", "out", "-out"})
                for (const testsupport::DiskAFile& f : testsupport::kDiskAFiles)
                    fs::remove(dir / place / f.name);
            const auto before = testsupport::snapshot(dir.path());
            const RunResult pasted =
                paste(kTool + command.substr(std::string("zanvo-extract").size()), dir.path(), {});
            EXPECT_EQ(pasted.status, 0) << command << "\n" << pasted.err;
            for (const char* place : {".", "out", "-out"})
                for (const testsupport::DiskAFile& f : testsupport::kDiskAFiles)
                    EXPECT_EQ(fs::exists(dir / place / f.name), !dryRun && folder == place)
                        << command << ": " << place << "/" << f.name;
            if (dryRun) {
                EXPECT_EQ(testsupport::snapshot(dir.path()), before) << command;
                EXPECT_NE(pasted.out.find("would cut DRIVER ("), std::string::npos) << command;
            }
        }
    }

    // d88info's export of a file of two disks asks which; the command it
    // shows keeps the file asked for, and with a disk given writes it there.
    for (const char* mode : {"--raw", "--split"}) {
        for (const std::string output : {"disk.img", "-disk.img", "-"}) {
            SCOPED_TRACE(std::string(mode) + " -o " + output);
            testsupport::TempDir dir;
            testimg::writeFile((dir / "set.d88").string(), otherThenA);
            const RunResult r = testsupport::runProgram(kInfo, {mode, "-o", output, "set.d88"}, dir.path());
            EXPECT_EQ(r.status, 1);
            const std::size_t at = r.err.find("d88info " + std::string(mode));
            const std::size_t end = r.err.rfind(" DISK\n");
            ASSERT_TRUE(at != std::string::npos && end != std::string::npos && end > at) << r.err;
            const std::string command = r.err.substr(at + 7, end - at - 7) + " 1";
            EXPECT_FALSE(fs::exists(dir / output));
            const RunResult pasted = paste(kInfo + command, dir.path(), {});
            EXPECT_EQ(pasted.status, 0) << command << "\n" << pasted.err;
            if (output == "-") { // standard output
                EXPECT_FALSE(pasted.out.empty()) << command;
                EXPECT_EQ(testsupport::listFolder(dir.path()), std::vector<std::string>{"set.d88"});
            } else {
                EXPECT_TRUE(fs::is_regular_file(dir / output)) << command;
                EXPECT_EQ(testsupport::listFolder(dir.path()), (std::vector<std::string>{output, "set.d88"}));
            }
        }
    }
}

TEST(MessageText, TheNameTheProgramWasStartedByIsShownSafely)
{
    testsupport::TempDir dir;
    for (const char* locale : {"C.UTF-8", "C"}) {
        RunOptions options;
        options.environment = {{"LC_ALL", locale}};
        options.argv0 = "zanvo\x1b[2J\xff";
        const RunResult r = testsupport::runProgram(kTool, {}, dir.path(), options);
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(safeForTerminal(r.err, utf8Locale(options))) << r.err;
        EXPECT_NE(r.err.find("Usage: zanvo"), std::string::npos) << r.err;
    }
}

// The Windows form, by the shells' documented rules: cmd.exe expands %VAR%
// (and !VAR! with delayed expansion) inside double quotes as well, and acts on
// & | < > ^ ( ) outside them; PowerShell expands $ and ` inside double
// quotes, and outside them also splits at , ; and spaces, starts a string at
// ' and ", a splat or an array at @, a comment at #, a block at { and (, and
// reads a word that starts with a digit as a number and one that starts with
// - as a parameter (dropping a "--" on its way to a program). The C runtime
// reads a \ before the closing quote as an escaped quote.
TEST(MessageText, WindowsCommandWordsMeanTheNameInCmdAndPowerShellOrNoFile)
{
    const std::string none = "\"<IMAGE>\"";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"disk.d88", "disk.d88"},
        {"C:\\disks\\disk_1+2@home.d88", "C:\\disks\\disk_1+2@home.d88"},
        {"../disks/.hidden.d88", "../disks/.hidden.d88"},
        {"dir\\", "dir\\"},      // bare, so no quote to escape
        {"-n.d88", ".\\-n.d88"}, // not an option, no "--"
        {"-n x.d88", "\".\\-n x.d88\""},
        {"2019.d88", "\"2019.d88\""}, // a number to PowerShell
        {".5.d88", "\".5.d88\""},
        {"+x.d88", "\"+x.d88\""},
        {"@x.d88", "\"@x.d88\""},   // a splat
        {"~x.d88", "\"~x.d88\""},   // the home folder
        {"a,b.d88", "\"a,b.d88\""}, // two arguments
        {"two words.d88", "\"two words.d88\""},
        {"x&calc (1)^;=|<>.d88", "\"x&calc (1)^;=|<>.d88\""}, // nothing to cmd.exe in quotes
        {"it's {a}[b]#.d88", "\"it's {a}[b]#.d88\""},
        {"\xe6\x97\xa5\xe6\x9c\xac.d88", "\"\xe6\x97\xa5\xe6\x9c\xac.d88\""},
        {"a\xc2\xa0"
         "b.d88",
         "\"a\xc2\xa0"
         "b.d88\""},                                    // a space to PowerShell
        {"\xe2\x80\x93n.d88", "\"\xe2\x80\x93n.d88\""}, // a dash to PowerShell
        {"\xe2\x80\x98q\xe2\x80\x99.d88",
         "\"\xe2\x80\x98q\xe2\x80\x99.d88\""}, // single quotes, inside double
        {"%USERPROFILE%.d88", none},
        {"50%.d88", none},
        {"!x!.d88", none},
        {"$HOME.d88", none},
        {"$(id).d88", none},
        {"`$x.d88", none},
        {"\xe2\x80\x9cq\xe2\x80\x9d.d88", none}, // double quotes to PowerShell
        {"\xe2\x80\x9eq.d88", none},
        {"a\"b.d88", none},
        {"tab\there.d88", none},
        {"latin1-\xe9t\xe9.d88", none},
        {"dir x\\", none},
        {"", none},
    };
    for (const auto& [name, word] : cases)
        EXPECT_EQ(fileio::windowsCommandName(name), word) << testing::PrintToString(name);
    // As an option's value (-C DIR): the same word, and a name no shell
    // leaves alone is a place to put the folder's name in, called so.
    for (const auto& [name, word] : cases)
        EXPECT_EQ(fileio::windowsOptionValue(name, "DIR"), word == none ? "\"<DIR>\"" : word)
            << testing::PrintToString(name);
    EXPECT_EQ(fileio::windowsOptionValue("-", "FILE"), "-"); // standard output, as -o takes it

    // Every ASCII character, first and inside a name: bare only where
    // neither shell acts on any character outside quotes, quoted only where
    // neither expands one inside them, and no file named only where one does.
    const std::string cmdOutside = " &|<>^()%!\"", cmdInside = "%!\"";
    const std::string psOutside = " '\"`$,;(){}|&<>", psStart = "@#~+-0123456789", psInside = "$`\"";
    for (char c = ' '; c < 0x7F; ++c) {
        for (const std::string& name : {std::string(1, c) + "x.d88", "x" + std::string(1, c) + "x.d88"}) {
            const std::string meant = (name[0] == '-' ? ".\\" : "") + name; // not an option
            const std::string word = fileio::windowsCommandName(name);
            const bool expanded = (cmdInside + psInside).find(c) != std::string::npos;
            SCOPED_TRACE(name + " as " + word);
            if (word == meant) {
                EXPECT_EQ((cmdOutside + psOutside).find(c), std::string::npos);
                EXPECT_EQ(psStart.find(meant[0]), std::string::npos);
            } else if (word == none) {
                EXPECT_TRUE(expanded);
            } else {
                EXPECT_FALSE(expanded);
                EXPECT_EQ(word, "\"" + meant + "\"");
            }
        }
    }
}

} // namespace
