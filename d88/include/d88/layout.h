// Fixed sizes of the D88 image layout and the little-endian field readers.
//
// Every integer taken out of an image goes through readLE16/readLE32: they
// assemble the value byte by byte, so neither the host's byte order nor the
// alignment of the source matters.
#ifndef D88_LAYOUT_H
#define D88_LAYOUT_H

#include <cstdint>
#include <cstring>

namespace d88 {

inline constexpr std::int32_t kMaxDisks = 64;
inline constexpr std::int32_t kMaxTracks = 164;
inline constexpr std::int32_t kDiskHeaderSize = 0x2B0; // 688
inline constexpr std::int32_t kSectorHeaderSize = 16;

// An image is disks one after another: the first at offset 0, each next one
// at the disk's start plus its disk size. A disk is its header and its
// tracks' data. Offsets inside the disk header (0x10-0x19 are reserved):
inline constexpr std::int32_t kDiskNameOffset = 0x00; // NUL-terminated unless all 16 bytes are used
inline constexpr std::int32_t kDiskNameLength = 16;
inline constexpr std::int32_t kWriteProtectOffset = 0x1A; // 0x10 when write-protected
inline constexpr std::int32_t kMediaTypeOffset = 0x1B;
inline constexpr std::int32_t kDiskSizeOffset = 0x1C;   // the whole disk's, header included
inline constexpr std::int32_t kTrackTableOffset = 0x20; // kMaxTracks offsets of a track's first record
                                                        // from the disk's start; 0: absent

// Offsets inside a sector header.
inline constexpr std::int32_t kSectorCountOffset = 4;
inline constexpr std::int32_t kDensityOffset = 6;
inline constexpr std::int32_t kDeletedMarkOffset = 7;
inline constexpr std::int32_t kStatusOffset = 8;
inline constexpr std::int32_t kDataSizeOffset = 14;

// A sector count is a 16-bit field, so no track can hold more records.
inline constexpr std::int32_t kMaxRecordsPerTrack = 0xFFFF;

// The four ID bytes of a sector record: cylinder, head, sector number, size
// code.
struct SectorId {
    std::uint8_t c = 0;
    std::uint8_t h = 0;
    std::uint8_t r = 0;
    std::uint8_t n = 0;
    friend constexpr bool operator==(const SectorId&, const SectorId&) = default;
};

// A record's data size is a 16-bit field, so size code 8 (32,768 bytes) is the
// largest whose whole nominal sector a record can hold.
inline constexpr std::int32_t kMaxStorableSizeCode = 8;

// The nominal data length of a sector of size code n, 128 << n; 0 for a code
// whose sector no record can hold whole (above 8) and for negative values.
constexpr std::int32_t nominalSectorSize(std::int32_t n)
{
    return n >= 0 && n <= kMaxStorableSizeCode ? 128 << n : 0;
}

// byte 0 + byte 1 * 256; never sign-extended.
inline std::int32_t readLE16(const std::uint8_t* bytes)
{
    return static_cast<std::int32_t>(bytes[0] | (static_cast<std::uint32_t>(bytes[1]) << 8));
}

// byte 0 + byte 1 * 2^8 + byte 2 * 2^16 + byte 3 * 2^24, assembled unsigned and
// then converted, so a top bit set gives a negative value, never undefined
// behaviour.
inline std::int32_t readLE32(const std::uint8_t* bytes)
{
    const std::uint32_t value =
        static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
        (static_cast<std::uint32_t>(bytes[2]) << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
    return static_cast<std::int32_t>(value); // modular since C++20
}

// The density bytes dumpers write: double, single, and high (some write
// 0x01 for a 2HD disk's records).
constexpr bool knownDensity(std::uint8_t density)
{
    return density == 0x00 || density == 0x40 || density == 0x01;
}

// A record header's 16 bytes, parsed once: the one description of the
// record layout that both readers use.
//
//   0  C, H, R, N (u8 each)  cylinder, head, sector number, size code
//   4  sector count (16)     records in this track
//   6  density (u8)          0x00 double, 0x40 single, 0x01 high
//   7  deleted mark (u8)     non-zero: deleted-data address mark
//   8  status (u8)           controller status when dumped (0: no error)
//   9  reserved[5]
//   14 data size (16)        bytes of data following the header
struct RecordHeader {
    SectorId id;
    std::uint16_t sectorCount = 0;
    std::uint8_t density = 0;
    std::uint8_t deletedMark = 0;
    std::uint8_t status = 0;
    std::uint16_t dataSize = 0;
    bool allZero = false; // all sixteen bytes are zero

    static RecordHeader parse(const std::uint8_t* bytes)
    {
        RecordHeader h;
        h.read(bytes);
        return h;
    }
    // In place, field by field: a walk reads each field back as it was stored.
    void read(const std::uint8_t* bytes)
    {
        id = SectorId{bytes[0], bytes[1], bytes[2], bytes[3]};
        sectorCount = static_cast<std::uint16_t>(readLE16(bytes + kSectorCountOffset));
        density = bytes[kDensityOffset];
        deletedMark = bytes[kDeletedMarkOffset];
        status = bytes[kStatusOffset];
        dataSize = static_cast<std::uint16_t>(readLE16(bytes + kDataSizeOffset));
        std::uint64_t half[2]; // in whatever byte order: only zero is asked for
        std::memcpy(half, bytes, sizeof half);
        allZero = (half[0] | half[1]) == 0;
    }

    // A header a track can hold: a size code whose sector a record can
    // hold, a density byte the format knows, and not
    // sixteen zero bytes (zero-filled space is no record).
    bool plausible() const { return id.n <= kMaxStorableSizeCode && knownDensity(density) && !allZero; }
};

} // namespace d88

#endif
