// The functions the page's script calls. The page writes the picked file into
// the module's in-memory file system and asks for it to be examined; the
// answer is JSON, and the cut files' bytes stay here for the page to copy out
// until the next image is examined.
#include "examine.h"

#include <emscripten/emscripten.h>

#include <new>
#include <string>

namespace {

zanvoweb::Examination last;
std::string lastJson;

const zanvoweb::CutFile* fileAt(int index)
{
    if (index < 0 || static_cast<std::size_t>(index) >= last.files.size())
        return nullptr;
    return &last.files[static_cast<std::size_t>(index)];
}

} // namespace

extern "C" {

// Examines the image at `path`, which the user knows as `name`, cutting disk
// `disk` (negative: the first of the title's); the JSON stays valid until
// the next call.
EMSCRIPTEN_KEEPALIVE const char* zanvo_examine(const char* path, const char* name, int disk)
{
    // The module is built with exceptions and a malloc that fails rather
    // than aborts, so that running out of memory is said, as the programs
    // say it, never the worker's end.
    try {
        zanvoweb::examineImage(path, name, disk, &last);
        lastJson = zanvoweb::examinationJson(last);
    } catch (const std::bad_alloc&) {
        last = zanvoweb::Examination{};
        lastJson.clear();
        last.errors.push_back(std::string(name) + ": not enough memory to examine it");
        lastJson = zanvoweb::examinationJson(last);
    }
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
