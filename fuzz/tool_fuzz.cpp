// Fuzzes the whole tool: the input is an image, run through the driver and
// the cut plans in a private folder. Afterwards only the image and the known
// output names may stand there, each output at exactly its declared length,
// the image unchanged, and the status 0.
#include "cut_plans.h"
#include "driver.h"
#include "fuzz_support.h"
#include "tool_state.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr char kImageName[] = "image.d88";

fs::path privateFolder;

std::map<std::string, std::uintmax_t> declaredOutputs()
{
    std::map<std::string, std::uintmax_t> names;
    for (const zanvo::CutEntry* plan : {zanvo::diskAPlan, zanvo::diskFPlan})
        for (const zanvo::CutEntry* row = plan; row->sector != 0; ++row)
            names[row->name] = static_cast<std::uintmax_t>(row->length);
    return names;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // A private folder to run in (in memory where there is one); the tool
    // writes into the current folder, so each run steps into it and back out,
    // leaving libFuzzer's relative paths alone.
    std::string pattern = std::string(fuzzsupport::scratchFolder()) + "/zanvo-tool-fuzz-XXXXXX";
    if (!mkdtemp(pattern.data()) || !freopen("/dev/null", "w", stdout))
        std::abort();
    privateFolder = pattern;
    std::atexit([] {
        std::error_code ec;
        fs::remove_all(privateFolder, ec);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::map<std::string, std::uintmax_t> outputs = declaredOutputs();
    const fs::path outside = fs::current_path();
    fs::current_path(privateFolder);
    CHECK(fuzzsupport::writeInput(kImageName, data, size));

    auto state = std::make_unique<zanvo::ToolState>();
    char program[] = "zanvo-extract";
    char imageArg[] = "image.d88";
    char* argv[] = {program, imageArg, nullptr};
    CHECK(zanvo::runDriver(*state, 2, argv) == fileio::kExitDone);
    state.reset(); // closes the image

    for (const auto& entry : fs::directory_iterator(".")) {
        const std::string name = entry.path().filename().string();
        if (name == kImageName)
            continue;
        const auto it = outputs.find(name);
        CHECK(it != outputs.end()); // no stray or temporary file
        CHECK(entry.is_regular_file());
        CHECK(entry.file_size() == it->second); // never longer, never shorter
        fs::remove(entry.path());
    }
    // The image is as it was: its bytes read back, and nothing after them.
    // (A piece at a time: a buffer the size of a large input would be new
    // memory on every run.)
    static std::vector<std::uint8_t> piece(64 * 1024);
    std::FILE* image = std::fopen(kImageName, "rb");
    CHECK(image);
    std::size_t back = 0;
    for (std::size_t got; (got = std::fread(piece.data(), 1, piece.size(), image)) > 0; back += got)
        CHECK(got <= size - back &&
              std::equal(piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(got), data + back));
    CHECK(back == size && std::fclose(image) == 0);
    fs::current_path(outside);
    return 0;
}
