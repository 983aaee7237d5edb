// Disk A images whose record fields lie, one way each, with what cutting
// them must give: the bytes the disk holds (taken from the description,
// whatever the fields say) and the warnings, word for word.
#ifndef TESTS_LYING_CASES_H
#define TESTS_LYING_CASES_H

#include "image_builder.h"

#include <string>
#include <vector>

namespace testsupport {

struct LyingCase {
    std::string what;
    testimg::Disk disk;   // the files' bytes are those its records hold
    std::string warnings; // zanvo-extract's standard error
};

std::vector<LyingCase> lyingCases();

} // namespace testsupport

#endif
