#include "recovery_text.h"

#include <cstdio>
#include <cstring>

namespace zanvo {

void Text::append(const char* text)
{
    static constexpr char kCut[] = "...";
    const std::size_t room = kCapacity - 1 - used_;
    std::size_t len = std::strlen(text);
    if (len > room) {
        // Keep room for the mark that says the text was cut.
        len = room >= sizeof kCut - 1 ? room - (sizeof kCut - 1) : 0;
        std::memcpy(text_ + used_, text, len);
        used_ += len;
        const std::size_t mark = std::min(sizeof kCut - 1, kCapacity - 1 - used_);
        std::memcpy(text_ + used_, kCut, mark);
        used_ += mark;
    } else {
        std::memcpy(text_ + used_, text, len);
        used_ += len;
    }
    text_[used_] = '\0';
}

void Text::appendNumber(long value)
{
    char digits[24];
    std::snprintf(digits, sizeof digits, "%ld", value);
    append(digits);
}

namespace {

// "track 19 sectors 10-16, track 20 sectors 1-4" for the noted sectors that
// `pick` selects: neighbours on one track are joined into a range.
template <class Pick> void appendPlaces(const RunRecovery& run, Pick pick, Text* out)
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
        out->append(first ? "track " : ", track ");
        out->appendNumber(run.sectors[i].track);
        out->append(j > i ? " sectors " : " sector ");
        out->appendNumber(run.sectors[i].r);
        if (j > i) {
            out->append("-");
            out->appendNumber(run.sectors[j].r);
        }
        first = false;
        i = j + 1;
    }
    if (run.count > noted)
        out->append(", ...");
}

void appendCount(long count, const char* one, const char* many, Text* out)
{
    out->appendNumber(count);
    out->append(count == 1 ? one : many);
}

} // namespace

void describeStatus(std::uint8_t status, Text* out)
{
    switch (status) {
    case 0xA0:
        out->append("ID CRC error");
        return;
    case 0xB0:
        out->append("data CRC error");
        return;
    case 0xE0:
        out->append("no address mark");
        return;
    case 0xF0:
        out->append("no data mark");
        return;
    default:
        break;
    }
    char hex[32];
    std::snprintf(hex, sizeof hex, "controller status 0x%02X", status);
    out->append(hex);
}

void describeHoles(const char* name, const RunRecovery& run, Text* out)
{
    out->clear();
    if (run.missing == 0 && run.stubby == 0)
        return;
    const auto missing = [](const SectorNote& s) { return s.fate == SectorFate::Missing; };
    const auto stubby = [](const SectorNote& s) { return s.fate == SectorFate::Short; };
    out->append(name);
    out->append(": ");
    // "M of S sectors missing (...)", "K of S sectors stored short (...)",
    // or both, the second without repeating "of S".
    if (run.missing > 0) {
        out->appendNumber(run.missing);
        out->append(" of ");
        appendCount(run.count, " sector missing (", " sectors missing (", out);
        appendPlaces(run, missing, out);
        out->append(")");
    }
    if (run.stubby > 0) {
        out->append(run.missing > 0 ? ", " : "");
        out->appendNumber(run.stubby);
        if (run.missing == 0) {
            out->append(" of ");
            appendCount(run.count, " sector stored short (", " sectors stored short (", out);
        } else {
            out->append(" stored short (");
        }
        appendPlaces(run, stubby, out);
        out->append(")");
    }
    out->append("; zeros written for what is missing");
}

void describeAbsence(const char* name, const RunRecovery& run, Text* out)
{
    out->clear();
    out->append(name);
    out->append(run.count == 1 ? ": its sector is not on the disk (" : ": none of its ");
    if (run.count != 1)
        appendCount(run.count, " sector is on the disk (", " sectors is on the disk (", out);
    appendPlaces(
        run, [](const SectorNote&) { return true; }, out);
    out->append("); not written");
}

void describeFlags(const char* name, const RunRecovery& run, Text* out)
{
    out->clear();
    if (run.flagged == 0)
        return;
    out->append(name);
    out->append(": ");
    appendCount(run.flagged, " sector flagged when the disk was dumped, written as stored: ",
                " sectors flagged when the disk was dumped, written as stored: ", out);
    // One group per meaning, in the order the meanings first appear.
    const std::int32_t noted = run.count < kMaxRunSectors ? run.count : kMaxRunSectors;
    const auto firstOfItsKind = [&](std::int32_t i, auto same) {
        for (std::int32_t k = 0; k < i; ++k)
            if (same(run.sectors[k]))
                return false;
        return true;
    };
    bool first = true;
    for (std::int32_t i = 0; i < noted; ++i) {
        const std::uint8_t status = run.sectors[i].status;
        const auto sameStatus = [status](const SectorNote& s) { return s.status == status; };
        const auto deleted = [](const SectorNote& s) { return s.deleted; };
        if (status != 0 && firstOfItsKind(i, sameStatus)) {
            out->append(first ? "" : "; ");
            appendPlaces(run, sameStatus, out);
            out->append(": ");
            describeStatus(status, out);
            first = false;
        }
        if (run.sectors[i].deleted && firstOfItsKind(i, deleted)) {
            out->append(first ? "" : "; ");
            appendPlaces(run, deleted, out);
            out->append(": deleted-data mark");
            first = false;
        }
    }
}

} // namespace zanvo
