// What a file's cut says to the user: one line for the sectors it lacks, one
// for those read past a record field that lied, one for those the dumper
// flagged, or one for a file none of whose sectors is on the disk. Plain ASCII without a prefix (each program
// adds its own), and every line bounded in length.
#ifndef ZANVO_CUT_REPORT_H
#define ZANVO_CUT_REPORT_H

#include "file_cut.h"

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace zanvo {

// A longer line is cut to this length and ends in "...".
inline constexpr std::size_t kMaxWarningLength = 8191;

struct CutWarnings {
    static constexpr int kMaxLines = 6;
    // Kept from file to file, so that a caller who keeps one object
    // allocates nothing for the lines of later files.
    std::string lines[kMaxLines];
    int count = 0;
};

// The warnings of one file's cut, in the order they are said:
//   "NAME: none of its 11 sectors is on the disk (track 19 sectors 10-16,
//    track 20 sectors 1-4); not written"
//   "NAME: 9 of 21 sectors missing (track 19 sectors 1-9); zeros written for
//    what is missing", and likewise for sectors stored short
//   "NAME: complete; 15 sectors read past a wrong data size field on track 12
//    and a wrong sector count field on track 16; WHERE", "complete; " only
//    for a complete file (isComplete), WHERE telling where to see the detail
//    (zanvo-extract: "`d88info IMAGE 0` shows where")
//   "NAME: 2 sectors flagged when the disk was dumped, written as stored:
//    track 10 sector 7: data CRC error; track 11 sector 2: deleted data"
// and, for a file cut from several dumps (joined_cut.h), `dumps` naming
// them in order:
//   "NAME: complete from 2 dumps: track 19 sectors 1-9 from second.d88", or
//    for a file that is not complete "9 sectors from other dumps: ..."
//   "NAME: dumps disagree on 2 sectors: track 12 sector 3: first.d88,
//    third.d88 against second.d88, the majority's bytes taken; track 13
//    sector 1: disputed, first.d88 against second.d88, first.d88's bytes
//    taken"
// None for a cut that lacks nothing, or whose reading failed.
void warningsFor(const FileCut& cut, std::string_view where, CutWarnings* out,
                 std::span<const std::string> dumps = {});

// Complete: every sector of the run found whole, none flagged by the dumper,
// none uncertain and none disputed between dumps (a sector read past a
// field that lied is whole).

bool isComplete(const RunRecovery& run);

// What a dry run says of a file, on one line without a prefix: "would cut
// ZANVO01 (4352 bytes)", then what it lacks, what would be read past a field
// that lied ("12 sectors would be read past a field that lied: ...", each
// field named) and what the dumper flagged, each after "; "; or "would not
// cut ZANVO09: none of its 3 sectors is on the disk (track 23 sectors
// 13-15)". Empty when the file could not be read.
void dryRunLine(const FileCut& cut, std::string* out, std::span<const std::string> dumps = {});

// What became of a plan's files: complete, with holes (sectors missing or
// stored short), whole but with sectors the dumper flagged, disputed between
// dumps or in doubt, or not written (none of its sectors on the disk, a read
// or a write that failed); and of the complete ones, those complete only
// thanks to other dumps and those where dumps disagreed.
struct CutTally {
    int complete = 0, withHoles = 0, flagged = 0, disputed = 0, uncertain = 0, notWritten = 0;
    int joined = 0, outvoted = 0;
    void count(const FileCut& cut, bool written);
};

// The run's last word when a file is not complete, or owes its being complete
// to other dumps: "of 13 files, 7 complete, 5 with holes, 1 with flagged
// sectors, 0 not written" ("would be complete, ... would have holes, ...
// would not be written" for a dry run), "13 complete (2 only thanks to other
// dumps, 1 where dumps disagree)", and "1 with disputed sectors" where there
// are; empty when every file came out complete from its own dump.
std::string tallyLine(const CutTally& tally, bool dryRun);

} // namespace zanvo

#endif
