#include "examine.h"

#include "cut_report.h"
#include "error_text.h"
#include "file_cut.h"
#include "json_report.h"
#include "json_writer.h"
#include "messages.h"

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
    zanvo::CutTally tally;
    zanvo::cutPlan(image, plan, buffer, *run, [&](const zanvo::FileCut& cut) {
        tally.count(cut, cut.outcome == zanvo::CutOutcome::Cut);
        if (cut.outcome == zanvo::CutOutcome::ReadFailed) {
            out->errors.push_back(fileio::cannotReadFile(cut.name, name, cut.error));
            return;
        }
        zanvo::warningsFor(cut, "the sector map shows where", &warnings);
        out->warnings.insert(out->warnings.end(), warnings.lines, warnings.lines + warnings.count);
        if (cut.outcome == zanvo::CutOutcome::Cut)
            out->files.push_back({cut.name, std::vector<std::uint8_t>(cut.bytes.begin(), cut.bytes.end())});
    });
    out->tally = zanvo::tallyLine(tally, false);
}

// `d88info --json IMAGE`'s document. A read error shows nothing learned
// through it, as in d88info.
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
        out->info = d88info::notD88Json(name, image.fileSize(), verdict.reason);
        return;
    }
    d88info::TrackScan scan;
    const int error =
        scan.ok() ? d88info::imageJson(image, scan, name, &out->info, d88info::Detail::TracksOnly) : ENOMEM;
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

void examineImage(const char* path, const char* name, Examination* out)
{
    *out = Examination{};
    out->name = name;
    cutAsTheToolDoes(path, out);
    describeAsD88infoDoes(path, out);
}

std::string examinationJson(const Examination& exam)
{
    d88info::JsonWriter json;
    json.beginObject();
    json.member("name", exam.name);
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
        json.endObject();
    }
    json.endArray();
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
