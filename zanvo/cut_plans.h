// Where the title's files lie on its disks. Each file is a run of 256-byte
// sectors (size code 1) starting at a fixed track and sector number; the run
// moves through sectors 1-16 of a track and on to the next track.
#ifndef ZANVO_CUT_PLANS_H
#define ZANVO_CUT_PLANS_H

#include "recognition.h"

#include <cstdint>

namespace zanvo {

struct CutEntry {
    char name[260];      // output file name, in the current directory
    std::int32_t track;  // track index of the first sector: cylinder * 2 + head
    std::int32_t sector; // sector number R of the first sector; 0 ends a plan
    std::int32_t length; // bytes to cut
};

inline constexpr std::int32_t kPlanSizeCode = 1;
inline constexpr std::int32_t kFirstSector = 1;
inline constexpr std::int32_t kLastSector = 16;

// Thirteen files in one unbroken stretch from track 10 sector 6 to track 27
// sector 9, ended by a row whose sector is 0.
extern const CutEntry diskAPlan[];

// One file: sectors 2-16 of track 0 and the sectors that follow.
extern const CutEntry diskFPlan[];

// The plan of a recognised disk; nullptr for Unknown.
const CutEntry* planFor(DiskKind kind);

// The length of the plan's longest file.
std::int32_t longestFile(const CutEntry* plan);

} // namespace zanvo

#endif
