#include "error_text.h"

#include "d88/d88_image.h"

#include <system_error>

namespace fileio {

std::string errorText(int error)
{
    if (error == d88::kErrorNotRegularFile)
        return "not a regular file";
    if (error == d88::kErrorImageChanged)
        return "changed while it was read";
    return error ? std::generic_category().message(error) : std::string("I/O error");
}

std::string cannotOpen(const char* path, int error)
{
    return std::string("cannot open ") + path + ": " + errorText(error);
}

std::string cannotRead(const char* path, int error)
{
    if (error == d88::kErrorImageChanged)
        return std::string(path) + " changed while it was read";
    return std::string("cannot read ") + path + ": " + errorText(error);
}

std::string cannotReadFile(const char* name, const char* image, int error, bool dryRun)
{
    const std::string fate = std::string("; ") + name + (dryRun ? " would not be written" : " not written");
    if (error == d88::kErrorImageChanged)
        return cannotRead(image, error) + fate;
    return std::string("cannot read ") + name + " from " + image + ": " + errorText(error) + fate;
}

std::string noSuchDisk(const d88::D88Image& image, const char* path, std::int32_t disk)
{
    const std::string asked = "there is no disk " + std::to_string(disk);
    if (image.moreDisksAt() >= 0)
        return std::string(path) + " holds more than " + std::to_string(d88::kMaxDisks) +
               " disks, and only the first " + std::to_string(d88::kMaxDisks) + " can be read; " + asked +
               " among them";
    const std::int32_t count = image.diskCount();
    return std::string(path) + " has " + std::to_string(count) + (count == 1 ? " disk; " : " disks; ") +
           asked;
}

} // namespace fileio
