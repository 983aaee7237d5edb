// A track's records as its bytes show them, behind fields that lie.
//
// Real dumps carry record fields that lie: data sizes of 0 or of another
// size than the sector's, sector counts of 0, counts that differ from record
// to record or are written big-endian, disk sizes of 0, table entries that
// point at the disk's end or into its header. D88Image's strict operations
// read what the fields say; the found records read what the bytes hold:
//
//   - A track's records end at its extent: the next higher track start that
//     is not inside another track's records, else the disk's end, else the
//     end of the file. A disk size lies when it ends the disk before or
//     inside the records of a track the disk's own table names (sizes below
//     688 and negative ones included), unless a disk header there names a
//     track whose first record is plausible; the disk then ends where its
//     records do.
//   - A header is plausible for a track when its C and H equal the previous
//     record's, its N is at most 8, its density byte is 0x00 or 0x40, it is
//     not sixteen zero bytes, and the record fits in the extent (by the
//     smaller of its data size and nominal size; the record its count says
//     is the track's last needs only its header to fit). From each record
//     the walk steps by its data size when that lands on a plausible header
//     or exactly on the extent's end; otherwise by its nominal size (128 <<
//     N) when that does, and the record then gives its nominal bytes;
//     otherwise it looks inside the record's claimed data for the first
//     header with the record's C, H and N, a known density and an R not yet
//     seen, from which plausible records (resynchronising again where they
//     must) reach the extent's end or the count's last record: the record
//     is stored short, up to it. Otherwise, while the sector counts say the
//     track goes on, by its data size as the strict rule does: what that
//     reaches is "counted", no record of the disk's own, though a lookup
//     still finds it; and the record it left is "size unverified".
//   - A walk that steps onto a record another track's walk reached first
//     goes on as that walk did: each record is kept once.
//   - Table entries equal to a disk size that tells the truth, or pointing
//     into the header, name no track.
//
// Nothing is invented: a sector that is not in the track stays missing, a
// record gives no byte of another record's header nor of the next track,
// an honest record longer than its size code gives what its data size
// says, and a record stored with no data gives none.
#ifndef D88_FOUND_RECORD_H
#define D88_FOUND_RECORD_H

#include "d88/layout.h"
#include "d88/sector_flags.h"

#include <cstdint>

namespace d88 {

// What a track's table entry leads to, as the found records see it.
enum class TrackStanding : std::uint8_t {
    Absent,     // entry 0, past the table's end, at or past the disk's end
    IntoHeader, // the entry points into the disk header: it names no track
    PastEnd,    // a track of the disk that the file ends before
    Present,
};

// The field whose lie the strict rule would have followed, where only the
// found records reach a record's bytes.
enum class LyingField : std::uint8_t {
    None,
    DataSize,    // a data size that does not step to the next record
    SectorCount, // a sector count that ends the track before its records do
    DiskSize,    // a disk size that ends the disk before or inside its tracks' records
};

struct Lie {
    LyingField field = LyingField::None;
    std::int32_t track = 0; // where the lying record is (DataSize, SectorCount)
    SectorId id;
    std::int32_t says = 0;   // what the field says
    std::int32_t stored = 0; // what is there: bytes stored (DataSize), records held (SectorCount)
    friend constexpr bool operator==(const Lie&, const Lie&) = default;
};

// One record of a track as found.
struct FoundRecord {
    SectorId id;
    std::int32_t sectorCount = 0; // as its field says
    std::int32_t dataSize = 0;    // as its field says
    SectorFlags flags;
    std::uint8_t density = 0;
    std::int64_t headerPos = 0; // file position of its header
    std::int64_t dataPos = 0;   // file position of its data
    std::int32_t available = 0; // bytes a found read gives: its data size, its nominal size
                                // where its data size lied, up to the next record where it
                                // is stored short; fewer where the file ends
    bool nominalStep = false;   // its data size lied: the walk stepped by its nominal size
    bool storedShort = false;   // its data size lied: the next record starts inside its claimed data
    bool sizeUnverified = false; // no plausible record follows where its count says one does
    bool counted = false;       // reached only as the sector counts say, through no plausible header
    Lie pastLie;                // what the strict rule would have been misled by to miss these bytes
};

namespace detail {
template <class Text> void appendNumber(Text& out, std::int64_t value)
{
    char digits[24];
    char* end = digits + sizeof digits;
    char* at = end;
    *--at = '\0';
    const bool negative = value < 0;
    std::uint64_t rest = negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    do {
        *--at = static_cast<char>('0' + rest % 10);
        rest /= 10;
    } while (rest != 0);
    if (negative)
        *--at = '-';
    out.append(at);
}
} // namespace detail

// Appends the words for a lie to `out` (a string with append(const char*)):
// "the data size field of track 12 sector 3 says 0 where 256 bytes are
// stored", "the sector count field of track 13 sector 5 says 0 where the
// track holds 16 records", "the disk size field says 0".
template <class Text> void appendLieWords(Text& out, const Lie& lie)
{
    if (lie.field == LyingField::DiskSize) {
        // The field is an unsigned 32-bit number, whatever it holds.
        out.append("the disk size field says ");
        detail::appendNumber(out, static_cast<std::uint32_t>(lie.says));
        return;
    }
    const bool size = lie.field == LyingField::DataSize;
    out.append(size ? "the data size field of track " : "the sector count field of track ");
    detail::appendNumber(out, lie.track);
    out.append(" sector ");
    detail::appendNumber(out, lie.id.r);
    out.append(" says ");
    detail::appendNumber(out, lie.says);
    out.append(size ? " where " : " where the track holds ");
    detail::appendNumber(out, lie.stored);
    out.append(size ? " bytes are stored" : (lie.stored == 1 ? " record" : " records"));
}

} // namespace d88

#endif
