// The functions the page's script calls. The page writes the picked file into
// the module's in-memory file system and asks for it to be examined; the
// answer is JSON, and the cut files' bytes stay here for the page to copy out
// until the next image is examined.
#include "examine.h"

#include <emscripten/emscripten.h>

#include <new>
#include <string>
#include <vector>

namespace {

zanvoweb::Examination last;
std::string lastJson;
// The other dumps the next examination joins to its image: paths and names.
std::vector<std::string> otherPaths, otherNames;

const zanvoweb::CutFile* fileAt(int index)
{
    if (index < 0 || static_cast<std::size_t>(index) >= last.files.size())
        return nullptr;
    return &last.files[static_cast<std::size_t>(index)];
}

} // namespace

extern "C" {

// Adds another dump of the same disk, at `path`, known as `name`, for the
// next call of zanvo_examine to join to its image.
EMSCRIPTEN_KEEPALIVE void zanvo_add_dump(const char* path, const char* name)
{
    otherPaths.emplace_back(path);
    otherNames.emplace_back(name);
}

// Examines the image at `path`, which the user knows as `name`, cutting disk
// `disk` (negative: the first of the title's), joined with the dumps added
// since the last call; the JSON stays valid until the next call.
EMSCRIPTEN_KEEPALIVE const char* zanvo_examine(const char* path, const char* name, int disk)
{
    // The module is built with exceptions and a malloc that fails rather
    // than aborts, so that running out of memory is said, as the programs
    // say it, never the worker's end.
    try {
        std::vector<zanvoweb::DumpFile> dumps{{path, name}};
        for (std::size_t i = 0; i < otherPaths.size(); ++i)
            dumps.push_back({otherPaths[i].c_str(), otherNames[i].c_str()});
        zanvoweb::examineImages(dumps, disk, &last);
        lastJson = zanvoweb::examinationJson(last);
    } catch (const std::bad_alloc&) {
        last = zanvoweb::Examination{};
        lastJson.clear();
        last.errors.push_back(std::string(name) + ": not enough memory to examine it");
        lastJson = zanvoweb::examinationJson(last);
    }
    otherPaths.clear();
    otherNames.clear();
    return lastJson.c_str();
}

// The bytes of the cut file at `index` in the JSON's list, and how many.
EMSCRIPTEN_KEEPALIVE const std::uint8_t* zanvo_file_data(int index)
{
    const zanvoweb::CutFile* file = fileAt(index);
    return file ? file->bytes.data() : nullptr;
}

EMSCRIPTEN_KEEPALIVE int zanvo_file_size(int index)
{
    const zanvoweb::CutFile* file = fileAt(index);
    return file ? static_cast<int>(file->bytes.size()) : 0;
}

} // extern "C"
