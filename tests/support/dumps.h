// Dumps of the title's disks built from a formatted disk, and the changes a
// test makes to one dump: sectors dropped, flagged, stored short or holding
// other bytes. Shared by the tests that join dumps and that compare them.
#ifndef TESTS_DUMPS_H
#define TESTS_DUMPS_H

#include "image_builder.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace testsupport {

using testimg::Disk;
using Edit = std::function<void(Disk&)>;

// A formatted disk (interleaved, 16 sectors a track) whose boot sector
// carries Disk A's or Disk F's label.
Disk diskA(int seed = 7, int tracks = 80);
Disk diskF(int seed = 7, int tracks = 80);

// Track `track`'s first record of sector `r`; throws when there is none.
testimg::Record& recordOf(Disk& disk, int track, int r);

// `base` with each edit made in turn.
Disk edited(const std::vector<Edit>& edits, Disk base = diskA());

// Track `track`'s sector `r` (or sectors `first`-`last`) gone; the whole track gone.
Edit drop(int track, int r);
Edit drop(int track, int first, int last);
Edit dropTrack(int track);
// The record's dumper status (0xB0: a data CRC error) or deleted-data mark.
Edit flag(int track, int r, std::uint8_t status = 0xB0);
Edit markDeleted(int track, int r, std::uint8_t mark);
// Only `bytes` of its data stored.
Edit shorten(int track, int r, std::size_t bytes);
// Other bytes throughout, one set for each `variant`; one byte XORed with `mask`.
Edit alter(int track, int r, int variant);
Edit flip(int track, int r, std::size_t at, std::uint8_t mask);
// A second record of the sector after the track's last, with the same bytes or others.
Edit copy(int track, int r, bool sameBytes);

} // namespace testsupport

#endif
