#include "examine.h"

#include "cut_report.h"
#include "error_text.h"
#include "file_cut.h"
#include "json_writer.h"

#include "d88/verdict.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <span>
#include <system_error>

namespace zanvoweb {

namespace {

// zanvo-extract's run without its files written: the first disk recognised,
// then its plan cut, with what the tool says of each file.
void cutAsTheToolDoes(const char* path, Examination* out)
{
    const char* name = out->name.c_str();
    d88::D88Image image;
    if (!image.open(path)) {
        out->errors.push_back(fileio::cannotOpen(name, image.ioError()));
        return;
    }
    std::uint8_t boot[zanvo::kBootSectorSize];
    const zanvo::Recognised recognised = zanvo::recogniseDisk(image, boot);
    if (recognised.what == zanvo::Recognition::ReadFailed) {
        out->errors.push_back(fileio::cannotRead(name, recognised.error));
        return;
    }
    out->kind = recognised.kind();
    const zanvo::CutEntry* plan = zanvo::planFor(out->kind);
    if (!plan)
        return;
    // Large for the small stack of a WebAssembly module.
    const std::unique_ptr<zanvo::RunRecovery> run(new (std::nothrow) zanvo::RunRecovery);
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(zanvo::longestFile(plan)));
    if (!run) {
        out->errors.push_back(fileio::cannotRead(name, ENOMEM));
        return;
    }
    zanvo::CutWarnings warnings;
    zanvo::cutPlan(image, plan, buffer, *run, [&](const zanvo::FileCut& cut) {
        if (cut.outcome == zanvo::CutOutcome::ReadFailed) {
            out->errors.push_back(fileio::cannotReadFile(cut.name, name, cut.error));
            return;
        }
        zanvo::warningsFor(cut, &warnings);
        out->warnings.insert(out->warnings.end(), warnings.lines, warnings.lines + warnings.count);
        if (cut.outcome == zanvo::CutOutcome::Cut)
            out->files.push_back({cut.name, std::vector<std::uint8_t>(cut.bytes.begin(), cut.bytes.end())});
    });
}

// printSummary's text, or false when the stream could not be made.
bool summaryText(const d88info::ImageFacts& facts, std::string* text)
{
    char* data = nullptr;
    std::size_t size = 0;
    std::FILE* stream = open_memstream(&data, &size);
    if (!stream)
        return false;
    d88info::printSummary(stream, facts);
    const bool written = std::fflush(stream) == 0 && !std::ferror(stream);
    std::fclose(stream);
    if (written)
        text->assign(data, size);
    std::free(data);
    return written;
}

// d88info's verdict, its summary, and its map of disk 0, each as it would
// print them. A read error shows nothing learned through it, as in d88info.
void describeAsD88infoDoes(const char* path, Examination* out)
{
    const char* name = out->name.c_str();
    d88::D88Image image;
    if (!image.open(path)) {
        out->infoError = fileio::cannotOpen(name, image.ioError());
        return;
    }
    const d88::Verdict verdict = d88::judgeImage(image);
    if (verdict.readError) {
        out->infoError = fileio::cannotRead(name, verdict.readError);
        return;
    }
    if (!verdict.possible) {
        out->notD88 = verdict.reason;
        return;
    }
    out->looksLikeD88 = true;
    d88info::TrackScan scan;
    d88info::GatheredImage gathered;
    const int error = scan.ok() ? d88info::gatherImage(image, scan, name, &gathered) : ENOMEM;
    if (error) {
        out->infoError = fileio::cannotRead(name, error);
        return;
    }
    if (!summaryText(gathered.facts, &out->summary)) {
        out->infoError = fileio::cannotRead(name, errno ? errno : ENOMEM);
        return;
    }
    const d88info::DiskFacts& first = gathered.disks[0];
    if (first.gathered)
        out->bootLine = d88info::bootLine(first);
    SectorMap& map = out->map;
    if (std::max(first.highest(d88info::TrackState::Present), first.highest(d88info::TrackState::PastEnd)) <
        0)
        return;
    if (const int mapError = d88info::mapRows(image, scan, first, &map.tracks)) {
        map.tracks.clear();
        out->infoError = fileio::cannotRead(name, mapError);
        return;
    }
    map.shown = true;
    map.lowR = first.lowR;
    map.highR = first.highR;
    map.commonSizeCode = first.commonSizeCode;
    map.legend = d88info::mapLegend(first);
}

const char* stateName(d88info::TrackState state)
{
    switch (state) {
    case d88info::TrackState::Present:
        return "present";
    case d88info::TrackState::PastEnd:
        return "past-end";
    case d88info::TrackState::Absent:
    case d88info::TrackState::IntoHeader:
        break;
    }
    return "absent";
}

void stringArray(JsonWriter& json, const char* name, const std::vector<std::string>& items)
{
    json.key(name);
    json.beginArray();
    for (const std::string& item : items)
        json.string(item);
    json.endArray();
}

} // namespace

void examineImage(const char* path, const char* name, Examination* out)
{
    *out = Examination{};
    out->name = name;
    cutAsTheToolDoes(path, out);
    describeAsD88infoDoes(path, out);
}

std::string examinationJson(const Examination& exam)
{
    JsonWriter json;
    json.beginObject();
    json.key("name");
    json.string(exam.name);
    json.key("disk");
    json.string(exam.kind == zanvo::DiskKind::DiskA ? "A" : exam.kind == zanvo::DiskKind::DiskF ? "F" : "");
    json.key("files");
    json.beginArray();
    for (const CutFile& file : exam.files) {
        json.beginObject();
        json.key("name");
        json.string(file.name);
        json.key("size");
        json.number(static_cast<std::int64_t>(file.bytes.size()));
        json.endObject();
    }
    json.endArray();
    stringArray(json, "warnings", exam.warnings);
    stringArray(json, "errors", exam.errors);
    json.key("looksLikeD88");
    json.boolean(exam.looksLikeD88);
    json.key("notD88");
    json.string(exam.notD88);
    json.key("summary");
    json.string(exam.summary);
    json.key("bootLine");
    json.string(exam.bootLine);
    json.key("infoError");
    json.string(exam.infoError);
    json.key("map");
    if (!exam.map.shown) {
        json.null();
    } else {
        json.beginObject();
        json.key("lowR");
        json.number(exam.map.lowR);
        json.key("highR");
        json.number(exam.map.highR);
        json.key("commonSizeCode");
        json.number(exam.map.commonSizeCode);
        json.key("tracks");
        json.beginArray();
        for (const d88info::MapRow& track : exam.map.tracks) {
            json.beginObject();
            json.key("track");
            json.number(track.track);
            json.key("state");
            json.string(stateName(track.state));
            json.key("marks");
            json.string(track.marks);
            json.endObject();
        }
        json.endArray();
        json.key("legend");
        json.beginArray();
        for (const d88info::MapMark& mark : exam.map.legend) {
            json.beginObject();
            json.key("marks");
            json.string(mark.marks);
            json.key("words");
            json.string(mark.words);
            json.endObject();
        }
        json.endArray();
        json.endObject();
    }
    json.endObject();
    return json.text();
}

} // namespace zanvoweb
