// What the page shows for one image: what zanvo-extract would cut from it and
// say about it, and what d88info shows of it, each found through the same
// library calls the two programs make, and nothing written anywhere.
#ifndef ZANVO_WEB_EXAMINE_H
#define ZANVO_WEB_EXAMINE_H

#include "disk_facts.h"
#include "recognition.h"
#include "report.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zanvoweb {

struct CutFile {
    std::string name;
    std::vector<std::uint8_t> bytes; // exactly what zanvo-extract writes to the file
};

// The map `d88info IMAGE 0` draws, or none when disk 0 has no track at all.
struct SectorMap {
    bool shown = false;
    int lowR = 0, highR = -1; // sector numbers of the columns; highR < lowR: no records
    int commonSizeCode = 1;   // a record of another size code is marked by its digit
    std::vector<d88info::MapRow> tracks;
    std::vector<d88info::MapMark> legend; // what the marks mean, in d88info's words
};

struct Examination {
    std::string name; // the image's name as the user knows it

    // zanvo-extract's part.
    zanvo::DiskKind kind = zanvo::DiskKind::Unknown;
    std::vector<CutFile> files;        // in the order the tool writes them
    std::vector<std::string> warnings; // what follows "zanvo-extract: warning: "
    std::vector<std::string> errors;   // what follows "zanvo-extract: " for a failure

    // d88info's part.
    bool looksLikeD88 = false;
    std::string notD88;    // why not, as d88info says after "not a D88 image: "
    std::string summary;   // what `d88info IMAGE` prints
    std::string bootLine;  // disk 0's boot line from the summary: why it is or is not recognised
    std::string infoError; // what follows "d88info: " when the image could not be read
    SectorMap map;
};

// Examines the image file at `path`, known to the user as `name`.
void examineImage(const char* path, const char* name, Examination* out);

// The examination for the page's script, the files' bytes left out (the page
// takes them separately): every field above, files as names and sizes, the
// disk as "A", "F" or "", map tracks with state "present", "absent" or
// "past-end", the legend as marks and words.
std::string examinationJson(const Examination& exam);

} // namespace zanvoweb

#endif
