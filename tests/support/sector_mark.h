// The mark d88info's map is to show for a sector, said from what the cut
// noted of it: shared by the tests that hold the map to the recovery.
#ifndef TESTS_SECTOR_MARK_H
#define TESTS_SECTOR_MARK_H

#include "file_cut.h"

namespace testsupport {

// For a sector its track holds once, with the track's own C/H and size
// code: '.' missing, 's' stored short, '?' uncertain, '!' flagged (standing
// for any of the flags' letters), '~' read past a field that lied, '#'
// present.
inline char markFor(const zanvo::SectorNote& note)
{
    if (note.fate == zanvo::SectorFate::Missing)
        return '.';
    if (note.fate == zanvo::SectorFate::Short)
        return 's';
    if (note.uncertain)
        return '?';
    if (note.flags.any())
        return '!';
    return note.lie.field != d88::LyingField::None ? '~' : '#';
}

} // namespace testsupport

#endif
