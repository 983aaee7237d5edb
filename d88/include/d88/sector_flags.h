// What the dumper recorded about a sector besides its bytes. A record carries two such bytes: byte 7,
// non-zero for a deleted-data address mark, and byte 8, the floppy controller's status when the sector was
// read (0 when all went well). Writers mark deleted data either way: byte 7, or a status of 0x10.
#ifndef D88_SECTOR_FLAGS_H
#define D88_SECTOR_FLAGS_H

#include <cstdint>

namespace d88 {

// The controller's complaints first, then the mark: the order in which the
// flags are told.
enum class SectorFlag : std::uint8_t {
    IdCrcError,    // status 0xA0
    DataCrcError,  // status 0xB0
    NoAddressMark, // status 0xE0
    NoDataMark,    // status 0xF0
    OtherStatus,   // any other non-zero status, its value kept
    DeletedData,   // byte 7 non-zero, or status 0x10
};

inline constexpr SectorFlag kEverySectorFlag[] = {SectorFlag::IdCrcError,    SectorFlag::DataCrcError,
                                                  SectorFlag::NoAddressMark, SectorFlag::NoDataMark,
                                                  SectorFlag::OtherStatus,   SectorFlag::DeletedData};
inline constexpr int kSectorFlagKinds = 6;

// The flags of one record: a deleted-data mark, a status meaning, or both (a
// deleted sector can also fail its CRC).
class SectorFlags {
  public:
    constexpr SectorFlags() = default;

    static constexpr SectorFlags of(std::uint8_t deletedMark, std::uint8_t status)
    {
        SectorFlags flags;
        flags.status_ = status;
        if (deletedMark != 0 || status == 0x10)
            flags.bits_ |= bit(SectorFlag::DeletedData);
        const SectorFlag complaint = status == 0xA0   ? SectorFlag::IdCrcError
                                     : status == 0xB0 ? SectorFlag::DataCrcError
                                     : status == 0xE0 ? SectorFlag::NoAddressMark
                                     : status == 0xF0 ? SectorFlag::NoDataMark
                                                      : SectorFlag::OtherStatus;
        if (status != 0x00 && status != 0x10)
            flags.bits_ |= bit(complaint);
        return flags;
    }

    constexpr bool has(SectorFlag flag) const { return (bits_ & bit(flag)) != 0; }
    constexpr bool any() const { return bits_ != 0; }
    // The status byte as stored, which the words of OtherStatus give.
    constexpr std::uint8_t status() const { return status_; }
    // The one flag to show where there is room for one: the controller's
    // complaint before a deleted-data mark. Meaningful when any().
    constexpr SectorFlag first() const
    {
        for (const SectorFlag flag : kEverySectorFlag)
            if (has(flag))
                return flag;
        return SectorFlag::DeletedData;
    }

    friend constexpr bool operator==(const SectorFlags&, const SectorFlags&) = default;

  private:
    static constexpr std::uint8_t bit(SectorFlag flag)
    {
        return static_cast<std::uint8_t>(1u << static_cast<unsigned>(flag));
    }
    std::uint8_t bits_ = 0;
    std::uint8_t status_ = 0;
};

} // namespace d88

#endif
