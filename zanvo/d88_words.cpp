#include "d88_words.h"

#include "d88/layout.h"

#include <cstdio>

namespace zanvo {

namespace {

std::string hexByte(std::uint8_t value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02x", value);
    return text;
}

std::string withCommas(std::int64_t value)
{
    std::string digits = std::to_string(value), out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return out;
}

std::string plural(std::int64_t count, const char* one, const char* many)
{
    return std::to_string(count) + (count == 1 ? one : many);
}

} // namespace

std::string flagWords(d88::SectorFlag flag, std::uint8_t status)
{
    switch (flag) {
    case d88::SectorFlag::IdCrcError:
        return "ID CRC error";
    case d88::SectorFlag::DataCrcError:
        return "data CRC error";
    case d88::SectorFlag::NoAddressMark:
        return "no address mark";
    case d88::SectorFlag::NoDataMark:
        return "no data mark";
    case d88::SectorFlag::DeletedData:
        return "deleted data";
    case d88::SectorFlag::OtherStatus:
        break;
    }
    char text[32];
    std::snprintf(text, sizeof text, "controller status 0x%02X", status);
    return text;
}

std::vector<std::string> flagWordList(const d88::SectorFlags& flags)
{
    std::vector<std::string> words;
    for (const d88::SectorFlag flag : d88::kEverySectorFlag)
        if (flags.has(flag))
            words.push_back(flagWords(flag, flags.status()));
    return words;
}

std::string lieWords(const d88::Lie& lie)
{
    const std::string where = "track " + std::to_string(lie.track) + " sector " + std::to_string(lie.id.r);
    switch (lie.field) {
    case d88::LyingField::DiskSize:
        // The field is an unsigned 32-bit number, whatever it holds.
        return "the disk size field says " + std::to_string(static_cast<std::uint32_t>(lie.says));
    case d88::LyingField::DataSize:
        return "the data size field of " + where + " says " + std::to_string(lie.says) + " where " +
               (lie.stored == 1 ? std::string("1 byte is stored")
                                : std::to_string(lie.stored) + " bytes are stored");
    case d88::LyingField::SectorCount:
        return "the sector count field of " + where + " says " + std::to_string(lie.says) +
               " where the track holds " + plural(lie.stored, " record", " records");
    case d88::LyingField::NoRecord:
        return plural(lie.stored, " byte", " bytes") +
               (lie.id == d88::SectorId{} ? " at the start of track " + std::to_string(lie.track)
                                          : " after " + where) +
               (lie.stored == 1 ? " that is no record" : " that are no record");
    case d88::LyingField::None:
        break;
    }
    return "";
}

std::string oddFieldWords(std::uint8_t odd, const std::uint8_t* header)
{
    std::string out;
    const auto add = [&out](const std::string& words) { out += (out.empty() ? "" : ", ") + words; };
    if (odd & d88::kOddMediaType)
        add("the media type byte " + hexByte(header[d88::kMediaTypeOffset]));
    if (odd & d88::kOddWriteProtect)
        add("the write protect byte " + hexByte(header[d88::kWriteProtectOffset]));
    if (odd & d88::kOddName)
        add("a name with no end");
    if (odd & d88::kOddDiskSize)
        add("the disk size " +
            std::to_string(static_cast<std::uint32_t>(d88::readLE32(header + d88::kDiskSizeOffset))));
    if (odd & d88::kOddTable)
        add("a track table that leads only into the header or past the disk's end");
    return out;
}

const char* mediaName(int mediaType)
{
    switch (mediaType) {
    case 0x00:
        return "2D";
    case 0x10:
        return "2DD";
    case 0x20:
        return "2HD";
    case 0x30:
        return "1D";
    case 0x40:
        return "1DD";
    default:
        return "";
    }
}

std::string otherKindWords(int mediaType, std::int32_t bootSizeCode)
{
    const std::string media = mediaName(mediaType);
    std::string out;
    if (!media.empty() && mediaType != 0x00)
        out = "a " + media + " disk (media type " + hexByte(static_cast<std::uint8_t>(mediaType)) + ")";
    if (bootSizeCode >= 0)
        out += (out.empty() ? "" : ", and ") + std::string("track 0 sector 1 holds ") +
               plural(d88::nominalSectorSize(bootSizeCode), " byte", " bytes") + " (size code " +
               std::to_string(bootSizeCode) + ")";
    return out;
}

std::string notD88DiskWords(const d88::DiskVerdict& verdict, const std::uint8_t* header)
{
    if (!verdict.readable)
        return "its header cannot be read";
    if (verdict.insideDisk >= 0) {
        const std::string disk = "disk " + std::to_string(verdict.insideDisk);
        return "it starts inside " + disk +
               (verdict.insideTrack >= 0 ? "'s track " + std::to_string(verdict.insideTrack)
                                         : ", after its header and before its first track") +
               " (" + disk + "'s size field lies)";
    }
    const std::string odd = oddFieldWords(verdict.odd, header);
    if (verdict.named == 0 && odd.empty())
        return "its table names no track, and it has neither a name nor a disk size";
    if (verdict.named == 0)
        return "its table names no track, and " + odd +
               (odd.find(", ") != std::string::npos ? " are" : " is") + " not a D88 disk's";
    if (verdict.plausible == 0)
        return "none of the " + plural(verdict.named, " track", " tracks") +
               " its table names starts with a plausible record";
    return "only " + std::to_string(verdict.plausible) + " of the " +
           plural(verdict.named, " track", " tracks") +
           " its table names start with a plausible record, and " + odd +
           (odd.find(", ") != std::string::npos ? " are" : " is") + " not a D88 disk's";
}

std::string notD88FileWords(const d88::FileVerdict& verdict, const std::string& disk0)
{
    switch (verdict.kind) {
    case d88::FileKind::Gzip:
        return "it is a gzip-compressed file: unpack it first";
    case d88::FileKind::Zip:
        return "it is a ZIP archive: unpack it first";
    case d88::FileKind::Lzh:
        return "it is an LZH archive: unpack it first";
    case d88::FileKind::SevenZip:
        return "it is a 7z archive: unpack it first";
    case d88::FileKind::Rar:
        return "it is a RAR archive: unpack it first";
    case d88::FileKind::Png:
        return "it is a PNG picture";
    case d88::FileKind::Jpeg:
        return "it is a JPEG picture";
    case d88::FileKind::Elf:
        return "it is a program (ELF)";
    case d88::FileKind::WindowsProgram:
        return "it is a Windows program";
    case d88::FileKind::PlainSectors:
        return "it has no D88 header: its " + withCommas(verdict.size) +
               " bytes are the size of a plain sector image (" + std::to_string(verdict.cylinders) +
               " cylinders, " + std::to_string(verdict.heads) +
               (verdict.heads == 1 ? " head, " : " heads, ") + std::to_string(verdict.sectors) +
               " sectors of " + std::to_string(verdict.sectorSize) + " bytes)";
    case d88::FileKind::D88:
    case d88::FileKind::Unknown:
        break;
    }
    if (verdict.size < d88::kDiskHeaderSize)
        return "the file is " + plural(verdict.size, " byte", " bytes") + ", shorter than a disk header (" +
               std::to_string(d88::kDiskHeaderSize) + " bytes)";
    return disk0;
}

std::string notD88Words(d88::RecordMap& map, std::int32_t disk, const d88::DiskVerdict& verdict, int* error)
{
    std::uint8_t header[d88::kDiskHeaderSize] = {};
    std::int64_t got = 0;
    d88::FileVerdict whole;
    d88::Outcome read = map.image().readFileBytes(map.image().diskOffset(disk), header, &got);
    if (!read.failed())
        read = d88::judgeFile(map, &whole);
    if (read.failed()) {
        *error = read.error;
        return "";
    }
    const std::string reason = notD88DiskWords(verdict, header);
    return whole.kind == d88::FileKind::D88 ? "disk " + std::to_string(disk) + " is not a D88 disk: " + reason
                                            : "not a D88 image: " + notD88FileWords(whole, reason);
}

} // namespace zanvo
