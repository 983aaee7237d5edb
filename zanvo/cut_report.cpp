#include "cut_report.h"

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

void holes(const char* name, const RunRecovery& run, std::string& out)
{
    const auto missing = [](const SectorNote& s) { return s.fate == SectorFate::Missing; };
    const auto stubby = [](const SectorNote& s) { return s.fate == SectorFate::Short; };
    out += name;
    out += ": ";
    // "M of S sectors missing (...)", "K of S sectors stored short (...)",
    // or both, the second without repeating "of S".
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
    out += "; zeros written for what is missing";
}

void absence(const char* name, const RunRecovery& run, std::string& out)
{
    out += name;
    out += run.count == 1 ? ": its sector is not on the disk (" : ": none of its ";
    if (run.count != 1)
        appendCount(run.count, " sector is on the disk (", " sectors is on the disk (", out);
    appendPlaces(
        run, [](const SectorNote&) { return true; }, out);
    out += "); not written";
}

// One group a meaning, in the order the meanings first appear in the run;
// another controller status is a meaning of its own for each value.
void flags(const char* name, const RunRecovery& run, std::string& out)
{
    out += name;
    out += ": ";
    appendCount(run.flagged, " sector flagged when the disk was dumped, written as stored: ",
                " sectors flagged when the disk was dumped, written as stored: ", out);
    const std::int32_t noted = run.count < kMaxRunSectors ? run.count : kMaxRunSectors;
    bool first = true;
    for (std::int32_t i = 0; i < noted; ++i) {
        for (const d88::SectorFlag flag : d88::kEverySectorFlag) {
            const std::uint8_t status = run.sectors[i].flags.status();
            const auto same = [&](const SectorNote& s) {
                return s.flags.has(flag) &&
                       (flag != d88::SectorFlag::OtherStatus || s.flags.status() == status);
            };
            if (!same(run.sectors[i]))
                continue;
            bool seen = false;
            for (std::int32_t k = 0; k < i && !seen; ++k)
                seen = same(run.sectors[k]);
            if (seen)
                continue;
            out += first ? "" : "; ";
            appendPlaces(run, same, out);
            out += ": ";
            d88::appendFlagWords(out, flag, status);
            first = false;
        }
    }
}

// One group a field that lied, in the order they first appear in the run:
// "NAME: 12 sectors read past a field that lied: track 12 sectors 3-14: the
// data size field of track 12 sector 3 says 0 where 256 bytes are stored".
void lies(const char* name, const RunRecovery& run, std::string& out)
{
    out += name;
    out += ": ";
    appendCount(run.lied,
                " sector read past a field that lied: ", " sectors read past a field that lied: ", out);
    const std::int32_t noted = run.count < kMaxRunSectors ? run.count : kMaxRunSectors;
    bool first = true;
    for (std::int32_t i = 0; i < noted; ++i) {
        const d88::Lie lie = run.sectors[i].lie;
        const auto same = [&lie](const SectorNote& s) {
            return s.lie.field != d88::LyingField::None && s.lie == lie;
        };
        if (!same(run.sectors[i]))
            continue;
        bool seen = false;
        for (std::int32_t k = 0; k < i && !seen; ++k)
            seen = same(run.sectors[k]);
        if (seen)
            continue;
        out += first ? "" : "; ";
        appendPlaces(run, same, out);
        out += ": ";
        d88::appendLieWords(out, lie);
        first = false;
    }
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

void warningsFor(const FileCut& cut, CutWarnings* out)
{
    out->count = 0;
    const RunRecovery& run = *cut.run;
    switch (cut.outcome) {
    case CutOutcome::ReadFailed:
        return;
    case CutOutcome::NotOnDisk:
        absence(cut.name, run, nextLine(out));
        break;
    case CutOutcome::Cut:
        if (run.missing > 0 || run.stubby > 0)
            holes(cut.name, run, nextLine(out));
        if (run.lied > 0)
            lies(cut.name, run, nextLine(out));
        if (run.flagged > 0)
            flags(cut.name, run, nextLine(out));
        break;
    }
    for (int i = 0; i < out->count; ++i)
        bound(out->lines[i]);
}

} // namespace zanvo
