#include "joined_cut.h"

#include "d88_words.h"
#include "recognition.h"

#include "d88/file_kind.h"

#include <string>

namespace zanvo {

namespace {

// Why disk `disk` of the dump, recognised as `recognised`, is not a disk of
// the title; empty when a read failed (`*error` set).
std::string whyNot(d88::RecordMap& map, std::int32_t disk, const Recognised& recognised,
                   const std::uint8_t* boot, int* error)
{
    const std::string which = "disk " + std::to_string(disk);
    switch (recognised.what) {
    case Recognition::NotD88:
        return notD88Words(map, disk, recognised.verdict, error);
    case Recognition::NoBootSector:
        return which + " has no boot sector (track 0, C 0 H 0 R 1 N 1)";
    case Recognition::NoKnownLabel:
        return which + " is neither Disk A nor Disk F of ZANVO: its boot sector holds no label (" +
               labelBytes(boot) + ")";
    case Recognition::DiskA:
    case Recognition::DiskF:
        return which + " is " + kindName(recognised.kind());
    case Recognition::ReadFailed:
        *error = recognised.error;
        return "";
    }
    return "";
}

} // namespace

std::string findDiskToJoin(d88::RecordMap& map, std::int32_t asked, DiskKind kind, std::int32_t* disk,
                           int* error)
{
    d88::D88Image& image = map.image();
    std::uint8_t boot[kBootSectorSize] = {};
    const std::int32_t disks = image.diskCount();
    const std::int32_t first = asked >= 0 ? asked : 0;
    const std::int32_t end = asked >= 0 ? asked + 1 : (disks > 0 ? disks : 1);
    std::string firstReason;
    for (std::int32_t index = first; index < end; ++index) {
        const Recognised recognised = recogniseDisk(map, boot, index);
        if (recognised.what == Recognition::ReadFailed) {
            *error = recognised.error;
            return "";
        }
        if (recognised.kind() == kind) {
            *disk = index;
            return "";
        }
        std::string reason = whyNot(map, index, recognised, boot, error);
        if (*error != 0)
            return "";
        if (index == first)
            firstReason = std::move(reason);
    }
    if (end - first == 1)
        return firstReason;
    return std::string("none of its ") + std::to_string(disks) + " disks is " + kindName(kind) + " (" +
           firstReason + ")";
}

} // namespace zanvo
