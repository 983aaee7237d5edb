// Fuzzes d88info's reports and raw export on arbitrary image bytes: whatever
// the image holds, they must finish without fault, and an export must never
// hold more than it announced.
#include "raw_export.h"
#include "report.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

#define CHECK(cond)                                                                                \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "check failed: %s (line %d)\n", #cond, __LINE__);                 \
            __builtin_trap();                                                                      \
        }                                                                                          \
    } while (0)

std::string imagePath()
{
    static const std::string path = [] {
        const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        return std::string(dir) + "/d88info-fuzz-" + std::to_string(getpid()) + ".d88";
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static std::FILE* sink = std::fopen("/dev/null", "w");
    if (!sink)
        std::abort();
    const std::string path = imagePath();
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out)
        return 0;
    const bool written = std::fwrite(data, 1, size, out) == size;
    if (std::fclose(out) != 0 || !written)
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
            CHECK(exported.stop.empty() == (static_cast<std::int64_t>(exported.bytes.size()) == exported.wanted));
        } else {
            CHECK(!error.empty());
        }
    }
    return 0;
}
