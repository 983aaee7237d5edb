// Whether a file can be a D88 image at all, decided from the format: the
// first disk's header must describe a disk. Its size must hold at least the
// header itself (0 is taken, as some images carry it), and a track table that
// names tracks must name at least one within the disk size, after the
// header's fixed fields, and starting within the file. Text, random bytes and
// other formats contradict these at once; a damaged or truncated D88 image
// does not.
#ifndef D88INFO_VERDICT_H
#define D88INFO_VERDICT_H

#include "d88/d88_image.h"

#include <string>

namespace d88info {

// True for a possible D88 image; false with the reason otherwise.
bool looksLikeD88(d88::D88Image& image, std::string* reason);

} // namespace d88info

#endif
