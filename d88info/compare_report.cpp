// d88info --compare's listing and document.
#include "compare_report.h"

#include "json_report.h"
#include "report.h"

#include "d88_words.h"

#include <initializer_list>
#include <string>

namespace d88info {

namespace {

// "[a b c]", built by appending: GCC 12 warns falsely (-Wrestrict) about
// "[" + std::string.
std::string bracketed(std::initializer_list<std::string> parts)
{
    std::string out(1, '[');
    for (const std::string& part : parts)
        out += part;
    return out += ']';
}

constexpr const char* kSide[2] = {"first", "second"};

// Words that wrap as the listing's do, with the first line starting at
// `first` columns and the lines after it at `then`.
class Hanging {
  public:
    Hanging(std::FILE* out, std::size_t first, std::size_t then) : out_(out), first_(first), then_(then) {}
    ~Hanging() { finish(); }
    // Each space-separated word of `text` in turn.
    void words(const std::string& text)
    {
        for (std::size_t at = 0; at < text.size();) {
            const std::size_t space = text.find(' ', at);
            word(text.substr(at, space == std::string::npos ? std::string::npos : space - at));
            at = space == std::string::npos ? text.size() : space + 1;
        }
    }
    void word(const std::string& text)
    {
        if (started_ && column_ > then_ && column_ + 1 + text.size() > kWidth) {
            std::fputc('\n', out_);
            std::fprintf(out_, "%*s", static_cast<int>(then_), "");
            column_ = then_;
        } else if (!started_) {
            std::fprintf(out_, "%*s", static_cast<int>(first_), "");
            column_ = first_;
        } else {
            std::fputc(' ', out_);
            ++column_;
        }
        started_ = true;
        std::fputs(text.c_str(), out_);
        column_ += text.size();
    }
    void finish()
    {
        if (started_)
            std::fputc('\n', out_);
        started_ = false;
    }
    bool started() const { return started_; }

  private:
    std::FILE* out_;
    std::size_t first_, then_;
    std::size_t column_ = 0;
    bool started_ = false;
};

std::string idWords(const d88::SectorId& id)
{
    return std::to_string(id.c) + "." + std::to_string(id.h) + "." + std::to_string(id.r) + "." +
           std::to_string(id.n);
}

// The ID a sector is listed under: the first dump's, where it holds it.
const d88::SectorId& listedId(const SectorComparison& s)
{
    return s.inFirst ? s.first.id : s.second.id;
}

std::string flagList(const d88::SectorFlags& flags)
{
    std::string words;
    for (const std::string& flag : zanvo::flagWordList(flags))
        words += (words.empty() ? "" : ", ") + flag;
    return words;
}

// "data CRC error, 100 of 256 bytes": how one dump stores a sector, in what
// differs between the two.
std::string storedWords(const SectorComparison& s, const StoredSector& stored)
{
    std::string words;
    if (s.flagsDiffer)
        words = stored.flags.any() ? flagList(stored.flags) : "not flagged";
    if (s.sizeDiffers) {
        words += words.empty() ? "" : ", ";
        if (s.first.id.n != s.second.id.n)
            words += "size code " + std::to_string(stored.id.n) + ", ";
        words += stored.storedShort()
                     ? std::to_string(stored.bytes) + " of " + std::to_string(stored.nominal) + " bytes"
                     : std::to_string(stored.bytes) + (stored.bytes == 1 ? " byte" : " bytes");
    }
    return words;
}

std::string sectors(std::int64_t count)
{
    return thousands(count) + (count == 1 ? " sector" : " sectors");
}

// "absent from first", when a side does not hold the track as present.
std::string standingWords(d88::TrackStanding standing, const char* side)
{
    switch (standing) {
    case d88::TrackStanding::Absent:
        return std::string("absent from ") + side;
    case d88::TrackStanding::PastEnd:
        return std::string("past the end of ") + side + "'s file";
    case d88::TrackStanding::IntoHeader:
        return std::string(side) + "'s entry points into its header";
    case d88::TrackStanding::Present:
        break;
    }
    return "";
}

std::string nothingMore(const SectorComparison&)
{
    return "";
}

// A line of the sectors of one kind of difference, in ID order, each with
// what `detail` says of it; none when there are none.
void listKind(std::FILE* out, const TrackComparison& track, const char* label,
              bool (SectorComparison::*is)() const, std::string (*detail)(const SectorComparison&))
{
    Hanging line(out, 4, 8);
    for (const SectorComparison& s : track.sectors) {
        if (!(s.*is)())
            continue;
        if (!line.started())
            line.words(label);
        line.words(idWords(listedId(s)) + detail(s));
    }
}

void listTrack(std::FILE* out, const TrackComparison& track)
{
    std::string head;
    const d88::TrackStanding standings[2] = {track.firstStanding, track.secondStanding};
    for (int side = 0; side < 2; ++side)
        if (standings[side] != d88::TrackStanding::Present)
            head += standingWords(standings[side], kSide[side]) + "; ";
    const int differing = track.count(&SectorComparison::differs);
    const int copies = track.count(&SectorComparison::heldMoreThanOnce);
    head += differing == 0 ? std::string("no sector differs")
                           : sectors(differing) + (differing == 1 ? " differs" : " differ");
    if (copies > 0)
        head += "; " + std::to_string(copies) + " held more than once";
    std::fprintf(out, "track %3d (C %d H %d): %s\n", track.track, d88::cylinderOf(track.track),
                 d88::headOf(track.track), head.c_str());

    listKind(out, track, "only in first:", &SectorComparison::onlyInFirst, nothingMore);
    listKind(out, track, "only in second:", &SectorComparison::onlyInSecond, nothingMore);
    listKind(
        out, track, "stored differently:", &SectorComparison::storedDifferently,
        [](const SectorComparison& s) {
            return bracketed({"first: ", storedWords(s, s.first), "; second: ", storedWords(s, s.second)});
        });
    listKind(out, track, "different bytes:", &SectorComparison::differentBytes,
             [](const SectorComparison& s) {
                 return bracketed({std::to_string(s.differing), " of ", std::to_string(s.compared),
                                   " bytes differ, the first at byte ", std::to_string(s.firstDiffer)});
             });
    listKind(out, track, "held more than once:", &SectorComparison::heldMoreThanOnce,
             [](const SectorComparison& s) {
                 return bracketed({s.inFirst ? std::to_string(s.first.copies) : "none", " in first, ",
                                   s.inSecond ? std::to_string(s.second.copies) : "none", " in second"});
             });
}

void heading(std::FILE* out, const ComparedDisk& disk, const char* side)
{
    const DiskFacts& facts = *disk.facts;
    Hanging line(out, 0, 8);
    line.word(std::string(side) + ":");
    line.words("disk " + std::to_string(facts.index) + " of \"" + escapeName(disk.image) + "\" (\"" +
               escapeName(facts.name) + "\"), " + std::to_string(facts.count(TrackState::Present)) +
               " tracks present" +
               (facts.kind == zanvo::DiskKind::Unknown
                    ? ""
                    : std::string(", ") + zanvo::kindName(facts.kind) + " of ZANVO"));
}

void summaryLine(std::FILE* out, const ComparisonTotals& totals)
{
    std::string words;
    if (totals.same()) {
        words = "first and second hold the same " + sectors(totals.firstSectors) + ", with the same bytes";
    } else {
        words = "first holds " + sectors(totals.firstSectors) + ", second " +
                thousands(totals.secondSectors) + "; " + thousands(totals.differing) +
                (totals.differing == 1 ? " differs" : " differ") + ", on " +
                thousands(totals.tracksDiffering) + (totals.tracksDiffering == 1 ? " track" : " tracks") +
                ": " + thousands(totals.onlyInFirst) + " only in first, " + thousands(totals.onlyInSecond) +
                " only in second, " + thousands(totals.storedDifferently) + " stored differently, " +
                thousands(totals.differentBytes) + " with different bytes";
    }
    if (totals.heldMoreThanOnce > 0)
        words += "; " + thousands(totals.heldMoreThanOnce) + " held more than once";
    Hanging line(out, 0, 4);
    line.words("summary: " + words);
}

const char* standingName(d88::TrackStanding standing)
{
    switch (standing) {
    case d88::TrackStanding::Present:
        return "present";
    case d88::TrackStanding::PastEnd:
        return "past-end";
    case d88::TrackStanding::IntoHeader:
        return "into-header";
    case d88::TrackStanding::Absent:
        break;
    }
    return "absent";
}

void diskJson(JsonWriter& json, const ComparedDisk& disk)
{
    const DiskFacts& facts = *disk.facts;
    json.beginObject();
    json.member("image", disk.image);
    json.member("fileSize", disk.fileSize);
    json.member("diskCount", disk.diskCount);
    json.member("disk", facts.index);
    json.member("offset", facts.fileOffset);
    diskNameMember(json, facts.name);
    json.member("tracksPresent", facts.count(TrackState::Present));
    optionalText(json, "boot", zanvo::kindLetter(facts.kind));
    json.endObject();
}

void storedJson(JsonWriter& json, bool held, const StoredSector& stored)
{
    if (!held) {
        json.null();
        return;
    }
    json.beginObject();
    json.member("n", int{stored.id.n});
    json.key("flags");
    json.beginArray();
    for (const std::string& flag : zanvo::flagWordList(stored.flags))
        json.string(flag);
    json.endArray();
    json.member("status", int{stored.flags.status()});
    json.member("bytes", stored.bytes);
    json.member("nominal", stored.nominal);
    json.member("storedShort", stored.storedShort());
    json.member("copies", stored.copies);
    json.endObject();
}

void trackJson(JsonWriter& json, const TrackComparison& track)
{
    json.beginObject();
    json.member("track", track.track);
    json.member("cylinder", d88::cylinderOf(track.track));
    json.member("head", d88::headOf(track.track));
    json.member("first", standingName(track.firstStanding));
    json.member("second", standingName(track.secondStanding));
    json.member("firstSectors", track.firstSectors);
    json.member("secondSectors", track.secondSectors);
    json.member("differing", track.count(&SectorComparison::differs));
    json.key("sectors");
    json.beginArray();
    for (const SectorComparison& s : track.sectors) {
        const d88::SectorId& id = listedId(s);
        json.beginObject();
        json.member("c", int{id.c});
        json.member("h", int{id.h});
        json.member("r", int{id.r});
        json.key("first");
        storedJson(json, s.inFirst, s.first);
        json.key("second");
        storedJson(json, s.inSecond, s.second);
        json.key("onlyIn");
        if (s.onlyInFirst() || s.onlyInSecond())
            json.string(s.onlyInFirst() ? "first" : "second");
        else
            json.null();
        json.member("flagsDiffer", s.flagsDiffer);
        json.member("sizeDiffers", s.sizeDiffers);
        json.member("compared", s.compared);
        json.member("differing", s.differing);
        json.key("firstDiffering");
        if (s.differing > 0)
            json.number(s.firstDiffer);
        else
            json.null();
        json.endObject();
    }
    json.endArray();
    json.endObject();
}

void totalsJson(JsonWriter& json, const ComparisonTotals& totals)
{
    json.key("summary");
    json.beginObject();
    json.member("firstSectors", totals.firstSectors);
    json.member("secondSectors", totals.secondSectors);
    json.member("differing", totals.differing);
    json.member("tracksDiffering", totals.tracksDiffering);
    json.member("onlyInFirst", totals.onlyInFirst);
    json.member("onlyInSecond", totals.onlyInSecond);
    json.member("storedDifferently", totals.storedDifferently);
    json.member("differentBytes", totals.differentBytes);
    json.member("heldMoreThanOnce", totals.heldMoreThanOnce);
    json.member("same", totals.same());
    json.endObject();
}

} // namespace

std::string otherDiskNote(const ComparedDisk (&disks)[2])
{
    const zanvo::DiskKind a = disks[0].facts->kind, b = disks[1].facts->kind;
    if (a == zanvo::DiskKind::Unknown || b == zanvo::DiskKind::Unknown || a == b)
        return "";
    return std::string("first and second are ") + zanvo::kindName(a) + " and " + zanvo::kindName(b) +
           " of ZANVO: dumps of two disks";
}

} // namespace d88info

namespace d88info {

bool compareListing(std::FILE* out, const ComparedDisk (&disks)[2], ComparisonTotals* totals,
                    CompareError* failed)
{
    heading(out, disks[0], "first");
    heading(out, disks[1], "second");
    if (const std::string note = otherDiskNote(disks); !note.empty()) {
        Hanging line(out, 0, 6);
        line.words("note: " + note);
    }
    std::fprintf(
        out, "sector IDs as C.H.R.N; a sector a track holds more than once is compared by its first copy\n");
    if (!compareDisks(
            *disks[0].map, *disks[1].map, [out](const TrackComparison& track) { listTrack(out, track); },
            totals, failed))
        return false;
    summaryLine(out, *totals);
    return true;
}

bool compareJson(std::FILE* out, const ComparedDisk (&disks)[2], ComparisonTotals* totals,
                 CompareError* failed)
{
    JsonWriter json(out);
    json.beginObject();
    json.member("version", ZANVO_VERSION);
    json.key("first");
    diskJson(json, disks[0]);
    json.key("second");
    diskJson(json, disks[1]);
    json.key("note");
    if (const std::string note = otherDiskNote(disks); !note.empty())
        json.string(note);
    else
        json.null();
    json.key("tracks");
    json.beginArray();
    const bool done = compareDisks(
        *disks[0].map, *disks[1].map, [&json](const TrackComparison& track) { trackJson(json, track); },
        totals, failed);
    if (done) {
        json.endArray();
        totalsJson(json, *totals);
        json.endObject();
    }
    json.finish();
    return done;
}

} // namespace d88info
