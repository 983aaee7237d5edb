// Why an image was left alone: the one thing zanvo-extract says, on standard
// error, of an image that is not Disk A or Disk F, so that leaving it alone
// never reads as success; and, when a disk was cut, the other disks of the
// file that are Disk A or Disk F, which would otherwise go unnoticed.
#include "console.h"
#include "d88_words.h"
#include "message_text.h"
#include "recognition.h"

#include <span>
#include <string>

namespace zanvo {

namespace {

// The command that does for disk `index` what this run did for its disk,
// with the options that matter given again: -n (a dry run's user asked for
// nothing to be written, and a pasted command must not write either) and the
// folder cut into.
std::string sameRunFor(const ToolState& state, std::int32_t index)
{
    const bool utf8 = fileio::messagesReadUtf8();
    std::string command = "zanvo-extract ";
    if (state.dryRun)
        command += "-n ";
    if (state.directory)
        command += "-C " + fileio::optionValueName(state.directory, utf8, "DIR") + " ";
    return command + "--disk=" + std::to_string(index) + " " + fileio::commandName(state.imagePath, utf8);
}

// "; disk 1 is Disk A: `zanvo-extract --disk=1 IMAGE` cuts it" for each other
// disk of the file that carries a label. A read that fails ends the look,
// and the run fails with it.
std::string otherDisks(ToolState& state, std::int32_t asked)
{
    std::string said;
    std::uint8_t boot[kBootSectorSize];
    const std::int64_t askedAt = state.image.diskOffset(asked);
    for (std::int32_t index = 0; index < state.image.diskCount(); ++index) {
        // A disk size of 0 indexes the same disk again and again, and a
        // disk index that starts inside another disk's records is no disk:
        // neither is another disk.
        if (index == asked || state.image.diskOffset(index) == askedAt)
            continue;
        // Only the label is wanted here: no verdict on a disk that has none.
        d88::Outcome read = state.map.loadDisk(index);
        if (read.done())
            read = readBootSector(state.map, boot);
        const DiskKind kind = read.done() ? recogniseLabel(boot) : DiskKind::Unknown;
        d88::DiskVerdict verdict;
        if (kind != DiskKind::Unknown && !read.failed())
            read = d88::judgeDisk(state.map, index, &verdict);
        if (read.failed()) {
            reportReadFailure(state, nullptr, read.error);
            break;
        }
        if (kind == DiskKind::Unknown || verdict.insideDisk >= 0)
            continue;
        said += "; disk " + std::to_string(index) + " is " + kindName(kind) + ": `" +
                sameRunFor(state, index) + (state.dryRun ? "` says what would be cut" : "` cuts it");
    }
    return said;
}

} // namespace

void sayOtherDisks(ToolState& state, std::int32_t cut)
{
    // A run the image's change stopped did not cut the disk, and the file
    // the other disks would be read from is no longer the one opened.
    if (state.imageChanged)
        return;
    const std::string others = otherDisks(state, cut);
    if (!others.empty())
        say(std::string(state.imagePath) + ": disk " + std::to_string(cut) +
            (state.dryRun ? " would be cut" : " was cut") + others);
}

void sayWhyNot(ToolState& state, const Recognised& recognised, std::int32_t disk)
{
    const std::string image = state.imagePath;
    const std::string info =
        "`d88info " + fileio::commandName(image, fileio::messagesReadUtf8()) + "` tells more";
    const std::string which = "disk " + std::to_string(disk);
    switch (recognised.what) {
    case Recognition::NotD88: {
        int error = 0;
        const std::string words = notD88Words(state.map, disk, recognised.verdict, &error);
        if (words.empty())
            reportReadFailure(state, nullptr, error);
        else
            say(image + ": " + words + otherDisks(state, disk));
        return;
    }
    case Recognition::NoBootSector: {
        // A disk of another kind keeps its boot sector in another size:
        // named as what it is, not as a 2D disk that lost a sector.
        std::int32_t sizeCode = -1;
        if (const d88::Outcome read = otherBootSizeCode(state.map, &sizeCode); read.failed()) {
            reportReadFailure(state, nullptr, read.error);
            return;
        }
        if (const std::string other = otherKindWords(state.image.mediaType(), sizeCode); !other.empty())
            say(image + ": " + which +
                " is neither Disk A nor Disk F of ZANVO, which are 2D disks with a 256-byte boot sector: " +
                other + "; " + info + otherDisks(state, disk));
        else
            say(image + ": " + which +
                " has no boot sector (track 0, C 0 H 0 R 1 N 1), so it is neither Disk A " +
                "nor Disk F of ZANVO; " + info + otherDisks(state, disk));
        return;
    }
    case Recognition::NoKnownLabel:
        say(image + ": " + which +
            " is neither Disk A nor Disk F of ZANVO: its boot sector holds no label (" +
            labelBytes(state.bootSector) + "); " + info + otherDisks(state, disk));
        return;
    case Recognition::DiskA:
    case Recognition::DiskF:
    case Recognition::ReadFailed:
        return;
    }
}

} // namespace zanvo
