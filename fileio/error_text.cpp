#include "error_text.h"

#include "d88/d88_image.h"

#include <system_error>

namespace fileio {

std::string errorText(int error)
{
    if (error == d88::kErrorNotRegularFile)
        return "not a regular file";
    return error ? std::generic_category().message(error) : std::string("I/O error");
}

} // namespace fileio
