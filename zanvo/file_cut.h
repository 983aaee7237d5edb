// The cut of the title's files: each file of a plan recovered sector by
// sector, and what became of it handed to the caller, one file at a time.
// Nothing here writes a file or says anything: zanvo-extract writes and
// reports each file before the next is read; the page collects them.
//
// A file is recovered so that a damaged disk gives every sector it still
// holds. Its run is walked as the reader's sector runs walk it (sector
// numbers first..last of a track, then head 0 -> 1 of the cylinder, then the
// next cylinder), each sector looked up in its track as the record map reads
// it, so that fields that lie do not hide the bytes behind them; a missing sector
// does not end it: its bytes, and the unstored tail of a sector stored
// short, become zeros, and the run goes on. What became of each sector is
// noted for the warnings.
#ifndef ZANVO_FILE_CUT_H
#define ZANVO_FILE_CUT_H

#include "cut_plans.h"

#include "d88/record_map.h"

#include <cstdint>
#include <span>

namespace zanvo {

enum class SectorFate : std::uint8_t {
    Whole,   // all its bytes were stored
    Short,   // found, with less data than the run needed from it
    Missing, // not on the disk: track absent, ID not in the track, other size code
};

struct SectorNote {
    std::int32_t track = 0; // track index
    std::int32_t r = 0;     // sector number
    SectorFate fate = SectorFate::Missing;
    d88::SectorFlags flags; // what the dumper recorded with it
    bool uncertain = false; // its bytes hold a header the track could as well be read from
    d88::Lie lie;           // what keeps the strict rule from its bytes
    // With several dumps of the disk (joined_cut.h): the dump its bytes came
    // from (0 the first), and where whole, unflagged copies held different
    // bytes, the dumps that hold the bytes taken and those that hold others
    // (one bit a dump).
    std::uint8_t from = 0;
    std::uint8_t agree = 0, differ = 0;
    bool disputed = false; // no value was held by more dumps than every other
};

// A whole 2D disk of 256-byte sectors: the longest run a cut can ask for.
inline constexpr std::int32_t kMaxRunSectors = 1280;

struct RunRecovery {
    std::int32_t count = 0;      // sectors in the run; the first kMaxRunSectors are noted
    std::int32_t found = 0;      // of them on the disk, whole or short
    std::int32_t missing = 0;    // not on the disk
    std::int32_t stubby = 0;     // stored shorter than needed
    std::int32_t flagged = 0;    // carrying a flag of the dumper's
    std::int32_t lied = 0;       // read past a record field that lied
    std::int32_t uncertain = 0;  // whose bytes the image leaves in doubt
    std::int32_t fromOthers = 0; // taken from a dump other than the first
    std::int32_t disagreed = 0;  // whose whole, unflagged copies differ
    std::int32_t disputed = 0;   // of them, without a majority
    SectorNote sectors[kMaxRunSectors] = {};

    // Notes the run's next sector and counts it.
    void add(const SectorNote& note)
    {
        if (count < kMaxRunSectors)
            sectors[count] = note;
        ++count;
        found += note.fate != SectorFate::Missing;
        missing += note.fate == SectorFate::Missing;
        stubby += note.fate == SectorFate::Short;
        flagged += note.flags.any();
        lied += note.lie.field != d88::LyingField::None;
        uncertain += note.uncertain;
        fromOthers += note.from != 0;
        disagreed += note.differ != 0;
        disputed += note.disputed;
    }
};

// Fills all of `dest` from the run that begins at `start`, in pieces of the
// nominal sector size (the whole of `dest` in one piece for a size code no
// record can hold), and notes every sector. Needs no memory beyond its
// arguments. Failed, with the run cut short, when a read fails.
d88::Outcome recoverRun(d88::RecordMap& map, const d88::RunStart& start, std::span<std::uint8_t> dest,
                        RunRecovery* out);

enum class CutOutcome {
    Cut,        // at least one sector is on the disk: the file is to be written
    NotOnDisk,  // none of its sectors is: nothing to write
    ReadFailed, // reading met an I/O error (or the reader ran short of memory)
};

// What became of one file.
struct FileCut {
    const char* name = "";
    CutOutcome outcome = CutOutcome::NotOnDisk;
    int error = 0;                       // with ReadFailed: the reader's error
    int dump = 0;                        // with ReadFailed: the dump whose reading failed
    std::span<const std::uint8_t> bytes; // with Cut: every byte of the run, zeros for what is missing
    const RunRecovery* run = nullptr;    // what was found of each sector: the facts of its warnings
};

// Recovers the run from `start` into all of `dest` (noting each sector in
// `run`) and says what is to become of the file `name`. The bytes are those
// of `dest`, and the facts those of `run`, until either is used again.
FileCut cutRun(d88::RecordMap& map, const char* name, const d88::RunStart& start,
               std::span<std::uint8_t> dest, RunRecovery& run);

// cutRun for a row of a plan, into the start of `buffer`: its run starts at
// its sector on its track (the cylinder and head the track index gives),
// size code 1, sectors 1-16 a track.
FileCut cutRow(d88::RecordMap& map, const CutEntry& row, std::span<std::uint8_t> buffer, RunRecovery& run);

// Cuts every file of `plan` in order, up to the row whose sector is 0: each
// into the start of `buffer`, handed to `take` before the next is read. A
// file that is not on the disk, or whose reading fails, does not stop the
// files after it. `buffer` holds the plan's longest file (longestFile); a
// row that would not fit is cut short to it rather than overrun it.
template <class Take>
void cutPlan(d88::RecordMap& map, const CutEntry* plan, std::span<std::uint8_t> buffer, RunRecovery& run,
             Take&& take)
{
    for (const CutEntry* row = plan; row->sector != 0; ++row)
        take(cutRow(map, *row, buffer, run));
}

} // namespace zanvo

#endif
