#include "examine.h"

#include "cut_plans.h"
#include "json_writer.h"
#include "recover_run.h"
#include "recovery_text.h"
#include "report.h"
#include "verdict.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <span>
#include <system_error>

namespace zanvoweb {

namespace {

std::string reasonText(int error)
{
    return error == d88::kErrorNotRegularFile ? "not a regular file" : std::generic_category().message(error);
}

// zanvo-extract's run without its files written: the first disk recognised,
// then each row of its plan recovered sector by sector, with the warnings the
// tool gives for it, in the tool's order.
void cutAsTheToolDoes(const char* path, Examination* out)
{
    d88::D88Image image;
    if (!image.open(path)) {
        out->errors.push_back("cannot open " + out->name + ": " + reasonText(image.ioError()));
        return;
    }
    std::uint8_t boot[zanvo::kBootSectorSize];
    int error = 0;
    out->kind = zanvo::recogniseFirstDisk(image, boot, &error);
    if (error) {
        out->errors.push_back("cannot read " + out->name + ": " + reasonText(error));
        return;
    }
    const zanvo::CutEntry* plan = zanvo::planFor(out->kind);
    if (!plan)
        return;
    // Both are large; the stack of a WebAssembly module is small.
    const std::unique_ptr<zanvo::RunRecovery> recovery(new (std::nothrow) zanvo::RunRecovery);
    const std::unique_ptr<zanvo::Text> line(new (std::nothrow) zanvo::Text);
    if (!recovery || !line) {
        out->errors.push_back("cannot read " + out->name + ": " + reasonText(ENOMEM));
        return;
    }
    const auto say = [&] {
        if (!line->empty())
            out->warnings.emplace_back(line->c_str());
    };
    for (const zanvo::CutEntry* row = plan; row->sector != 0; ++row) {
        CutFile file{row->name, std::vector<std::uint8_t>(static_cast<std::size_t>(row->length))};
        switch (zanvo::recoverFile(image, zanvo::runStart(*row), file.bytes, 0, recovery.get(), &error)) {
        case zanvo::FileOutcome::ReadFailed:
            out->errors.push_back("cannot read " + file.name + " from " + out->name + ": " +
                                  reasonText(error) + "; " + file.name + " not written");
            continue;
        case zanvo::FileOutcome::NotOnDisk:
            zanvo::describeAbsence(row->name, *recovery, line.get());
            say();
            continue;
        case zanvo::FileOutcome::Cut:
            break;
        }
        zanvo::describeHoles(row->name, *recovery, line.get());
        say();
        zanvo::describeFlags(row->name, *recovery, line.get());
        say();
        out->files.push_back(std::move(file));
    }
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

// The text after "boot:" on the first boot line, which is disk 0's.
std::string firstBootLine(const std::string& summary)
{
    static constexpr char kBoot[] = "\n  boot:";
    const std::size_t at = summary.find(kBoot);
    if (at == std::string::npos)
        return "";
    const std::size_t from = summary.find_first_not_of(' ', at + sizeof kBoot - 1);
    const std::size_t end = summary.find('\n', from);
    return summary.substr(from, end == std::string::npos ? std::string::npos : end - from);
}

// The rows of the map d88info draws for disk 0: every track from 0 to the
// last the table names.
void mapDisk(d88::D88Image& image, d88info::TrackScan& scan, const d88info::DiskFacts& disk, SectorMap* map)
{
    using d88info::TrackState;
    const int lastTrack = std::max(disk.highest(TrackState::Present), disk.highest(TrackState::PastEnd));
    if (lastTrack < 0 || !image.selectDisk(disk.index))
        return;
    map->shown = true;
    map->lowR = disk.lowR;
    map->highR = disk.highR;
    map->commonSizeCode = disk.commonSizeCode;
    if (disk.highR < 0)
        return;
    for (int t = 0; t <= lastTrack; ++t) {
        MapTrack row{t, disk.tracks[t], ""};
        if (row.state == TrackState::Present)
            row.marks = d88info::mapRow(disk, t, scan.scan(image, t));
        map->tracks.push_back(std::move(row));
    }
}

// d88info's verdict, its summary, and its map of disk 0, each as it would
// print them. A read error shows nothing learned through it, as in d88info.
void describeAsD88infoDoes(const char* path, Examination* out)
{
    d88::D88Image image;
    if (!image.open(path)) {
        out->infoError = "cannot open " + out->name + ": " + reasonText(image.ioError());
        return;
    }
    const auto readFailed = [&](int error) {
        out->infoError = "cannot read " + out->name + ": " + reasonText(error);
    };
    if (!d88info::looksLikeD88(image, &out->notD88)) {
        if (image.ioError()) {
            out->notD88.clear();
            readFailed(image.ioError());
        }
        return;
    }
    out->looksLikeD88 = true;
    d88info::TrackScan scan;
    d88info::GatheredImage gathered;
    if (!scan.ok() || !d88info::gatherImage(image, scan, out->name.c_str(), &gathered))
        return readFailed(ENOMEM);
    if (image.ioError())
        return readFailed(image.ioError());
    if (!summaryText(gathered.facts, &out->summary))
        return readFailed(errno ? errno : ENOMEM);
    out->bootLine = firstBootLine(out->summary);
    mapDisk(image, scan, gathered.disks[0], &out->map);
    if (image.ioError()) {
        out->map = SectorMap{};
        readFailed(image.ioError());
    }
}

const char* stateName(d88info::TrackState state)
{
    switch (state) {
    case d88info::TrackState::Present:
        return "present";
    case d88info::TrackState::PastEnd:
        return "past-end";
    case d88info::TrackState::Absent:
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
        for (const MapTrack& track : exam.map.tracks) {
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
        json.endObject();
    }
    json.endObject();
    return json.text();
}

} // namespace zanvoweb
