// A file cut from several dumps of one disk: each sector from the best copy
// the dumps hold, so that dumps with holes in different places give a whole
// file between them.
//
// For each sector of the run, every dump's copy is looked up as a single
// dump's cut looks it up (file_cut.h), and the best is taken: a copy stored
// whole and unflagged beats one the dumper flagged or whose bytes the image
// leaves in doubt, which beats one stored short (the longest of those),
// which beats none. Where whole, unflagged copies differ, the bytes most
// dumps hold are taken; when no bytes are held by more dumps than any
// other, the earliest dump's copy is taken and the sector is disputed, which
// keeps the file from being complete. Ties between equal copies go to the
// earlier dump. Each sector's note says which dump gave it, and where copies
// disagreed, which dumps hold what was taken and which hold other bytes.
#ifndef ZANVO_JOINED_CUT_H
#define ZANVO_JOINED_CUT_H

#include "file_cut.h"
#include "recognition.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace zanvo {

// The most dumps one cut joins (the first and seven others): a sector's
// note keeps a bit for each.
inline constexpr int kMaxDumps = 8;

// Room for one copy of a sector from each dump: the largest size code a
// record can hold.
struct JoinScratch {
    static constexpr std::size_t kSlot = std::size_t{128} << d88::kMaxStorableSizeCode;
    std::uint8_t copies[kMaxDumps][kSlot];
};

// Fills all of `dest` from the run that begins at `start`, each sector from
// the best copy the maps' laid-out disks hold (at most kMaxDumps maps, the
// first the dump the others are joined to), and notes every sector. Failed,
// with the run cut short and `*failedDump` the index of the map whose
// reading failed, when a read fails. One map is a single dump's recoverRun.
d88::Outcome recoverJoined(std::span<d88::RecordMap* const> maps, const d88::RunStart& start,
                           std::span<std::uint8_t> dest, JoinScratch& scratch, RunRecovery* out,
                           int* failedDump);

// cutRun from several dumps: what is to become of the file `name`, its bytes
// those of `dest` and its facts those of `run` until either is used again.
FileCut cutJoinedRun(std::span<d88::RecordMap* const> maps, const char* name, const d88::RunStart& start,
                     std::span<std::uint8_t> dest, JoinScratch& scratch, RunRecovery& run);

// cutJoinedRun for a row of a plan, into the start of `buffer`.
FileCut cutJoinedRow(std::span<d88::RecordMap* const> maps, const CutEntry& row,
                     std::span<std::uint8_t> buffer, JoinScratch& scratch, RunRecovery& run);

// Finds in another dump the disk to join beside one recognised as `kind`:
// disk `asked`, or with a negative `asked` the first disk of the file that
// is the same disk of the title. Empty, with `*disk` set and that disk laid
// out, when found; otherwise why not, in words: "disk 0 is Disk F", "not a
// D88 image: ...", "none of its 2 disks is Disk A (disk 0 is Disk F)".
// Empty with `*error` set when a read failed.
std::string findDiskToJoin(d88::RecordMap& map, std::int32_t asked, DiskKind kind, std::int32_t* disk,
                           int* error);

} // namespace zanvo

#endif
