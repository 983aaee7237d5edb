#include "json_report.h"

#include "d88_words.h"
#include "report.h"

#include <cerrno>
#include <vector>

namespace d88info {

namespace {

// The fields of a record's array, in order.
constexpr const char* kRecordFields[] = {"c",        "h",         "r",          "n",      "sectorCount",
                                         "dataSize", "available", "skipped",    "status", "deletedMark",
                                         "bySize",   "uncertain", "readPastLie"};

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

void record(JsonWriter& json, const Record& rec)
{
    const d88::RecordHeader& h = rec.header;
    json.beginArray();
    for (const int value :
         {int{h.id.c}, int{h.id.h}, int{h.id.r}, int{h.id.n}, int{h.sectorCount}, int{h.dataSize},
          rec.available, rec.skipped, int{h.status}, int{h.deletedMark}, int{rec.bySize}, int{rec.uncertain},
          int{rec.pastLie.field != d88::LyingField::None}})
        json.number(value);
    json.endArray();
}

// A present track's own facts and records: those a lower track lists are
// named by their stretch, and what keeps the strict rule from them is said
// once.
int trackRecords(JsonWriter& json, d88::RecordMap& map, int t, const TrackInfo& info, Detail detail)
{
    const d88::TrackFacts& f = info.facts;
    json.member("start", f.start);
    json.member("end", f.end);
    json.member("recordCount", f.records);
    json.member("dataSizeLies", f.lies);
    json.member("uncertain", f.uncertain);
    json.member("readPastLies", f.pastLies);
    json.member("leadingBytes", f.leading);
    json.member("noRecordBytes", f.skipped);
    json.member("cut", f.cut);
    std::vector<d88::SharedRun> runs;
    if (const d88::Outcome told = sharedRuns(map, t, f.records, &runs); told.failed())
        return told.error;
    json.key("shared");
    json.beginArray();
    for (const d88::SharedRun& run : runs) {
        json.beginObject();
        json.member("first", run.first);
        json.member("count", run.count);
        json.member("track", run.track);
        json.member("from", run.from);
        json.endObject();
    }
    json.endArray();
    d88::Lie lie;
    std::vector<std::string> lies;
    if (detail == Detail::Records) {
        json.key("records");
        json.beginArray();
    }
    std::size_t next = 0;
    const d88::Outcome walked = map.eachRecord(t, [&](const Record& rec, std::int32_t index) {
        if (rec.pastLie.field != d88::LyingField::None && !(rec.pastLie == lie)) {
            lie = rec.pastLie;
            lies.push_back(zanvo::lieWords(lie));
        }
        while (next < runs.size() && runs[next].first + runs[next].count <= index)
            ++next;
        if (detail == Detail::Records && !(next < runs.size() && runs[next].first <= index))
            record(json, rec);
        return true;
    });
    if (walked.failed())
        return walked.error;
    if (detail == Detail::Records)
        json.endArray();
    json.key("readPast");
    json.beginArray();
    for (const std::string& words : lies)
        json.string(words);
    json.endArray();
    return 0;
}

// Every track the table names. 0, or the error of a read that failed, where
// the list stops.
int tracks(JsonWriter& json, d88::RecordMap& map, const DiskFacts& disk, Detail detail)
{
    json.key("tracks");
    json.beginArray();
    for (int t = 0; t < d88::kMaxTracks; ++t) {
        const TrackInfo& info = disk.tracks[t];
        if (info.state == TrackState::Absent)
            continue;
        json.beginObject();
        json.member("track", t);
        json.member("cylinder", d88::cylinderOf(t));
        json.member("head", d88::headOf(t));
        json.member("offset", info.offset);
        json.member("state", stateName(info.state));
        if (info.state == TrackState::Present) {
            // A lower track of the disk first, as the summary and the
            // listing name it; then an earlier disk's track.
            if (info.facts.sameAs != t || info.otherDisk >= 0) {
                const bool here = info.facts.sameAs != t;
                json.key("sameRecordsAs");
                json.beginObject();
                json.member("disk", here ? disk.index : info.otherDisk);
                json.member("track", here ? info.facts.sameAs : info.otherTrack);
                json.endObject();
            } else if (const int error = trackRecords(json, map, t, info, detail)) {
                return error;
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
        json.beginObject();
        json.member("words", zanvo::flagWords(flag, status));
        json.member("records", records);
        json.endObject();
    });
    json.endArray();
    json.member("shortRecords", disk.stubby);
    json.member("uncertainRecords", disk.uncertain);
    json.member("recordsReadPastLies", disk.pastLies);
    json.member("noRecordBytes", disk.noRecordBytes);
    json.member("cutTracks", disk.cutTracks);
    json.key("lies");
    json.beginObject();
    json.member("dataSizeRecords", disk.sizeLies);
    json.member("sectorCountTracks", disk.countLies);
    json.member("noRecordTracks", disk.noRecordLies);
    json.member("diskSize", disk.diskSizeLies);
    json.endObject();
}

void mapOf(JsonWriter& json, d88::RecordMap& map, const DiskFacts& disk, SharedCells* shared, int* error)
{
    json.key("map");
    std::vector<MapRow> rows;
    if ((*error = mapRows(map, disk, &rows, shared)) != 0)
        return;
    if (rows.empty() || disk.highR < 0) {
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

void disk(JsonWriter& json, d88::RecordMap& map, const DiskFacts& facts, Detail detail, SharedCells* shared,
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
    const bool d88 = facts.gathered && facts.verdict.d88;
    json.member("d88", d88);
    optionalText(json, "notD88", d88 || !facts.gathered ? "" : notD88Reason(facts));
    json.key("insideDisk");
    if (facts.verdict.insideDisk >= 0) {
        json.beginObject();
        json.member("disk", facts.verdict.insideDisk);
        json.key("track");
        if (facts.verdict.insideTrack >= 0)
            json.number(facts.verdict.insideTrack);
        else
            json.null();
        json.endObject();
    } else {
        json.null();
    }
    if (!d88) {
        json.endObject();
        return;
    }
    diskNameMember(json, facts.name);
    json.member("mediaType", facts.mediaType);
    optionalText(json, "media", mediaMeaning(facts.mediaType));
    optionalText(json, "oddFields", zanvo::oddFieldWords(facts.verdict.odd, facts.header));
    optionalText(json, "geometryLooksLike", geometryMedia(facts));
    json.member("largestTrackBytes", facts.largestTrackBytes);
    json.member("writeProtect", facts.writeProtect);
    json.member("protect", protectMeaning(facts.writeProtect));
    json.member("diskSize", facts.diskSize);
    json.member("diskSizeLies", facts.layout.sizeLies);
    json.member("extent", facts.extent);
    json.key("fileEndsAt");
    if (facts.truncated())
        json.number(facts.fileSize);
    else
        json.null();
    json.member("tableEntries", facts.layout.tableEntries);
    if (const d88::Outcome loaded = map.loadDisk(facts.index); loaded.failed()) {
        *error = loaded.error;
        return;
    }
    if ((*error = tracks(json, map, facts, detail)) != 0)
        return;
    counts(json, facts);
    json.key("boot");
    json.beginObject();
    json.member("found", facts.bootFound);
    optionalText(json, "disk", zanvo::kindLetter(facts.kind));
    json.member("line", bootLine(facts));
    json.endObject();
    mapOf(json, map, facts, shared, error);
    if (*error == 0)
        json.endObject();
}

void head(JsonWriter& json, const char* name, std::int64_t fileSize)
{
    json.member("version", ZANVO_VERSION);
    json.member("image", name);
    json.member("fileSize", fileSize);
}

} // namespace

void diskNameMember(JsonWriter& json, const char* name)
{
    constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (const char* p = name; *p; ++p) {
        hex += kHex[static_cast<unsigned char>(*p) >> 4];
        hex += kHex[static_cast<unsigned char>(*p) & 15];
    }
    json.key("name");
    json.beginObject();
    json.member("text", name);
    json.member("hex", hex);
    json.endObject();
}

int imageJson(d88::RecordMap& map, const char* name, JsonWriter& json, Detail detail)
{
    GatheredImage gathered;
    if (const int error = gatherImage(map, name, &gathered))
        return error;
    json.beginObject();
    head(json, name, map.image().fileSize());
    json.member("d88", true);
    json.key("notD88");
    json.null();
    json.key("looksLike");
    json.null();
    json.member("diskCount", gathered.facts.diskCount);
    json.key("moreDisksAt");
    if (gathered.facts.moreDisksAt >= 0)
        json.number(gathered.facts.moreDisksAt);
    else
        json.null();
    json.key("recordFields");
    json.beginArray();
    for (const char* field : kRecordFields)
        json.string(field);
    json.endArray();
    json.key("disks");
    json.beginArray();
    int error = 0;
    SharedCells shared;
    for (const std::unique_ptr<DiskFacts>& facts : gathered.facts.disks) {
        disk(json, map, *facts, detail, &shared, &error);
        if (error)
            return error;
    }
    json.endArray();
    json.endObject();
    return 0;
}

std::string notD88Json(const char* name, const d88::FileVerdict& verdict, const std::string& reason)
{
    static constexpr const char* kKinds[] = {
        "d88", "unknown",         "gzip",         "zip", "lzh", "7z", "rar", "png", "jpeg",
        "elf", "windows-program", "plain-sectors"};
    JsonWriter json;
    json.beginObject();
    head(json, name, verdict.size);
    json.member("d88", false);
    json.member("notD88", reason);
    json.member("looksLike", kKinds[static_cast<int>(verdict.kind)]);
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
