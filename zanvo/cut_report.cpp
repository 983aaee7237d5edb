#include "cut_report.h"

#include "d88_words.h"
#include "early_end.h"

#include <bitset>
#include <tuple>
#include <utility>

namespace zanvo {

namespace {

// "track 19 sectors 10-16, track 20 sectors 1-4" for the noted sectors that
// `pick` selects: neighbours on one track are joined into a range.
template <class Pick> void appendPlaces(const RunRecovery& run, Pick pick, std::string& out)
{
    const std::int32_t noted = run.count < kMaxRunSectors ? run.count : kMaxRunSectors;
    bool first = true;
    for (std::int32_t i = 0; i < noted;) {
        if (!pick(run.sectors[i])) {
            ++i;
            continue;
        }
        std::int32_t j = i;
        while (j + 1 < noted && pick(run.sectors[j + 1]) &&
               run.sectors[j + 1].track == run.sectors[i].track &&
               run.sectors[j + 1].r == run.sectors[j].r + 1)
            ++j;
        out += first ? "track " : ", track ";
        out += std::to_string(run.sectors[i].track);
        out += j > i ? " sectors " : " sector ";
        out += std::to_string(run.sectors[i].r);
        if (j > i) {
            out += '-';
            out += std::to_string(run.sectors[j].r);
        }
        first = false;
        i = j + 1;
    }
    if (run.count > noted)
        out += ", ...";
}

void appendCount(long count, const char* one, const char* many, std::string& out)
{
    out += std::to_string(count);
    out += count == 1 ? one : many;
}

// "M of S sectors missing (...)", "K of S sectors stored short (...)", or
// both, the second without repeating "of S".
void holeFacts(const RunRecovery& run, std::string& out)
{
    const auto missing = [](const SectorNote& s) { return s.fate == SectorFate::Missing; };
    const auto stubby = [](const SectorNote& s) { return s.fate == SectorFate::Short; };
    if (run.missing > 0) {
        out += std::to_string(run.missing);
        out += " of ";
        appendCount(run.count, " sector missing (", " sectors missing (", out);
        appendPlaces(run, missing, out);
        out += ')';
    }
    if (run.stubby > 0) {
        out += run.missing > 0 ? ", " : "";
        out += std::to_string(run.stubby);
        if (run.missing == 0) {
            out += " of ";
            appendCount(run.count, " sector stored short (", " sectors stored short (", out);
        } else {
            out += " stored short (";
        }
        appendPlaces(run, stubby, out);
        out += ')';
    }
}

void absenceFacts(const RunRecovery& run, std::string& out)
{
    out += run.count == 1 ? "its sector is not on the disk (" : "none of its ";
    if (run.count != 1)
        appendCount(run.count, " sector is on the disk (", " sectors is on the disk (", out);
    appendPlaces(
        run, [](const SectorNote&) { return true; }, out);
    out += ')';
}

// "PLACES: WORDS; PLACES: WORDS" with one group for each distinct key the
// noted sectors carry, in the order the keys first appear; `keysOf` hands
// each key of a sector to its argument, `wordsOf` appends a key's words.
template <class Key, class KeysOf, class WordsOf>
void appendGroups(const RunRecovery& run, KeysOf keysOf, WordsOf wordsOf, std::string& out)
{
    const std::int32_t noted = run.count < kMaxRunSectors ? run.count : kMaxRunSectors;
    bool first = true;
    for (std::int32_t i = 0; i < noted; ++i) {
        keysOf(run.sectors[i], [&](const Key& key) {
            const auto carries = [&](const SectorNote& s) {
                bool found = false;
                keysOf(s, [&](const Key& other) { found = found || other == key; });
                return found;
            };
            for (std::int32_t k = 0; k < i; ++k)
                if (carries(run.sectors[k]))
                    return;
            out += first ? "" : "; ";
            appendPlaces(run, carries, out);
            out += ": ";
            wordsOf(key, out);
            first = false;
        });
    }
}

// One group a meaning; another controller status is a meaning of its own for
// each value.
void flagFacts(const RunRecovery& run, bool written, std::string& out)
{
    appendCount(run.flagged, " sector flagged when the disk was dumped",
                " sectors flagged when the disk was dumped", out);
    out += written ? ", written as stored: " : ": ";
    using Key = std::pair<d88::SectorFlag, std::uint8_t>;
    appendGroups<Key>(
        run,
        [](const SectorNote& s, auto take) {
            for (const d88::SectorFlag flag : d88::kEverySectorFlag)
                if (s.flags.has(flag))
                    take(Key{flag, flag == d88::SectorFlag::OtherStatus ? s.flags.status() : 0});
        },
        [](const Key& key, std::string& to) { to += flagWords(key.first, key.second); }, out);
}

// One group a field that lied, for a dry run, which reads them but cuts
// nothing: "12 sectors would be read past a field that lied: track 12
// sectors 3-14: the data size field of track 12 sector 3 says 0 where 256
// bytes are stored".
void lieFacts(const RunRecovery& run, std::string& out)
{
    appendCount(run.lied, " sector would be read past a field that lied: ",
                " sectors would be read past a field that lied: ", out);
    appendGroups<d88::Lie>(
        run,
        [](const SectorNote& s, auto take) {
            if (s.lie.field != d88::LyingField::None)
                take(s.lie);
        },
        [](const d88::Lie& lie, std::string& to) { to += lieWords(lie); }, out);
}

// The fields that lied, by kind and track, without the detail d88info's
// listing gives: "15 sectors read past a wrong data size field on track 12
// and wrong sector count fields on tracks 13, 16".
void lieBrief(const RunRecovery& run, std::string& out)
{
    std::bitset<d88::kMaxTracks> dataSize, sectorCount, noRecord;
    bool diskSize = false;
    const std::int32_t noted = run.count < kMaxRunSectors ? run.count : kMaxRunSectors;
    for (std::int32_t i = 0; i < noted; ++i) {
        const d88::Lie& lie = run.sectors[i].lie;
        const bool onTrack = lie.track >= 0 && lie.track < d88::kMaxTracks;
        if (lie.field == d88::LyingField::DataSize && onTrack)
            dataSize.set(static_cast<std::size_t>(lie.track));
        else if (lie.field == d88::LyingField::SectorCount && onTrack)
            sectorCount.set(static_cast<std::size_t>(lie.track));
        else if (lie.field == d88::LyingField::NoRecord && onTrack)
            noRecord.set(static_cast<std::size_t>(lie.track));
        else if (lie.field == d88::LyingField::DiskSize)
            diskSize = true;
    }
    appendCount(run.lied, " sector read past ", " sectors read past ", out);
    const int kinds = int(dataSize.any()) + int(sectorCount.any()) + int(noRecord.any()) + int(diskSize);
    int said = 0;
    const auto joiner = [&] { return ++said == 1 ? "" : said == kinds ? " and " : ", "; };
    if (dataSize.any()) {
        out += joiner();
        out += dataSize.count() == 1 ? "a wrong data size field on " : "wrong data size fields on ";
        out += trackList(dataSize);
    }
    if (sectorCount.any()) {
        out += joiner();
        out += sectorCount.count() == 1 ? "a wrong sector count field on " : "wrong sector count fields on ";
        out += trackList(sectorCount);
    }
    if (noRecord.any()) {
        out += joiner();
        out += "bytes that are no record on ";
        out += trackList(noRecord);
    }
    if (diskSize) {
        out += joiner();
        out += "a wrong disk size field";
    }
}

// "1 of 17 sectors uncertain (track 12 sector 9)".
void uncertainFacts(const RunRecovery& run, std::string& out)
{
    out += std::to_string(run.uncertain) + " of ";
    appendCount(run.count, " sector uncertain (", " sectors uncertain (", out);
    appendPlaces(
        run, [](const SectorNote& s) { return s.uncertain; }, out);
    out += ')';
}

// The name of dump `d`, "dump N" past the names given.
std::string dumpName(std::span<const std::string> dumps, std::size_t d)
{
    return d < dumps.size() ? dumps[d] : "dump " + std::to_string(d + 1);
}

// "first.d88, third.d88" for the dumps whose bits `mask` sets.
void appendDumps(std::span<const std::string> dumps, std::uint8_t mask, std::string& out)
{
    bool first = true;
    for (std::size_t d = 0; d < 8; ++d)
        if (mask & (1u << d)) {
            out += first ? "" : ", ";
            out += dumpName(dumps, d);
            first = false;
        }
}

// "complete from 2 dumps: track 19 sectors 1-9 from second.d88", or for a
// file that is not complete "9 sectors from other dumps: ...": each other
// dump's sectors, in the order of the dumps.
void joinFacts(const RunRecovery& run, std::span<const std::string> dumps, std::string& out)
{
    const std::int32_t noted = run.count < kMaxRunSectors ? run.count : kMaxRunSectors;
    unsigned sources = 0;
    for (std::int32_t i = 0; i < noted; ++i)
        if (run.sectors[i].fate != SectorFate::Missing)
            sources |= 1u << run.sectors[i].from;
    if (isComplete(run)) {
        out += "complete from ";
        appendCount(static_cast<long>(std::bitset<8>(sources).count()), " dump: ", " dumps: ", out);
    } else {
        appendCount(run.fromOthers, " sector from other dumps: ", " sectors from other dumps: ", out);
    }
    bool first = true;
    for (std::uint8_t d = 1; d < 8; ++d) {
        if (!(sources & (1u << d)))
            continue;
        out += first ? "" : "; ";
        appendPlaces(
            run, [d](const SectorNote& s) { return s.fate != SectorFate::Missing && s.from == d; }, out);
        out += " from " + dumpName(dumps, d);
        first = false;
    }
}

// "dumps disagree on 2 sectors: track 12 sector 3: first.d88, third.d88
// against second.d88, the majority's bytes taken; track 13 sector 1:
// disputed, first.d88 against second.d88, first.d88's bytes taken".
void disagreeFacts(const RunRecovery& run, std::span<const std::string> dumps, std::string& out)
{
    out += "dumps disagree on ";
    appendCount(run.disagreed, " sector: ", " sectors: ", out);
    using Key = std::tuple<bool, std::uint8_t, std::uint8_t, std::uint8_t>; // disputed, agree, differ, from
    appendGroups<Key>(
        run,
        [](const SectorNote& s, auto take) {
            if (s.differ != 0)
                take(Key{s.disputed, s.agree, s.differ, s.from});
        },
        [&](const Key& key, std::string& to) {
            if (std::get<0>(key))
                to += "disputed, ";
            appendDumps(dumps, std::get<1>(key), to);
            to += " against ";
            appendDumps(dumps, std::get<2>(key), to);
            to += std::get<0>(key) ? ", " + dumpName(dumps, std::get<3>(key)) + "'s bytes taken"
                                   : std::string(", the majority's bytes taken");
        },
        out);
}

// Starts the next line, reusing the storage an earlier file's line left.
std::string& nextLine(CutWarnings* out)
{
    std::string& line = out->lines[out->count++];
    line.clear();
    return line;
}

void bound(std::string& line)
{
    if (line.size() > kMaxWarningLength) {
        line.resize(kMaxWarningLength - 3);
        line += "...";
    }
}

} // namespace

bool isComplete(const RunRecovery& run)
{
    return run.missing == 0 && run.stubby == 0 && run.flagged == 0 && run.uncertain == 0 && run.disputed == 0;
}

void warningsFor(const FileCut& cut, std::string_view where, CutWarnings* out,
                 std::span<const std::string> dumps)
{
    out->count = 0;
    const RunRecovery& run = *cut.run;
    const auto line = [&](std::string& text) -> std::string& { return text.append(cut.name).append(": "); };
    switch (cut.outcome) {
    case CutOutcome::ReadFailed:
        return;
    case CutOutcome::NotOnDisk:
        absenceFacts(run, line(nextLine(out)));
        out->lines[out->count - 1] += "; not written";
        break;
    case CutOutcome::Cut:
        if (run.missing > 0 || run.stubby > 0) {
            holeFacts(run, line(nextLine(out)));
            out->lines[out->count - 1] += "; zeros written for what is missing";
        }
        // A complete file says so first, so that a lie read past does not
        // read as damage; the detail is d88info's.
        if (run.lied > 0) {
            std::string& text = line(nextLine(out));
            if (isComplete(run))
                text += "complete; ";
            lieBrief(run, text);
            text.append("; ").append(where);
        }
        if (run.flagged > 0)
            flagFacts(run, true, line(nextLine(out)));
        if (run.uncertain > 0) {
            uncertainFacts(run, line(nextLine(out)));
            out->lines[out->count - 1]
                .append(": the image can also be read so that they hold other bytes; ")
                .append(where);
        }
        if (run.fromOthers > 0)
            joinFacts(run, dumps, line(nextLine(out)));
        if (run.disagreed > 0)
            disagreeFacts(run, dumps, line(nextLine(out)));
        break;
    }
    for (int i = 0; i < out->count; ++i)
        bound(out->lines[i]);
}

void dryRunLine(const FileCut& cut, std::string* out, std::span<const std::string> dumps)
{
    out->clear();
    const RunRecovery& run = *cut.run;
    if (cut.outcome == CutOutcome::NotOnDisk) {
        out->append("would not cut ").append(cut.name).append(": ");
        absenceFacts(run, *out);
    } else if (cut.outcome == CutOutcome::Cut) {
        out->append("would cut ").append(cut.name).append(" (").append(std::to_string(cut.bytes.size()));
        out->append(" bytes)");
        if (run.missing > 0 || run.stubby > 0)
            holeFacts(run, out->append("; "));
        if (run.lied > 0)
            lieFacts(run, out->append("; "));
        if (run.flagged > 0)
            flagFacts(run, false, out->append("; "));
        if (run.uncertain > 0)
            uncertainFacts(run, out->append("; "));
        if (run.fromOthers > 0)
            joinFacts(run, dumps, out->append("; "));
        if (run.disagreed > 0)
            disagreeFacts(run, dumps, out->append("; "));
    }
    bound(*out);
}

void CutTally::count(const FileCut& cut, bool written)
{
    const bool holes = cut.run->missing > 0 || cut.run->stubby > 0;
    ++(!written                 ? notWritten
       : holes                  ? withHoles
       : cut.run->flagged > 0   ? flagged
       : cut.run->disputed > 0  ? disputed
       : cut.run->uncertain > 0 ? uncertain
                                : complete);
    if (written && isComplete(*cut.run)) {
        joined += cut.run->fromOthers > 0;
        outvoted += cut.run->disagreed > 0;
    }
}

std::string tallyLine(const CutTally& tally, bool dryRun)
{
    if (tally.withHoles + tally.flagged + tally.disputed + tally.uncertain + tally.notWritten + tally.joined +
            tally.outvoted ==
        0)
        return "";
    const int files = tally.complete + tally.withHoles + tally.flagged + tally.disputed + tally.uncertain +
                      tally.notWritten;
    std::string line = "of " + std::to_string(files) + " files, ";
    line += std::to_string(tally.complete) + (dryRun ? " would be" : "") + " complete";
    if (tally.joined + tally.outvoted > 0) {
        line += " (";
        if (tally.joined > 0)
            line += std::to_string(tally.joined) + " only thanks to other dumps";
        if (tally.outvoted > 0)
            line += std::string(tally.joined > 0 ? ", " : "") + std::to_string(tally.outvoted) +
                    " where dumps disagree";
        line += ')';
    }
    line += ", ";
    line += std::to_string(tally.withHoles) + (dryRun ? " would have" : " with") + " holes, ";
    line += std::to_string(tally.flagged) + (dryRun ? " would have" : " with") + " flagged sectors, ";
    if (tally.disputed > 0)
        line += std::to_string(tally.disputed) + (dryRun ? " would have" : " with") + " disputed sectors, ";
    if (tally.uncertain > 0)
        line += std::to_string(tally.uncertain) + (dryRun ? " would have" : " with") + " uncertain sectors, ";
    line += std::to_string(tally.notWritten) + (dryRun ? " would not be written" : " not written");
    return line;
}

} // namespace zanvo
