#include "json_report.h"

#include "json_writer.h"
#include "report.h"

#include <cerrno>
#include <vector>

namespace d88info {

namespace {

const char* stateName(TrackState state)
{
    switch (state) {
    case TrackState::Present:
        return "present";
    case TrackState::PastEnd:
        return "past-end";
    case TrackState::IntoHeader:
        return "into-header";
    case TrackState::Absent:
        break;
    }
    return "absent";
}

void optionalText(JsonWriter& json, std::string_view name, const std::string& text)
{
    json.key(name);
    if (text.empty())
        json.null();
    else
        json.string(text);
}

void record(JsonWriter& json, const FoundRecord& rec)
{
    json.beginObject();
    json.member("c", int{rec.id.c});
    json.member("h", int{rec.id.h});
    json.member("r", int{rec.id.r});
    json.member("n", int{rec.id.n});
    json.member("sectorCount", rec.sectorCount);
    json.member("dataSize", rec.dataSize);
    json.member("available", rec.available);
    json.member("short", isShort(rec));
    json.member("dataSizeLied", rec.nominalStep || rec.storedShort);
    json.member("sizeUnverified", rec.sizeUnverified);
    json.key("flags");
    json.beginArray();
    for (const d88::SectorFlag flag : d88::kEverySectorFlag) {
        if (!rec.flags.has(flag))
            continue;
        std::string words;
        d88::appendFlagWords(words, flag, rec.flags.status());
        json.string(words);
    }
    json.endArray();
    std::string lie;
    if (rec.pastLie.field != d88::LyingField::None)
        d88::appendLieWords(lie, rec.pastLie);
    optionalText(json, "readPastLie", lie);
    json.endObject();
}

// Every track the table names, with its records; a track that shares a
// lower track's records names it instead of repeating them. 0, or the
// error of a read that failed, where the list stops.
int tracks(JsonWriter& json, d88::D88Image& image, TrackScan& scan, const DiskFacts& disk, Detail detail)
{
    json.key("tracks");
    json.beginArray();
    for (int t = 0; t < d88::kMaxTracks; ++t) {
        if (disk.tracks[t] == TrackState::Absent)
            continue;
        json.beginObject();
        json.member("track", t);
        json.member("cylinder", d88::cylinderOf(t));
        json.member("head", d88::headOf(t));
        json.member("offset", disk.trackOffsets[t]);
        json.member("state", stateName(disk.tracks[t]));
        if (disk.tracks[t] == TrackState::Present && disk.sameAs[t] != t) {
            json.member("sameRecordsAs", disk.sameAs[t]);
        } else if (disk.tracks[t] == TrackState::Present) {
            // Its own records, the stretches only the sector counts walk
            // through, and the records it shares with the track that reached
            // them first: each record is described once.
            const d88::TrackShare& share = disk.shares[t];
            json.member("recordCount", share.records);
            if (detail == Detail::Records) {
                std::span<const FoundRecord> own;
                if (const d88::Outcome read = scan.scan(image, t, &own, 0, share.own); read.failed())
                    return read.error;
                json.key("records");
                json.beginArray();
                forEachListed(
                    own, disk.fileOffset + disk.trackOffsets[t],
                    [&json](const FoundRecord& rec) { record(json, rec); },
                    [](std::int64_t, std::int64_t) {});
                json.endArray();
                json.key("countedBytes");
                json.beginArray();
                forEachListed(
                    own, disk.fileOffset + disk.trackOffsets[t], [](const FoundRecord&) {},
                    [&json](std::int64_t from, std::int64_t to) {
                        json.beginObject();
                        json.member("from", from);
                        json.member("to", to);
                        json.endObject();
                    });
                json.endArray();
            }
            json.key("sharedRecords");
            if (share.with >= 0) {
                json.beginObject();
                json.member("track", share.with);
                json.member("from", share.from);
                json.member("to", share.from + share.records - share.own - 1);
                json.endObject();
            } else {
                json.null();
            }
        }
        json.endObject();
    }
    json.endArray();
    return 0;
}

void counts(JsonWriter& json, const DiskFacts& disk)
{
    json.key("recordsPerTrack");
    json.beginArray();
    for (int i = 0; i < disk.recordCountKinds; ++i) {
        json.beginObject();
        json.member("records", disk.recordCounts[i].records);
        json.member("tracks", disk.recordCounts[i].tracks);
        json.endObject();
    }
    json.endArray();
    json.key("sizeCodes");
    json.beginArray();
    for (int n = 0; n < 256; ++n) {
        if (disk.sizeCodes[n] == 0)
            continue;
        json.beginObject();
        json.member("n", n);
        json.member("bytes", d88::nominalSectorSize(n));
        json.member("records", disk.sizeCodes[n]);
        json.endObject();
    }
    json.endArray();
    json.key("flags");
    json.beginArray();
    disk.forEachFlagCount([&json](d88::SectorFlag flag, std::uint8_t status, std::int64_t records) {
        std::string words;
        d88::appendFlagWords(words, flag, status);
        json.beginObject();
        json.member("words", words);
        json.member("records", records);
        json.endObject();
    });
    json.endArray();
    json.member("shortRecords", disk.stubby);
    json.member("recordsReadPastLies", disk.pastLies);
    json.key("lies");
    json.beginObject();
    json.member("dataSizeRecords", disk.sizeLies);
    json.member("sectorCountTracks", disk.countLies);
    json.member("diskSize", disk.diskSizeLies);
    json.endObject();
}

void map(JsonWriter& json, d88::D88Image& image, TrackScan& scan, const DiskFacts& disk, int* error)
{
    json.key("map");
    std::vector<MapRow> rows;
    if ((*error = mapRows(image, scan, disk, &rows)) != 0 || rows.empty()) {
        json.null();
        return;
    }
    json.beginObject();
    json.member("lowR", disk.lowR);
    json.member("highR", disk.highR);
    json.member("commonSizeCode", disk.commonSizeCode);
    json.key("legend");
    json.beginArray();
    for (const MapMark& mark : mapLegend(disk)) {
        json.beginObject();
        json.member("marks", mark.marks);
        json.member("words", mark.words);
        json.endObject();
    }
    json.endArray();
    json.key("rows");
    json.beginArray();
    for (const MapRow& row : rows) {
        json.beginObject();
        json.member("track", row.track);
        json.member("state", stateName(row.state));
        json.member("marks", row.marks);
        json.endObject();
    }
    json.endArray();
    json.endObject();
}

std::string hexOf(const char* bytes)
{
    constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (const char* p = bytes; *p; ++p) {
        out += kHex[static_cast<unsigned char>(*p) >> 4];
        out += kHex[static_cast<unsigned char>(*p) & 15];
    }
    return out;
}

void disk(JsonWriter& json, d88::D88Image& image, TrackScan& scan, const DiskFacts& facts, Detail detail,
          int* error)
{
    json.beginObject();
    json.member("index", facts.index);
    json.member("offset", facts.fileOffset);
    json.member("readable", facts.gathered);
    if (facts.sameDiskAs >= 0) {
        // A disk at the offset of an earlier one is that disk again.
        json.member("sameDiskAs", facts.sameDiskAs);
        json.endObject();
        return;
    }
    json.key("sameDiskAs");
    json.null();
    json.member("d88", facts.gathered && facts.verdict.possible);
    optionalText(json, "notD88", facts.verdict.possible ? "" : facts.verdict.reason);
    json.key("insideDisk");
    if (facts.verdict.insideDisk >= 0) {
        json.beginObject();
        json.member("disk", facts.verdict.insideDisk);
        json.member("track", facts.verdict.insideTrack);
        json.endObject();
    } else {
        json.null();
    }
    if (!facts.gathered || !facts.verdict.possible) {
        json.endObject();
        return;
    }
    json.key("name");
    json.beginObject();
    json.member("text", facts.name);
    json.member("hex", hexOf(facts.name));
    json.endObject();
    json.member("mediaType", facts.mediaType);
    optionalText(json, "media", mediaMeaning(facts.mediaType));
    optionalText(json, "geometryLooksLike", geometryMedia(facts));
    json.member("largestTrackBytes", facts.largestTrackBytes);
    json.member("writeProtect", facts.writeProtect);
    json.member("protect", protectMeaning(facts.writeProtect));
    json.member("diskSize", facts.diskSize);
    json.member("diskSizeLies", facts.sizeFieldLies);
    json.member("extent", facts.extent);
    json.key("fileEndsAt");
    if (facts.truncated())
        json.number(facts.fileSize);
    else
        json.null();
    json.member("tableEntries", facts.tableEntries);
    if (const d88::Outcome selected = image.loadDisk(facts.index); selected.failed()) {
        *error = selected.error;
        return;
    }
    if ((*error = tracks(json, image, scan, facts, detail)) != 0)
        return;
    counts(json, facts);
    json.key("boot");
    json.beginObject();
    json.member("found", facts.bootFound);
    optionalText(json, "disk",
                 facts.kind == zanvo::DiskKind::DiskA   ? "A"
                 : facts.kind == zanvo::DiskKind::DiskF ? "F"
                                                        : "");
    json.member("line", bootLine(facts));
    json.endObject();
    map(json, image, scan, facts, error);
    json.endObject();
}

} // namespace

int imageJson(d88::D88Image& image, TrackScan& scan, const char* name, JsonWriter& json, Detail detail)
{
    GatheredImage gathered;
    if (const int error = gatherImage(image, scan, name, &gathered))
        return error;
    json.beginObject();
    json.member("version", ZANVO_VERSION);
    json.member("image", name);
    json.member("fileSize", image.fileSize());
    json.member("d88", true);
    json.key("notD88");
    json.null();
    json.member("diskCount", gathered.facts.diskCount);
    json.key("moreDisksAt");
    if (gathered.facts.moreDisksAt >= 0)
        json.number(gathered.facts.moreDisksAt);
    else
        json.null();
    json.key("disks");
    json.beginArray();
    int error = 0;
    for (const DiskFacts& facts : gathered.facts.disks) {
        disk(json, image, scan, facts, detail, &error);
        if (error)
            return error;
    }
    json.endArray();
    json.endObject();
    return 0;
}

std::string notD88Json(const char* name, std::int64_t fileSize, const char* reason)
{
    JsonWriter json;
    json.beginObject();
    json.member("version", ZANVO_VERSION);
    json.member("image", name);
    json.member("fileSize", fileSize);
    json.member("d88", false);
    json.member("notD88", reason);
    json.member("diskCount", 0);
    json.key("moreDisksAt");
    json.null();
    json.key("disks");
    json.beginArray();
    json.endArray();
    json.endObject();
    return json.text();
}

} // namespace d88info
