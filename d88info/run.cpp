#include "run.h"

#include "error_text.h"
#include "exit_status.h"
#include "export_source.h"
#include "image_checked_source.h"
#include "json_report.h"
#include "options.h"
#include "raw_export.h"
#include "report.h"
#include "standard_streams.h"
#include "write_output.h"

#include "d88/verdict.h"

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
    std::fprintf(stderr, "d88info: %s\n%s", why.c_str(), kUsage);
    return fileio::kExitUsage;
}

int refused(const char* why)
{
    std::fprintf(stderr, "d88info: %s\n", why);
    return fileio::kExitFailed;
}

int finishStdout(int status)
{
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "d88info: cannot write to standard output: %s\n",
                     fileio::errorText(errno).c_str());
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
    std::fprintf(stderr, "d88info: %s\n", fileio::cannotRead(path, error).c_str());
    return fileio::kExitFailed;
}

int writeExport(const Options& options, d88::D88Image& image, const Export& exported)
{
    d88::FileIdentity identity;
    const d88::FileIdentity* protect = image.fileIdentity(&identity) ? &identity : nullptr;
    ExportSource source(image, exported);
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
        std::fprintf(stderr, "d88info: cannot write %s: %s\n",
                     options.output ? options.output : "to standard output", reason.c_str());
        return fileio::kExitFailed;
    }
    if (!exported.holes.empty()) {
        std::fprintf(stderr, "d88info: %s\n", exported.holes.c_str());
        return fileio::kExitHoles;
    }
    if (!exported.stop.empty()) {
        std::fprintf(stderr, "d88info: %s; %lld of %lld bytes exported\n", exported.stop.c_str(),
                     static_cast<long long>(exported.length), static_cast<long long>(exported.wanted));
        return fileio::kExitHoles;
    }
    return fileio::kExitDone;
}

int asJson(d88::D88Image& image, TrackScan& scan, const char* path)
{
    std::string document;
    if (const int error = imageJson(image, scan, path, &document))
        return cannotRead(path, error);
    std::fputs(document.c_str(), stdout);
    std::fputc('\n', stdout);
    return finishStdout(fileio::kExitDone);
}

int summarise(d88::D88Image& image, TrackScan& scan, const char* path)
{
    GatheredImage gathered;
    if (const int error = gatherImage(image, scan, path, &gathered))
        return cannotRead(path, error);
    printSummary(stdout, gathered.facts);
    return finishStdout(fileio::kExitDone);
}

int runOpened(const Options& options, d88::D88Image& image, std::string& why);

} // namespace

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
    if ((options.mode == Mode::Raw || options.mode == Mode::Split) && fileio::leadsToTerminal(options.output))
        return refused(kToTerminal);

    const char* path = options.image;
    d88::D88Image image;
    if (!image.open(path)) {
        std::fprintf(stderr, "d88info: %s\n", fileio::cannotOpen(path, image.ioError()).c_str());
        return fileio::kExitUsage;
    }
    d88::FileIdentity identity;
    if (image.fileIdentity(&identity) && !fileio::beginRun(identity, "d88info"))
        return fileio::kExitFailed;
    const int status = runOpened(options, image, why);
    // What was shown or written holds only for the image as it was opened.
    if (const int changed = saidChanged ? 0 : image.unchanged())
        return cannotRead(path, changed);
    return status;
}

namespace {

int runOpened(const Options& options, d88::D88Image& image, std::string& why)
{
    const char* path = options.image;
    const d88::Verdict verdict = d88::judgeImage(image);
    if (verdict.readError)
        return cannotRead(path, verdict.readError);
    if (!verdict.possible) {
        std::fprintf(stderr, "d88info: %s: not a D88 image: %s\n", path, verdict.reason);
        if (options.mode == Mode::Json) {
            std::fputs((notD88Json(path, image.fileSize(), verdict.reason) + "\n").c_str(), stdout);
            return finishStdout(fileio::kExitUsage);
        }
        return fileio::kExitUsage;
    }
    TrackScan scan;
    if (!scan.ok())
        return cannotRead(path, ENOMEM);
    if (options.mode == Mode::Summary)
        return summarise(image, scan, path);
    if (options.mode == Mode::Json)
        return asJson(image, scan, path);

    if (options.disk >= image.diskCount()) {
        if (moreDisksAt(image) >= 0)
            std::fprintf(stderr,
                         "d88info: %s holds more than %d disks, and only the first %d can be read; "
                         "there is no disk %d among them\n",
                         path, d88::kMaxDisks, d88::kMaxDisks, options.disk);
        else
            std::fprintf(stderr, "d88info: %s has %d disk%s; there is no disk %d\n", path, image.diskCount(),
                         image.diskCount() == 1 ? "" : "s", options.disk);
        return fileio::kExitUsage;
    }
    DiskFacts disk;
    int error = 0;
    switch (gatherDisk(image, options.disk, scan, &disk, &error)) {
    case Gathering::ReadFailed:
        return cannotRead(path, error);
    case Gathering::NoHeader:
        std::fprintf(stderr, "d88info: disk %d's header cannot be read\n", options.disk);
        return fileio::kExitFailed;
    case Gathering::Whole:
        break;
    }
    if (options.mode == Mode::Tracks) {
        error = printTracks(stdout, image, scan, disk);
        const int status = finishStdout(fileio::kExitDone);
        return error ? cannotRead(path, error) : status;
    }

    Export exported;
    const bool made = options.mode == Mode::Raw ? exportRaw(image, scan, disk, &exported, &why)
                                                : exportDisk(disk, &exported, &why);
    if (exported.readError)
        return cannotRead(path, exported.readError);
    if (!made) {
        std::fprintf(stderr, "d88info: %s\n", why.c_str());
        return fileio::kExitFailed;
    }
    return writeExport(options, image, exported);
}

} // namespace

} // namespace d88info
