#include "joined_cut.h"

#include <algorithm>
#include <cstring>

namespace zanvo {

namespace {

// One dump's copy of the sector being joined.
struct Copy {
    SectorFate fate = SectorFate::Missing;
    std::int32_t copied = 0;
    d88::Record record;
};

// How good a copy is: none, stored short, whole but flagged or in doubt,
// whole and clean.
int rank(const Copy& copy)
{
    switch (copy.fate) {
    case SectorFate::Missing:
        return 0;
    case SectorFate::Short:
        return 1;
    case SectorFate::Whole:
        break;
    }
    return copy.record.flags().any() || copy.record.uncertain ? 2 : 3;
}

std::uint8_t bit(std::size_t dump)
{
    return static_cast<std::uint8_t>(1u << dump);
}

// Among the whole, clean copies: the bytes most dumps hold. Fills the note's
// masks when the copies differ, and says whether the choice is disputed.
std::size_t vote(std::span<const Copy> copies, const JoinScratch& scratch, std::size_t length,
                 SectorNote* note)
{
    std::size_t winner = copies.size(), winnerVotes = 0;
    bool tied = false, differ = false;
    for (std::size_t d = 0; d < copies.size(); ++d) {
        if (rank(copies[d]) != 3)
            continue;
        std::size_t votes = 0;
        bool counted = false; // an earlier dump holds the same bytes and has counted them
        for (std::size_t e = 0; e < copies.size(); ++e) {
            if (rank(copies[e]) != 3)
                continue;
            const bool same = std::memcmp(scratch.copies[d], scratch.copies[e], length) == 0;
            votes += same;
            differ = differ || !same;
            counted = counted || (same && e < d);
        }
        if (counted)
            continue;
        if (votes > winnerVotes) {
            winner = d;
            winnerVotes = votes;
            tied = false;
        } else if (votes == winnerVotes) {
            tied = true;
        }
    }
    if (differ) {
        for (std::size_t d = 0; d < copies.size(); ++d)
            if (rank(copies[d]) == 3) {
                const bool same = std::memcmp(scratch.copies[d], scratch.copies[winner], length) == 0;
                (same ? note->agree : note->differ) |= bit(d);
            }
        note->disputed = tied;
    }
    return winner;
}

// The copy to take: the best rank; among whole, clean copies the vote, among
// short ones the longest, otherwise the earliest dump.
std::size_t choose(std::span<const Copy> copies, const JoinScratch& scratch, std::size_t length,
                   SectorNote* note)
{
    int best = 0;
    for (const Copy& copy : copies)
        best = std::max(best, rank(copy));
    if (best == 3)
        return vote(copies, scratch, length, note);
    std::size_t chosen = 0;
    for (std::size_t d = 0; d < copies.size(); ++d)
        if (rank(copies[d]) == best &&
            (rank(copies[chosen]) != best || copies[d].copied > copies[chosen].copied))
            chosen = d;
    return chosen;
}

} // namespace

d88::Outcome recoverJoined(std::span<d88::RecordMap* const> maps, const d88::RunStart& start,
                           std::span<std::uint8_t> dest, JoinScratch& scratch, RunRecovery* out,
                           int* failedDump)
{
    *failedDump = 0;
    const std::int64_t nominal = d88::nominalSectorSize(start.first.id.n);
    // A size code no record can hold leaves nothing to join.
    if (maps.size() <= 1 || nominal <= 0)
        return recoverRun(*maps[0], start, dest, out);
    maps = maps.first(std::min<std::size_t>(maps.size(), kMaxDumps));

    out->count = out->found = out->missing = out->stubby = out->flagged = out->lied = out->uncertain = 0;
    out->fromOthers = out->disagreed = out->disputed = 0;
    const auto length = static_cast<std::int64_t>(dest.size());
    d88::SectorPlace place = start.first;
    bool onDisk = true;
    Copy copies[kMaxDumps];

    for (std::int64_t at = 0; at < length; at += nominal) {
        const std::span<std::uint8_t> part = dest.subspan(
            static_cast<std::size_t>(at), static_cast<std::size_t>(std::min(nominal, length - at)));
        SectorNote note;
        note.track = place.track;
        note.r = place.id.r;
        for (std::size_t d = 0; d < maps.size(); ++d) {
            copies[d] = Copy{};
            if (!onDisk)
                continue;
            const d88::Outcome read = maps[d]->findSector(place, std::span(scratch.copies[d], part.size()),
                                                          &copies[d].record, &copies[d].copied);
            if (read.failed()) {
                *failedDump = static_cast<int>(d);
                return read;
            }
            if (read.done())
                copies[d].fate = static_cast<std::size_t>(copies[d].copied) < part.size() ? SectorFate::Short
                                                                                          : SectorFate::Whole;
        }
        const std::span<const Copy> held(copies, maps.size());
        const std::size_t chosen = choose(held, scratch, part.size(), &note);
        const Copy& copy = copies[chosen];
        if (copy.fate != SectorFate::Missing) {
            note.fate = copy.fate;
            note.flags = copy.record.flags();
            note.uncertain = copy.record.uncertain;
            note.lie = copy.record.pastLie;
            note.from = static_cast<std::uint8_t>(chosen);
        }
        const auto copied = static_cast<std::size_t>(copy.copied);
        std::memcpy(part.data(), scratch.copies[chosen], copied);
        std::memset(part.data() + copied, 0, part.size() - copied);

        out->add(note);
        onDisk = onDisk && d88::nextInRun(&place, start.firstSector, start.lastSector);
    }
    return d88::Outcome{};
}

FileCut cutJoinedRun(std::span<d88::RecordMap* const> maps, const char* name, const d88::RunStart& start,
                     std::span<std::uint8_t> dest, JoinScratch& scratch, RunRecovery& run)
{
    if (maps.size() <= 1)
        return cutRun(*maps[0], name, start, dest, run);
    FileCut cut;
    cut.name = name;
    cut.run = &run;
    if (const d88::Outcome read = recoverJoined(maps, start, dest, scratch, &run, &cut.dump); read.failed()) {
        cut.error = read.error;
        cut.outcome = CutOutcome::ReadFailed;
        return cut;
    }
    cut.outcome = run.found > 0 ? CutOutcome::Cut : CutOutcome::NotOnDisk;
    if (cut.outcome == CutOutcome::Cut)
        cut.bytes = dest;
    return cut;
}

FileCut cutJoinedRow(std::span<d88::RecordMap* const> maps, const CutEntry& row,
                     std::span<std::uint8_t> buffer, JoinScratch& scratch, RunRecovery& run)
{
    const std::size_t length = std::min(static_cast<std::size_t>(std::max(row.length, 0)), buffer.size());
    const d88::RunStart start{
        d88::placeOnTrack(row.track, static_cast<std::uint8_t>(row.sector), kPlanSizeCode), kFirstSector,
        kLastSector};
    return cutJoinedRun(maps, row.name, start, buffer.first(length), scratch, run);
}

} // namespace zanvo
