#include "file_cut.h"

#include <algorithm>
#include <cstring>

namespace zanvo {

d88::Outcome recoverRun(d88::RecordMap& map, const d88::RunStart& start, std::span<std::uint8_t> dest,
                        RunRecovery* out)
{
    out->count = out->found = out->missing = out->stubby = out->flagged = out->lied = out->uncertain = 0;
    out->fromOthers = out->disagreed = out->disputed = 0;
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
        d88::Record record;
        d88::Outcome read = d88::Outcome::found(false);
        if (onDisk && (read = map.findSector(place, part, &record, &copied)).failed())
            return read;
        if (read.done()) {
            note.fate =
                static_cast<std::size_t>(copied) < part.size() ? SectorFate::Short : SectorFate::Whole;
            note.flags = record.flags();
            note.uncertain = record.uncertain;
            note.lie = record.pastLie;
        }
        std::memset(part.data() + copied, 0, part.size() - static_cast<std::size_t>(copied));

        out->add(note);
        onDisk = onDisk && d88::nextInRun(&place, start.firstSector, start.lastSector);
    }
    return d88::Outcome{};
}

FileCut cutRun(d88::RecordMap& map, const char* name, const d88::RunStart& start,
               std::span<std::uint8_t> dest, RunRecovery& run)
{
    FileCut cut;
    cut.name = name;
    cut.run = &run;
    // Errors are told per file: a file whose reading met one is not written,
    // the files after it are read afresh.
    if (const d88::Outcome read = recoverRun(map, start, dest, &run); read.failed()) {
        cut.error = read.error;
        cut.outcome = CutOutcome::ReadFailed;
        return cut;
    }
    cut.outcome = run.found > 0 ? CutOutcome::Cut : CutOutcome::NotOnDisk;
    if (cut.outcome == CutOutcome::Cut)
        cut.bytes = dest;
    return cut;
}

FileCut cutRow(d88::RecordMap& map, const CutEntry& row, std::span<std::uint8_t> buffer, RunRecovery& run)
{
    const std::size_t length = std::min(static_cast<std::size_t>(std::max(row.length, 0)), buffer.size());
    const d88::RunStart start{
        d88::placeOnTrack(row.track, static_cast<std::uint8_t>(row.sector), kPlanSizeCode), kFirstSector,
        kLastSector};
    return cutRun(map, row.name, start, buffer.first(length), run);
}

} // namespace zanvo
