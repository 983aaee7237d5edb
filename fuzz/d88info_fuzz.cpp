// Fuzzes d88info's reports and raw export on arbitrary image bytes: whatever
// the image holds, they must finish without fault, and an export must never
// hold more than it announced.
#include "fuzz_support.h"
#include "raw_export.h"
#include "report.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

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
    d88info::printSummary(sink, image);
    for (int disk = 0; disk < image.diskCount() && disk < 4; ++disk) {
        CHECK(d88info::printTracks(sink, image, disk));
        d88info::RawExport exported;
        std::string error;
        if (d88info::exportRaw(image, disk, &exported, &error)) {
            CHECK(static_cast<std::int64_t>(exported.bytes.size()) <= exported.wanted);
            CHECK(exported.stop.empty() ==
                  (static_cast<std::int64_t>(exported.bytes.size()) == exported.wanted));
        } else {
            CHECK(!error.empty());
        }
    }
    return 0;
}
