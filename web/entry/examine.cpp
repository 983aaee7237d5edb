#include "examine.h"

#include "cut_report.h"
#include "error_text.h"
#include "file_cut.h"
#include "joined_cut.h"
#include "json_report.h"
#include "json_writer.h"
#include "messages.h"

#include "d88/file_kind.h"
#include "d88/record_map.h"
#include "d88_words.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <span>
#include <system_error>

namespace zanvoweb {

namespace {

const char* kindOf(zanvo::Recognition what)
{
    switch (what) {
    case zanvo::Recognition::DiskA:
        return "A";
    case zanvo::Recognition::DiskF:
        return "F";
    case zanvo::Recognition::NotD88:
        return "notD88";
    default:
        return "other";
    }
}

// What each disk of the file is. False with the error when a boot sector's
// read failed.
bool seeDisks(d88::RecordMap& map, Examination* out, int* error)
{
    d88::D88Image& image = map.image();
    std::uint8_t boot[zanvo::kBootSectorSize];
    for (std::int32_t index = 0; index < image.diskCount(); ++index) {
        const std::int64_t at = image.diskOffset(index);
        if (std::any_of(out->disks.begin(), out->disks.end(),
                        [&](const DiskSeen& seen) { return image.diskOffset(seen.index) == at; }))
            continue;
        const zanvo::Recognised recognised = zanvo::recogniseDisk(map, boot, index);
        if (recognised.what == zanvo::Recognition::ReadFailed) {
            *error = recognised.error;
            return false;
        }
        out->disks.push_back({index, kindOf(recognised.what)});
    }
    return true;
}

// zanvo-extract's run without its files written: the disk asked for (or the
// first of the title's) recognised, then its plan cut, with what the tool
// says of each file.
// Another dump of the set, opened for the cut.
struct Joined {
    d88::D88Image image;
    d88::RecordMap map{image};
};

// Opens the other dumps and finds in each the disk to join beside the one
// recognised as `kind`; false, with the error said, when one cannot be.
bool openOthers(std::span<const DumpFile> others, zanvo::DiskKind kind, Examination* out,
                std::vector<std::unique_ptr<Joined>>* joined)
{
    for (const DumpFile& dump : others) {
        joined->push_back(std::make_unique<Joined>());
        Joined& it = *joined->back();
        if (const d88::Outcome opened = it.image.openImage(dump.path); !opened.done()) {
            out->errors.push_back(fileio::cannotOpen(dump.name, opened.error));
            return false;
        }
        std::int32_t disk = 0;
        int error = 0;
        const std::string why = zanvo::findDiskToJoin(it.map, -1, kind, &disk, &error);
        if (error != 0) {
            out->errors.push_back(fileio::cannotRead(dump.name, error));
            return false;
        }
        if (!why.empty()) {
            out->errors.push_back(std::string(dump.name) + ": not joined to " + out->name + " (" +
                                  zanvo::kindName(kind) + "): " + why + "; nothing was cut");
            return false;
        }
    }
    return true;
}

// How many of the run's sectors each of `dumps` dumps gave.
std::vector<int> sectorsFrom(const zanvo::RunRecovery& run, std::size_t dumps)
{
    std::vector<int> from(dumps, 0);
    const std::int32_t noted = std::min(run.count, zanvo::kMaxRunSectors);
    for (std::int32_t i = 0; i < noted; ++i)
        if (run.sectors[i].fate != zanvo::SectorFate::Missing && run.sectors[i].from < dumps)
            ++from[run.sectors[i].from];
    return from;
}

void cutAsTheToolDoes(std::span<const DumpFile> dumps, int disk, Examination* out)
{
    const char* path = dumps[0].path;
    const char* name = out->name.c_str();
    d88::D88Image image;
    if (const d88::Outcome opened = image.openImage(path); !opened.done()) {
        out->errors.push_back(fileio::cannotOpen(name, opened.error));
        return;
    }
    d88::RecordMap map(image);
    if (int error = 0; !seeDisks(map, out, &error)) {
        out->errors.push_back(fileio::cannotRead(name, error));
        return;
    }
    if (disk < 0 || disk >= image.diskCount()) {
        const auto title = std::find_if(out->disks.begin(), out->disks.end(), [](const DiskSeen& seen) {
            return seen.kind == "A" || seen.kind == "F";
        });
        disk = title == out->disks.end() ? 0 : title->index;
    }
    out->cut = disk;
    std::uint8_t boot[zanvo::kBootSectorSize];
    const zanvo::Recognised recognised = zanvo::recogniseDisk(map, boot, disk);
    if (recognised.what == zanvo::Recognition::ReadFailed) {
        out->errors.push_back(fileio::cannotRead(name, recognised.error));
        return;
    }
    out->kind = recognised.kind();
    const zanvo::CutEntry* plan = zanvo::planFor(out->kind);
    if (!plan)
        return;
    std::vector<std::unique_ptr<Joined>> joined;
    if (!openOthers(dumps.subspan(1), out->kind, out, &joined))
        return;
    std::vector<d88::RecordMap*> maps{&map};
    for (const auto& other : joined)
        maps.push_back(&other->map);
    std::vector<std::string> names;
    for (const DumpFile& dump : dumps)
        names.emplace_back(dump.name);
    if (dumps.size() > 1)
        out->dumps = names;
    // Large for the small stack of a WebAssembly module.
    const std::unique_ptr<zanvo::RunRecovery> run(new (std::nothrow) zanvo::RunRecovery);
    const std::unique_ptr<zanvo::JoinScratch> scratch(maps.size() > 1 ? new (std::nothrow) zanvo::JoinScratch
                                                                      : nullptr);
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(zanvo::longestFile(plan)));
    if (!run || (maps.size() > 1 && !scratch)) {
        out->errors.push_back(fileio::cannotRead(name, ENOMEM));
        return;
    }
    zanvo::CutWarnings warnings;
    zanvo::CutTally tally;
    for (const zanvo::CutEntry* row = plan; row->sector != 0; ++row) {
        const zanvo::FileCut cut = maps.size() > 1 ? zanvo::cutJoinedRow(maps, *row, buffer, *scratch, *run)
                                                   : zanvo::cutRow(map, *row, buffer, *run);
        tally.count(cut, cut.outcome == zanvo::CutOutcome::Cut);
        if (cut.outcome == zanvo::CutOutcome::ReadFailed) {
            out->errors.push_back(fileio::cannotReadFile(
                cut.name, names[static_cast<std::size_t>(cut.dump)].c_str(), cut.error));
            continue;
        }
        zanvo::warningsFor(cut, "the sector map shows where", &warnings, out->dumps);
        out->warnings.insert(out->warnings.end(), warnings.lines, warnings.lines + warnings.count);
        if (cut.outcome == zanvo::CutOutcome::Cut)
            out->files.push_back({cut.name, std::vector<std::uint8_t>(cut.bytes.begin(), cut.bytes.end()),
                                  cut.run->missing + cut.run->stubby, cut.run->flagged, cut.run->uncertain,
                                  maps.size() > 1 ? sectorsFrom(*cut.run, maps.size()) : std::vector<int>{},
                                  cut.run->disputed});
    }
    out->tally = zanvo::tallyLine(tally, false);
}

// `d88info --json IMAGE`'s document. A read error shows nothing learned
// through it, as in d88info.
void describeAsD88infoDoes(const char* path, Examination* out)
{
    const char* name = out->name.c_str();
    d88::D88Image image;
    if (const d88::Outcome opened = image.openImage(path); !opened.done()) {
        out->infoError = fileio::cannotOpen(name, opened.error);
        return;
    }
    d88::RecordMap map(image);
    d88::FileVerdict verdict;
    d88::DiskVerdict disk0;
    std::uint8_t header[d88::kDiskHeaderSize] = {};
    std::int64_t got = 0;
    d88::Outcome read = d88::judgeFile(map, &verdict);
    if (!read.failed() && verdict.kind != d88::FileKind::D88 &&
        !(read = d88::judgeDisk(map, 0, &disk0)).failed())
        read = image.readFileBytes(0, header, &got);
    if (read.failed()) {
        out->infoError = fileio::cannotRead(name, read.error);
        return;
    }
    if (verdict.kind != d88::FileKind::D88) {
        out->info = d88info::notD88Json(
            name, verdict, zanvo::notD88FileWords(verdict, zanvo::notD88DiskWords(disk0, header)));
        return;
    }
    d88info::JsonWriter json;
    const int error = d88info::imageJson(map, name, json, d88info::Detail::TracksOnly);
    out->info = json.text();
    if (error) {
        out->info.clear();
        out->infoError = fileio::cannotRead(name, error);
    }
}

void stringArray(d88info::JsonWriter& json, const char* name, const std::vector<std::string>& items)
{
    json.key(name);
    json.beginArray();
    for (const std::string& item : items)
        json.string(item);
    json.endArray();
}

} // namespace

void examineImage(const char* path, const char* name, int disk, Examination* out)
{
    const DumpFile one{path, name};
    examineImages(std::span(&one, 1), disk, out);
}

void examineImages(std::span<const DumpFile> dumps, int disk, Examination* out)
{
    *out = Examination{};
    if (dumps.empty())
        return;
    out->name = dumps[0].name;
    cutAsTheToolDoes(dumps, disk, out);
    describeAsD88infoDoes(dumps[0].path, out);
}

std::string examinationJson(const Examination& exam)
{
    d88info::JsonWriter json;
    json.beginObject();
    json.member("name", exam.name);
    json.key("disks");
    json.beginArray();
    for (const DiskSeen& seen : exam.disks) {
        json.beginObject();
        json.member("index", static_cast<std::int64_t>(seen.index));
        json.member("kind", seen.kind);
        json.endObject();
    }
    json.endArray();
    json.member("cut", static_cast<std::int64_t>(exam.cut));
    const bool a = exam.kind == zanvo::DiskKind::DiskA, f = exam.kind == zanvo::DiskKind::DiskF;
    json.member("disk", a ? "A" : f ? "F" : "");
    std::string recognised = a ? zanvo::kDiskARecognised.utf8 : f ? zanvo::kDiskFRecognised.utf8 : "";
    if (!recognised.empty())
        recognised.pop_back(); // its newline
    json.member("recognised", recognised);
    json.key("files");
    json.beginArray();
    for (const CutFile& file : exam.files) {
        json.beginObject();
        json.member("name", file.name);
        json.member("size", static_cast<std::int64_t>(file.bytes.size()));
        json.member("holes", static_cast<std::int64_t>(file.holes));
        json.member("flagged", static_cast<std::int64_t>(file.flagged));
        json.member("uncertain", static_cast<std::int64_t>(file.uncertain));
        json.key("from");
        json.beginArray();
        for (const int count : file.from)
            json.number(static_cast<std::int64_t>(count));
        json.endArray();
        json.member("disputed", static_cast<std::int64_t>(file.disputed));
        json.endObject();
    }
    json.endArray();
    stringArray(json, "dumps", exam.dumps);
    stringArray(json, "warnings", exam.warnings);
    stringArray(json, "errors", exam.errors);
    json.member("tally", exam.tally);
    json.key("info");
    if (exam.info.empty())
        json.null();
    else
        json.raw(exam.info);
    json.member("infoError", exam.infoError);
    json.endObject();
    return json.text();
}

} // namespace zanvoweb
