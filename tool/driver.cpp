#include "driver.h"

#include "console.h"
#include "cut_file.h"
#include "cut_plans.h"
#include "early_end.h"
#include "error_text.h"
#include "message_text.h"
#include "messages.h"
#include "options.h"
#include "output_folder.h"
#include "other_dumps.h"
#include "paths.h"
#include "recognition.h"
#include "standard_streams.h"

#include <cstdio>
#include <span>
#include <string>

namespace zanvo {

namespace {

constexpr char kHelp[] =
    "Recognises an image of the ZANVO title's Disk A or Disk F by the label in its boot sector\n"
    "and cuts that disk's files: DRIVER and ZANVO00-ZANVO11 from Disk A, DISKF from Disk F.\n"
    "Sectors missing from a damaged disk are written as zeros, and record fields that lie are\n"
    "read past, each with a warning on standard error. Any other image is left alone, and\n"
    "standard error says why; `d88info IMAGE` shows what an image holds.\n"
    "\n"
    "Options, before the image (-- ends them; an image named -x is ./-x or follows --):\n"
    "  -C DIR, --directory DIR   cut into the folder DIR, which must exist, not the current one\n"
    "  --disk K                  recognise and cut disk K of a file of several (0 is the first)\n"
    "  -n, --dry-run             write nothing: say what would be cut, with its holes and flags\n"
    "  --also FILE               another dump of the same disk: each file's sectors are taken\n"
    "                            from the best copy among the dumps (repeat for more dumps)\n"
    "  --also-disk K             after --also FILE: join disk K of FILE, not the first disk of\n"
    "                            FILE that is the same disk of the title\n"
    "  -h, --help, --version\n"
    "\n"
    "Examples:\n"
    "  zanvo-extract disk-a.d88                 the files, into the current folder\n"
    "  zanvo-extract -C out disk-a.d88          the files, into the folder out\n"
    "  zanvo-extract --disk=1 set.d88           the files of the second disk in set.d88\n"
    "  zanvo-extract -n damaged.d88             what would be cut, and what it lacks\n"
    "  zanvo-extract --also b.d88 --also c.d88 a.d88\n"
    "                                           the files from three dumps of one disk\n"
    "\n";

// The name the program was started by is shown as every name is.
int usage(const char* program)
{
    std::fprintf(stderr, kUsageFormat, fileio::escapedText(program, fileio::messagesReadUtf8()).c_str());
    return fileio::kExitUsage;
}

// The run's last word, when a file of the plan is not all there. A run the
// image's change stopped has said so instead.
void sayHowItWent(const ToolState& state)
{
    if (state.imageChanged)
        return;
    const std::string line = tallyLine(state.tally, state.dryRun);
    if (!line.empty())
        say(line);
}

// A folder that can take no file is refused once, before anything is cut,
// rather than once for each file. A dry run writes nothing, so it goes on,
// saying first that a cut would write nothing there.
bool folderTakesTheFiles(ToolState& state)
{
    std::string reason;
    if (fileio::currentFolderTakesFiles(&reason))
        return true;
    const std::string folder = state.directory ? state.directory : "the current folder";
    if (state.dryRun) {
        say("a cut would write nothing into " + folder + ": " + reason);
        return true;
    }
    say("cannot cut into " + folder + ": " + reason + "; nothing was cut");
    return false;
}

// A file that ends before its disk does is said once, with where, before the
// lines of the files it takes sectors from.
void sayEarlyEnd(ToolState& state, const CutEntry* plan)
{
    EarlyEnd end;
    if (const d88::Outcome found = findEarlyEnd(state.map, &end); found.failed())
        reportReadFailure(state, nullptr, found.error);
    else if (end.early())
        say(std::string(state.imagePath) + ": " + earlyEndWords(end, state.disk, plan));
}

} // namespace

int runDriver(ToolState& state, int argc, char* argv[])
{
    const char* program = argc > 0 && argv[0] ? argv[0] : "zanvo-extract";
    ToolOptions options;
    std::string why;
    switch (parseToolOptions(argc, argv, &options, &why)) {
    case Parsed::WrongCount:
        return usage(program);
    case Parsed::BadOption:
        say(why);
        return usage(program);
    case Parsed::Ok:
        break;
    }
    if (options.mode == ToolOptions::Mode::Help) {
        char line[512];
        std::snprintf(line, sizeof line, kUsageFormat, program);
        printMessage(state, line);
        printMessage(state, kHelp);
        printMessage(state, fileio::kExitStatusHelp);
        return state.failed ? fileio::kExitFailed : fileio::kExitDone;
    }
    if (options.mode == ToolOptions::Mode::Version) {
        printMessage(state, "zanvo-extract " ZANVO_VERSION "\n");
        return state.failed ? fileio::kExitFailed : fileio::kExitDone;
    }
    if (const d88::Outcome opened = state.image.openImage(options.image); !opened.done()) {
        // Opened, but never read as one state of the file.
        if (opened.error == d88::kErrorImageChanged) {
            state.imagePath = options.image;
            reportReadFailure(state, nullptr, opened.error);
            return fileio::kExitFailed;
        }
        sayFixed(kOpenFailed);
        reportOpenFailure(options.image, opened.error);
        return fileio::kExitUsage;
    }
    state.imagePath = options.image;
    state.directory = options.directory;
    state.disk = options.disk;
    state.dryRun = options.dryRun;
    state.image.fileIdentity(&state.imageIdentity);
    if (!fileio::beginRun(state.imageIdentity, "zanvo-extract"))
        return fileio::kExitFailed;
    if (options.disk >= state.image.diskCount() && options.disk > 0) {
        say(fileio::noSuchDisk(state.image, options.image, options.disk));
        return fileio::kExitUsage;
    }
    // The image and the other dumps are found from where the program
    // started, the files go into the folder asked for, with every protection
    // the current folder has.
    if (const int status = openOtherDumps(state, options); status != fileio::kExitDone)
        return status;
    if (int error = 0; options.directory && !fileio::changeFolder(options.directory, &error)) {
        say("cannot cut into " + std::string(options.directory) + ": " + fileio::errorText(error));
        return fileio::kExitUsage;
    }

    const std::span<std::uint8_t, kBootSectorSize> boot(state.bootSector);
    const Recognised recognised = recogniseDisk(state.map, boot, options.disk);
    if (recognised.what == Recognition::ReadFailed) {
        reportReadFailure(state, nullptr, recognised.error);
        return fileio::kExitFailed;
    }
    if (const CutEntry* plan = planFor(recognised.kind())) {
        // Every other dump is judged before anything is said or cut.
        if (const int status = judgeOtherDumps(state, options, recognised.kind());
            status != fileio::kExitDone)
            return status;
        printFixed(state, recognised.kind() == DiskKind::DiskA ? kDiskARecognised : kDiskFRecognised);
        if (!folderTakesTheFiles(state))
            return fileio::kExitFailed;
        sayEarlyEnd(state, plan);
        runPlan(state, plan);
        sayHowItWent(state);
        sayOtherDisks(state, options.disk);
    } else {
        sayWhyNot(state, recognised, options.disk);
    }
    // What was said and cut holds only for the image as it was opened.
    if (int dump = 0; const int changed = state.imageChanged ? 0 : dumpsChanged(state, &dump)) {
        reportReadFailure(state, nullptr, changed, dumpPath(state, dump));
        state.imageChanged = changed == d88::kErrorImageChanged;
    }
    return state.failed ? fileio::kExitFailed : fileio::kExitDone;
}

} // namespace zanvo
