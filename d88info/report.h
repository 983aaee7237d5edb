// d88info's reports, written to a stream in plain ASCII.
#ifndef D88INFO_REPORT_H
#define D88INFO_REPORT_H

#include "d88/d88_image.h"

#include <cstdio>

namespace d88info {

// One block per indexed disk; for the first, whether its boot sector carries
// a ZANVO label.
void printSummary(std::FILE* out, d88::D88Image& image);

// Every present track of disk `disk` with the IDs of its records, then a map
// of sector numbers per track. False when the disk cannot be selected.
bool printTracks(std::FILE* out, d88::D88Image& image, int disk);

} // namespace d88info

#endif
