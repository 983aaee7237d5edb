// Whether a disk of a file can be a D88 disk, decided from the format: its
// header must describe a disk. Its size must hold at least the header itself
// (0 is taken, as some images carry it), unless the size is one that lies
// (found_record.h): then the disk is judged by its tracks. A track table
// that names tracks must name at least one past the header, within the
// disk, and starting within the file (an entry that strays into the header
// is not held against it). A disk that starts inside the records of an
// earlier disk whose size field lies is no disk at all. Text, random bytes
// and other formats contradict these at once; a damaged or truncated D88
// image does not.
//
// Each disk is judged for itself: a file whose first disk is damaged, but
// which holds D88 disks after it, is a D88 file.
#ifndef D88_VERDICT_H
#define D88_VERDICT_H

#include "d88/d88_image.h"

namespace d88 {

struct Verdict {
    bool possible = false; // the disk (the file) can be a D88 disk (image)
    int readError = 0;     // reading met an error: nothing can be said
    char reason[192] = {}; // why it cannot be one, in plain ASCII
    // For a disk that starts inside an earlier disk's records: that disk
    // and the track; -1 otherwise.
    std::int32_t insideDisk = -1, insideTrack = -1;
};

// Judges disk `index` of the open image, which it leaves selected.
Verdict judgeDisk(D88Image& image, std::int32_t index);

// Judges the open image: possible when any of its indexed disks is. The
// reason, when none is, is disk 0's. Leaves disk 0 selected.
Verdict judgeImage(D88Image& image);

} // namespace d88

#endif
