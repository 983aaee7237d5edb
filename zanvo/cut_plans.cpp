#include "cut_plans.h"

#include <algorithm>

namespace zanvo {

// clang-format off
const CutEntry diskAPlan[] = {
    // name       track  sector  length     sectors  last track/sector
    {"DRIVER",     10,     6,    0x1600},   // 22       11/11
    {"ZANVO00",    11,    12,    0x0100},   //  1       11/12
    {"ZANVO01",    11,    13,    0x1100},   // 17       12/13
    {"ZANVO02",    12,    14,    0x3700},   // 55       16/4
    {"ZANVO03",    16,     5,    0x1000},   // 16       17/4
    {"ZANVO04",    17,     5,    0x1000},   // 16       18/4
    {"ZANVO05",    18,     5,    0x1500},   // 21       19/9
    {"ZANVO06",    19,    10,    0x0B00},   // 11       20/4
    {"ZANVO07",    20,     5,    0x2300},   // 35       22/7
    {"ZANVO08",    22,     8,    0x1500},   // 21       23/12
    {"ZANVO09",    23,    13,    0x0300},   //  3       23/15
    {"ZANVO10",    23,    16,    0x2200},   // 34       26/1
    {"ZANVO11",    26,     2,    0x1800},   // 24       27/9
    {"",            0,     0,    0},
};

const CutEntry diskFPlan[] = {
    {"DISKF",       0,     2,    0x7200},   // 114       7/3
    {"",            0,     0,    0},
};
// clang-format on

const CutEntry* planFor(DiskKind kind)
{
    switch (kind) {
    case DiskKind::DiskA:
        return diskAPlan;
    case DiskKind::DiskF:
        return diskFPlan;
    case DiskKind::Unknown:
        break;
    }
    return nullptr;
}

std::int32_t longestFile(const CutEntry* plan)
{
    std::int32_t longest = 0;
    for (const CutEntry* row = plan; row->sector != 0; ++row)
        longest = std::max(longest, row->length);
    return longest;
}

} // namespace zanvo
