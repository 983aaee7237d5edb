#include "recover_run.h"

#include <algorithm>
#include <cstring>

namespace zanvo {

void recoverRun(d88::D88Image& image, const d88::RunStart& start, std::span<std::uint8_t> dest,
                RunRecovery* out)
{
    out->count = out->found = out->missing = out->stubby = out->flagged = 0;
    const auto length = static_cast<std::int64_t>(dest.size());
    const std::int64_t nominal = d88::nominalSectorSize(start.first.id.n);
    const std::int64_t piece = nominal > 0 ? nominal : length;
    d88::SectorPlace place = start.first;
    // Once the run has walked past what an ID byte can name, nothing more of
    // it can be on the disk.
    bool onDisk = true;

    for (std::int64_t at = 0; at < length; at += piece) {
        const std::span<std::uint8_t> part = dest.subspan(
            static_cast<std::size_t>(at), static_cast<std::size_t>(std::min(piece, length - at)));
        SectorNote note;
        note.track = place.track;
        note.r = place.id.r;
        std::int32_t copied = 0;
        d88::SectorRecord record;
        if (onDisk && image.findSector(place, part, &record, &copied)) {
            note.fate =
                static_cast<std::size_t>(copied) < part.size() ? SectorFate::Short : SectorFate::Whole;
            note.flags = record.flags();
        }
        std::memset(part.data() + copied, 0, part.size() - static_cast<std::size_t>(copied));

        if (out->count < kMaxRunSectors)
            out->sectors[out->count] = note;
        ++out->count;
        out->found += note.fate != SectorFate::Missing;
        out->missing += note.fate == SectorFate::Missing;
        out->stubby += note.fate == SectorFate::Short;
        out->flagged += note.flags.any();
        onDisk = onDisk && d88::nextInRun(&place, start.firstSector, start.lastSector);
    }
}

} // namespace zanvo
