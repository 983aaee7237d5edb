// Fuzzes d88info's verdict, reports and exports on arbitrary image bytes:
// whatever the image holds, they must finish without fault, and an export
// must never hold more than it announced nor more than the file has; a split
// disk streams exactly its bytes of the file; the JSON document is well formed.
#include "export_source.h"
#include "fuzz_support.h"
#include "json_report.h"
#include "raw_export.h"
#include "report.h"

#include "d88/file_kind.h"
#include "d88/record_map.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

// Whether `text` is one JSON object: brackets balanced outside strings, no
// raw control character inside one, nothing after the object. (The suite
// holds the writer's escaping to a JSON parser.)
bool wellFormed(const std::string& text)
{
    if (text.empty() || text.front() != '{' || text.back() != '}')
        return false;
    int depth = 0;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (inString) {
            if (c < 0x20)
                return false;
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
            continue;
        }
        if (c == '"')
            inString = true;
        else if (c == '{' || c == '[')
            ++depth;
        else if ((c == '}' || c == ']') && --depth < 0)
            return false;
        else if (depth == 0 && i + 1 < text.size())
            return false; // something after the object closed
    }
    return depth == 0 && !inString;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static std::FILE* sink = std::fopen("/dev/null", "w");
    if (!sink)
        std::abort();
    static const std::string path = fuzzsupport::scratchImagePath("d88info");
    if (!fuzzsupport::writeInput(path, data, size))
        return 0;

    d88::D88Image image;
    CHECK(image.open(path.c_str()));
    d88::RecordMap map(image);
    d88::FileVerdict verdict;
    CHECK(d88::judgeFile(map, &verdict).done());
    std::string why;

    // Every report runs whatever the verdict, so the fuzzer reaches them all.
    d88info::GatheredImage gathered;
    CHECK(d88info::gatherImage(map, "image", &gathered) == 0);
    d88info::printSummary(sink, gathered.facts);
    const std::vector<std::unique_ptr<d88info::DiskFacts>>& disks = gathered.disks;
    CHECK(disks.size() == static_cast<std::size_t>(image.diskCount()));
    for (const std::unique_ptr<d88info::DiskFacts>& disk : disks)
        CHECK(disk->gathered); // an indexed header can always be read again
    d88info::JsonWriter json;
    CHECK(d88info::imageJson(map, "image", json) == 0);
    CHECK(wellFormed(json.text()));
    CHECK(json.text().size() <=
          static_cast<std::size_t>(d88info::proportionLimit(static_cast<std::int64_t>(size))));

    for (int disk = 0; disk < image.diskCount() && disk < 4; ++disk) {
        CHECK(d88info::printTracks(sink, map, *disks[static_cast<std::size_t>(disk)]) == 0);
        d88info::Export exported;
        int readError = 0;
        if (d88info::exportRaw(map, *disks[static_cast<std::size_t>(disk)], &exported, &why, &readError)) {
            // Streamed: exactly the announced bytes.
            CHECK(exported.length == exported.wanted &&
                  exported.length <= d88info::exportLimit(static_cast<std::int64_t>(size)));
            d88info::ExportSource source(map, exported);
            std::int64_t delivered = 0;
            for (std::span<const std::uint8_t> piece; source.next(&piece) && !piece.empty();)
                delivered += static_cast<std::int64_t>(piece.size());
            CHECK(delivered == exported.length);
        } else {
            CHECK(!why.empty() && readError == 0);
        }
        d88info::Export copy;
        if (d88info::exportDisk(*disks[static_cast<std::size_t>(disk)], &copy, &why)) {
            CHECK(copy.length <= copy.wanted && copy.length <= static_cast<std::int64_t>(size));
            CHECK(copy.stop.empty() == (copy.length == copy.wanted));
            // Read as it is written: exactly the announced bytes, those of the file.
            d88info::ExportSource source(map, copy);
            std::int64_t delivered = 0;
            for (std::span<const std::uint8_t> piece; source.next(&piece) && !piece.empty();) {
                CHECK(std::equal(piece.begin(), piece.end(), data + copy.from + delivered));
                delivered += static_cast<std::int64_t>(piece.size());
            }
            CHECK(delivered == copy.length);
        }
    }
    return 0;
}
