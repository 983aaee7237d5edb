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

std::string cannotReadFile(const char* name, const char* image, int error)
{
    if (error == d88::kErrorImageChanged)
        return cannotRead(image, error) + "; " + name + " not written";
    return std::string("cannot read ") + name + " from " + image + ": " + errorText(error) + "; " + name +
           " not written";
}

} // namespace fileio
