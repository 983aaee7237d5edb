// The system's reason for a failure, as plain text for a diagnostic.
#ifndef FILEIO_ERROR_TEXT_H
#define FILEIO_ERROR_TEXT_H

#include <string>

namespace fileio {

// The errno value's message ("No such file or directory"); "not a regular
// file" for the reader's kErrorNotRegularFile; "I/O error" for 0.
std::string errorText(int error);

} // namespace fileio

#endif
