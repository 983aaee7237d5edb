#include "compare_run.h"

#include "compare_report.h"
#include "error_text.h"
#include "exit_status.h"
#include "message_text.h"
#include "report.h"
#include "run.h"
#include "standard_streams.h"

#include "d88/file_kind.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <new>
#include <string>

namespace d88info {

namespace {

// One dump as the run holds it.
struct Dump {
    const char* path = nullptr;
    int disk = 0;
    d88::D88Image image;
    d88::RecordMap map{image};
    std::unique_ptr<DiskFacts> facts;
};

int cannotRead(const Dump& dump, int error)
{
    fileio::sayLine("d88info", fileio::cannotRead(dump.path, error));
    return fileio::kExitFailed;
}

// The file is a D88 image: 0, or the status the run ends with, having said
// why.
int judgeImage(Dump& dump)
{
    d88::FileVerdict verdict;
    if (const d88::Outcome judged = d88::judgeFile(dump.map, &verdict); judged.failed())
        return cannotRead(dump, judged.error);
    if (verdict.kind != d88::FileKind::D88) {
        std::string reason;
        if (const int error = notD88Words(dump.map, verdict, &reason))
            return cannotRead(dump, error);
        fileio::sayLine("d88info", std::string(dump.path) + ": not a D88 image: " + reason);
        return fileio::kExitUsage;
    }
    return 0;
}

// Without --disk each file must hold one disk: guessing would compare
// another disk than the user has in mind. 0, or the status of the refusal.
int oneDiskEach(const std::unique_ptr<Dump> (&dumps)[2])
{
    const int counts[2] = {dumps[0]->image.diskCount(), dumps[1]->image.diskCount()};
    if (counts[0] == 1 && counts[1] == 1)
        return 0;
    const bool utf8 = fileio::messagesReadUtf8();
    std::string said;
    for (const std::unique_ptr<Dump>& dump : dumps) {
        const int count = dump->image.diskCount();
        if (count != 1)
            said += (said.empty() ? "" : " and ") + std::string(dump->path) + " holds " +
                    std::to_string(count) + (count == 1 ? " disk" : " disks");
    }
    const char* form = counts[0] != 1 && counts[1] != 1 ? "--disk=J,K "
                       : counts[0] != 1                 ? "--disk=J,0 "
                                                        : "--disk=0,K ";
    fileio::sayLine(
        "d88info",
        said + "; say which to compare: d88info --compare " + form +
            fileio::commandName(dumps[0]->path, utf8) + " " + fileio::commandName(dumps[1]->path, utf8) +
            " (--disk=J,K takes disk J of the first and K of the second, --disk=K disk K of both)");
    return fileio::kExitUsage;
}

// The disk asked for is there and is a D88 disk; its facts gathered and
// the disk laid out. 0, or the status the run ends with, having said why.
int takeDisk(Dump& dump)
{
    const int disks = dump.image.diskCount();
    if (dump.disk >= disks) {
        fileio::sayLine("d88info", fileio::noSuchDisk(dump.image, dump.path, dump.disk));
        return fileio::kExitUsage;
    }
    dump.facts.reset(new (std::nothrow) DiskFacts);
    if (!dump.facts)
        return cannotRead(dump, ENOMEM);
    int error = 0;
    switch (gatherDisk(dump.map, dump.disk, dump.facts.get(), &error)) {
    case Gathering::ReadFailed:
        return cannotRead(dump, error);
    case Gathering::NoHeader:
        fileio::sayLine("d88info", std::string(dump.path) + ": disk " + std::to_string(dump.disk) +
                                       "'s header cannot be read");
        return fileio::kExitFailed;
    case Gathering::Whole:
        break;
    }
    if (!dump.facts->verdict.d88) {
        fileio::sayLine("d88info", std::string(dump.path) + ": disk " + std::to_string(dump.disk) +
                                       " is not a D88 disk: " + notD88Reason(*dump.facts));
        return fileio::kExitUsage;
    }
    if (const d88::Outcome loaded = dump.map.loadDisk(dump.disk); !loaded.done())
        return cannotRead(dump, loaded.failed() ? loaded.error : EIO);
    return 0;
}

} // namespace

int runCompare(const Options& options)
{
    std::unique_ptr<Dump> dumps[2];
    const char* paths[2] = {options.image, options.second};
    const int disks[2] = {options.disk, options.secondDisk};
    for (int side = 0; side < 2; ++side) {
        dumps[side].reset(new (std::nothrow) Dump);
        if (!dumps[side]) {
            fileio::sayLine("d88info", fileio::cannotRead(paths[side], ENOMEM));
            return fileio::kExitFailed;
        }
        Dump& dump = *dumps[side];
        dump.path = paths[side];
        dump.disk = disks[side];
        if (const d88::Outcome opened = dump.image.openImage(dump.path); !opened.done()) {
            fileio::sayLine("d88info", fileio::cannotOpen(dump.path, opened.error));
            return fileio::kExitUsage;
        }
        d88::FileIdentity identity;
        if (dump.image.fileIdentity(&identity) && !fileio::beginRun(identity, "d88info"))
            return fileio::kExitFailed;
    }
    for (const std::unique_ptr<Dump>& dump : dumps)
        if (const int status = judgeImage(*dump))
            return status;
    if (!options.diskGiven)
        if (const int status = oneDiskEach(dumps))
            return status;
    for (const std::unique_ptr<Dump>& dump : dumps)
        if (const int status = takeDisk(*dump))
            return status;

    ComparedDisk compared[2];
    for (int side = 0; side < 2; ++side) {
        Dump& dump = *dumps[side];
        compared[side] = {dump.path, dump.image.diskCount(), dump.image.fileSize(), dump.facts.get(),
                          &dump.map};
    }
    ComparisonTotals totals;
    CompareError failed;
    const bool done = options.json ? compareJson(stdout, compared, &totals, &failed)
                                   : compareListing(stdout, compared, &totals, &failed);
    if (!done)
        return cannotRead(*dumps[failed.side], failed.error);
    if (options.json)
        std::fputc('\n', stdout);
    // What was shown holds only for the images as they were opened.
    for (const std::unique_ptr<Dump>& dump : dumps)
        if (const int changed = dump->image.checkUnchanged().error)
            return cannotRead(*dump, changed);
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        fileio::sayLine("d88info", "cannot write to standard output: " + fileio::errorText(errno));
        return fileio::kExitFailed;
    }
    return totals.same() ? fileio::kExitDone : kExitDumpsDiffer;
}

} // namespace d88info
