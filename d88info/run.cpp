#include "run.h"

#include "compare_run.h"
#include "error_text.h"
#include "exit_status.h"
#include "export_source.h"
#include "image_checked_source.h"
#include "json_report.h"
#include "message_text.h"
#include "options.h"
#include "raw_export.h"
#include "report.h"
#include "standard_streams.h"
#include "write_output.h"

#include "d88/file_kind.h"
#include "d88/record_map.h"
#include "d88_words.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <new>
#include <string>

namespace d88info {

namespace {

constexpr char kToTerminal[] =
    "refusing to write a disk image to a terminal: give -o FILE or redirect standard output";

int badUsage(const std::string& why)
{
    fileio::sayLine("d88info", why);
    std::fputs(kUsage, stderr);
    return fileio::kExitUsage;
}

int refused(const char* why)
{
    fileio::sayLine("d88info", why);
    return fileio::kExitFailed;
}

int finishStdout(int status)
{
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        fileio::sayLine("d88info", "cannot write to standard output: " + fileio::errorText(errno));
        return fileio::kExitFailed;
    }
    return status;
}

// Whether this run has said that the image changed while it was read, so
// that the last look at the image does not say it again.
bool saidChanged = false;

// A read error, or memory the reader could not get, is not a damaged disk:
// nothing learned through the failed read is shown or written.
int cannotRead(const char* path, int error)
{
    saidChanged = saidChanged || error == d88::kErrorImageChanged;
    fileio::sayLine("d88info", fileio::cannotRead(path, error));
    return fileio::kExitFailed;
}

int writeExport(const Options& options, d88::RecordMap& map, const Export& exported)
{
    d88::D88Image& image = map.image();
    d88::FileIdentity identity;
    const d88::FileIdentity* protect = image.fileIdentity(&identity) ? &identity : nullptr;
    ExportSource source(map, exported);
    // Checked once all is written, before a file takes its name; a stream
    // has had the bytes by then, and the run's status says what they are.
    fileio::ImageCheckedSource checked(source, image);
    std::string reason;
    switch (fileio::writeOutput(options.output, checked, protect, &reason)) {
    case fileio::Delivery::Written:
        break;
    case fileio::Delivery::Terminal:
        return refused(kToTerminal);
    case fileio::Delivery::SourceFailed:
        return cannotRead(options.image, checked.changed() ? checked.changed() : source.error());
    case fileio::Delivery::Failed:
        fileio::sayLine("d88info", std::string("cannot write ") +
                                       (options.output ? options.output : "to standard output") + ": " +
                                       reason);
        return fileio::kExitFailed;
    }
    if (const std::string holes = source.holes(); !holes.empty()) {
        fileio::sayLine("d88info", holes);
        return fileio::kExitHoles;
    }
    if (!exported.stop.empty()) {
        fileio::sayLine("d88info", exported.stop + "; " + std::to_string(exported.length) + " of " +
                                       std::to_string(exported.wanted) + " bytes exported");
        return fileio::kExitHoles;
    }
    return fileio::kExitDone;
}

// The document is written as it is made: a read that fails on the way
// leaves it unfinished, and the status says so.
int asJson(d88::RecordMap& map, const char* path)
{
    JsonWriter json(stdout);
    const int error = imageJson(map, path, json);
    json.finish();
    if (error)
        return cannotRead(path, error);
    std::fputc('\n', stdout);
    return finishStdout(fileio::kExitDone);
}

int summarise(d88::RecordMap& map, const char* path)
{
    GatheredImage gathered;
    if (const int error = gatherImage(map, path, &gathered))
        return cannotRead(path, error);
    printSummary(stdout, gathered.facts);
    return finishStdout(fileio::kExitDone);
}

int runOpened(const Options& options, d88::RecordMap& map, std::string& why);

} // namespace

int notD88Words(d88::RecordMap& map, const d88::FileVerdict& verdict, std::string* reason)
{
    // Disk 0's reason, where the file's first bytes say nothing else.
    d88::DiskVerdict disk0;
    std::uint8_t header[d88::kDiskHeaderSize] = {};
    std::int64_t got = 0;
    d88::Outcome read = d88::judgeDisk(map, 0, &disk0);
    if (!read.failed())
        read = map.image().readFileBytes(0, header, &got);
    if (read.failed())
        return read.error;
    *reason = zanvo::notD88FileWords(verdict, zanvo::notD88DiskWords(disk0, header));
    return 0;
}

int runInfo(int argc, char* argv[])
{
    saidChanged = false;
    Options options;
    std::string why;
    if (!parseOptions(argc, argv, &options, &why))
        return badUsage(why);
    if (options.mode == Mode::Help || options.mode == Mode::Version) {
        if (options.mode == Mode::Help) {
            std::fputs(kHelp, stdout);
            std::fputs(fileio::kExitStatusHelp, stdout);
        } else {
            std::fputs("d88info " ZANVO_VERSION "\n", stdout);
        }
        return finishStdout(fileio::kExitDone);
    }
    if (options.mode == Mode::Compare)
        return runCompare(options);
    if ((options.mode == Mode::Raw || options.mode == Mode::Split) && fileio::leadsToTerminal(options.output))
        return refused(kToTerminal);

    const char* path = options.image;
    d88::D88Image image;
    if (const d88::Outcome opened = image.openImage(path); !opened.done()) {
        // Opened, but never read as one state of the file.
        if (opened.error == d88::kErrorImageChanged)
            return cannotRead(path, opened.error);
        fileio::sayLine("d88info", fileio::cannotOpen(path, opened.error));
        return fileio::kExitUsage;
    }
    d88::FileIdentity identity;
    if (image.fileIdentity(&identity) && !fileio::beginRun(identity, "d88info"))
        return fileio::kExitFailed;
    d88::RecordMap map(image);
    const int status = runOpened(options, map, why);
    // What was shown or written holds only for the image as it was opened.
    if (const int changed = saidChanged ? 0 : image.checkUnchanged().error)
        return cannotRead(path, changed);
    return status;
}

namespace {

int runOpened(const Options& options, d88::RecordMap& map, std::string& why)
{
    const char* path = options.image;
    d88::D88Image& image = map.image();
    d88::FileVerdict verdict;
    if (const d88::Outcome judged = d88::judgeFile(map, &verdict); judged.failed())
        return cannotRead(path, judged.error);
    if (verdict.kind != d88::FileKind::D88) {
        std::string reason;
        if (const int error = notD88Words(map, verdict, &reason))
            return cannotRead(path, error);
        fileio::sayLine("d88info", std::string(path) + ": not a D88 image: " + reason);
        if (options.mode == Mode::Json) {
            std::fputs((notD88Json(path, verdict, reason) + "\n").c_str(), stdout);
            return finishStdout(fileio::kExitUsage);
        }
        return fileio::kExitUsage;
    }
    if (options.mode == Mode::Summary)
        return summarise(map, path);
    if (options.mode == Mode::Json)
        return asJson(map, path);

    // An export without a disk number is of the one disk a file holds; a
    // file of several must say which, since guessing would write the wrong
    // disk without a word.
    if (!options.diskGiven && image.diskCount() != 1) {
        // The command keeps the output asked for.
        const bool utf8 = fileio::messagesReadUtf8();
        const std::string output =
            options.output ? "-o " + fileio::optionValueName(options.output, utf8, "FILE") + " " : "";
        fileio::sayLine("d88info", std::string(path) + " holds " + std::to_string(image.diskCount()) +
                                       " disks; say which to export: d88info " +
                                       (options.mode == Mode::Raw ? "--raw " : "--split ") + output +
                                       fileio::commandName(path, utf8) + " DISK");
        return fileio::kExitUsage;
    }
    if (options.disk >= image.diskCount()) {
        fileio::sayLine("d88info", fileio::noSuchDisk(image, path, options.disk));
        return fileio::kExitUsage;
    }
    std::unique_ptr<DiskFacts> held(new (std::nothrow) DiskFacts);
    if (!held)
        return cannotRead(path, ENOMEM);
    DiskFacts& disk = *held;
    int error = 0;
    switch (gatherDisk(map, options.disk, &disk, &error)) {
    case Gathering::ReadFailed:
        return cannotRead(path, error);
    case Gathering::NoHeader:
        fileio::sayLine("d88info", "disk " + std::to_string(options.disk) + "'s header cannot be read");
        return fileio::kExitFailed;
    case Gathering::Whole:
        break;
    }
    // Each disk is judged for itself.
    if (!disk.verdict.d88) {
        fileio::sayLine("d88info", std::string(path) + ": disk " + std::to_string(options.disk) +
                                       " is not a D88 disk: " + notD88Reason(disk));
        return fileio::kExitUsage;
    }
    if (options.mode == Mode::Tracks) {
        error = printTracks(stdout, map, disk);
        const int status = finishStdout(fileio::kExitDone);
        return error ? cannotRead(path, error) : status;
    }

    Export exported;
    int readError = 0;
    const bool made = options.mode == Mode::Raw ? exportRaw(map, disk, &exported, &why, &readError)
                                                : exportDisk(disk, &exported, &why);
    if (readError)
        return cannotRead(path, readError);
    if (!made) {
        fileio::sayLine("d88info", why);
        return fileio::kExitFailed;
    }
    return writeExport(options, map, exported);
}

} // namespace

} // namespace d88info
