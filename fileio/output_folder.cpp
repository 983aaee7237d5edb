#include "output_folder.h"

#include "error_text.h"
#include "platform.h"

#include <string_view>

namespace fileio {

namespace {

// What was learned about the last folder asked about.
struct Learned {
    std::string folder;
    bool checked = false;
    bool takesFiles = true;
    int newMode = -1;
} learned;

std::string folderOf(const char* name)
{
    const std::string_view path(name);
    const std::size_t cut = path.find_last_of(platform::kSeparators);
    if (cut == std::string_view::npos)
        return ".";
    return std::string(path.substr(0, cut == 0 ? 1 : cut)); // the root keeps its separator
}

void learnAbout(const std::string& folder)
{
    if (learned.folder != folder)
        learned = Learned{folder};
}

} // namespace

bool folderTakesFiles(const char* name, std::string* reason)
{
    learnAbout(folderOf(name));
    if (!learned.checked) {
        learned.takesFiles = !platform::systemFolder(learned.folder.c_str());
        learned.checked = true;
    }
    if (!learned.takesFiles)
        *reason = "its folder is on a device or process file system; nothing is created there";
    return learned.takesFiles;
}

bool currentFolderTakesFiles(std::string* reason)
{
    std::string ignored;
    if (!folderTakesFiles("any", &ignored)) {
        *reason = "it is on a device or process file system, where nothing is created";
        return false;
    }
    if (const int error = platform::folderRefusal("."); error != 0) {
        *reason = errorText(error);
        return false;
    }
    return true;
}

int newFileMode(const char* name, int fd)
{
    learnAbout(folderOf(name));
    if (learned.newMode < 0)
        learned.newMode = platform::fileMode(fd);
    return learned.newMode;
}

void forgetOutputFolders()
{
    learned = Learned{};
}

} // namespace fileio
