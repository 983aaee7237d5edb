// Whether a file can be a D88 image at all, decided from the format: the
// first disk's header must describe a disk. Its size must hold at least the
// header itself (0 is taken, as some images carry it), and a track table
// that names tracks must name at least one within the disk size, past the
// header, and starting within the file (an entry that strays into the
// header is not held against it). Text, random bytes and
// other formats contradict these at once; a damaged or truncated D88 image
// does not.
#ifndef D88_VERDICT_H
#define D88_VERDICT_H

#include "d88/d88_image.h"

namespace d88 {

struct Verdict {
    bool possible = false; // the file can be a D88 image
    int readError = 0;     // reading met an error: nothing can be said
    char reason[192] = {}; // why it cannot be one, in plain ASCII
};

// Judges the open image by its first disk, which it selects.
Verdict judgeImage(D88Image& image);

} // namespace d88

#endif
