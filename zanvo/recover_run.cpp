#include "recover_run.h"

#include <algorithm>
#include <cstring>

namespace zanvo {

void recoverRun(d88::D88Image& image, const RunStart& start, std::span<std::uint8_t> dest, std::int32_t skip,
                RunRecovery* out)
{
    out->count = out->found = out->missing = out->stubby = out->flagged = 0;
    const auto length = static_cast<std::int64_t>(dest.size());
    const std::int64_t nominal = d88::nominalSectorSize(start.n);
    const std::int64_t piece = nominal > 0 ? nominal : length;
    d88::RunPlace place{start.track, start.c, start.h, start.r};

    for (std::int64_t at = 0; at < length; at += piece) {
        const std::span<std::uint8_t> part = dest.subspan(
            static_cast<std::size_t>(at), static_cast<std::size_t>(std::min(piece, length - at)));
        SectorNote note;
        note.track = place.track;
        note.r = place.r;
        std::int32_t copied = 0;
        d88::SectorRecord record;
        // IDs are bytes: a cylinder or sector number walked past 255 names no
        // sector, and must not wrap round to one.
        const auto isByte = [](std::int32_t value) { return value >= 0 && value <= 0xFF; };
        const bool idFits = isByte(place.c) && isByte(place.h) && isByte(place.r) && isByte(start.n);
        const d88::SectorId id{static_cast<std::uint8_t>(place.c), static_cast<std::uint8_t>(place.h),
                               static_cast<std::uint8_t>(place.r), static_cast<std::uint8_t>(start.n)};
        if (idFits && image.findSector(place.track, id, part, &record, &copied)) {
            note.fate =
                static_cast<std::size_t>(copied) < part.size() ? SectorFate::Short : SectorFate::Whole;
            note.status = record.status;
            note.deleted = (record.deletedMark & d88::kDeletedDataMark) != 0;
        }
        std::memset(part.data() + copied, 0, part.size() - static_cast<std::size_t>(copied));

        if (at + static_cast<std::int64_t>(part.size()) > skip) {
            if (out->count < kMaxRunSectors)
                out->sectors[out->count] = note;
            ++out->count;
            out->found += note.fate != SectorFate::Missing;
            out->missing += note.fate == SectorFate::Missing;
            out->stubby += note.fate == SectorFate::Short;
            out->flagged += note.status != 0 || note.deleted;
        }
        place = d88::nextInRun(place, start.firstSector, start.lastSector);
    }
}

FileOutcome recoverFile(d88::D88Image& image, const RunStart& start, std::span<std::uint8_t> dest,
                        std::int32_t skip, RunRecovery* out, int* error)
{
    // Errors are told per file: a file whose reading met one is not written,
    // the files after it are read afresh.
    image.clearIoError();
    recoverRun(image, start, dest, skip, out);
    if ((*error = image.ioError()) != 0)
        return FileOutcome::ReadFailed;
    return out->found > 0 ? FileOutcome::Cut : FileOutcome::NotOnDisk;
}

} // namespace zanvo
