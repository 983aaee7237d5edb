// What the tool holds for the whole run: the one image reader, the boot
// sector and the one sector buffer every cut reads into, what the last cut found on the disk and the
// lines said about it (their storage kept from file to file), what the image
// is (so that no output ever replaces it), and whether anything failed (which
// decides the exit status).
#ifndef ZANVO_TOOL_STATE_H
#define ZANVO_TOOL_STATE_H

#include "cut_report.h"
#include "file_cut.h"
#include "joined_cut.h"
#include "recognition.h"

#include "d88/d88_image.h"
#include "d88/record_map.h"

#include <cstdint>
#include <memory>
#include <string>

namespace zanvo {

// 40 cylinders * 2 heads * 16 sectors * 256 bytes: a whole 2D disk.
inline constexpr std::int32_t kSectorBufferSize = 0x50000;

// Another dump of the disk cut, joined to it (--also): its own reader and
// record map, the disk of it that is joined, and its identity, which no
// output may replace.
struct OtherDump {
    d88::D88Image image;
    d88::RecordMap map{image};
    const char* path = nullptr;
    std::int32_t disk = 0;
    d88::FileIdentity identity;
    bool identified = false; // the identity could be told
};

// The dumps a run joins, the image first: made only when there are others.
struct Dumps {
    std::unique_ptr<OtherDump> others[kMaxDumps - 1];
    int count = 1; // the image and the others
    d88::RecordMap* maps[kMaxDumps] = {};
    std::string names[kMaxDumps];
    d88::FileIdentity identities[kMaxDumps];
    JoinScratch scratch;
};

// The lines the tool puts together, their storage kept from file to file.
struct ToolLines {
    CutWarnings warnings;
    std::string line; // a message being put together
};

struct ToolState {
    d88::D88Image image;
    d88::RecordMap map{image}; // the image's tracks as their bytes show them
    std::uint8_t bootSector[kBootSectorSize] = {};
    // Made at the first cut and grown as cuts need (at most kSectorBufferSize
    // bytes), not cleared: every cut writes what it reads from.
    std::unique_ptr<std::uint8_t[]> sectorBuffer;
    std::int32_t sectorBufferSize = 0;
    RunRecovery recovery;
    // Made when first needed: a string is not constant-initialised by every
    // compiler, and the rest of the state is.
    std::unique_ptr<ToolLines> lines;
    std::unique_ptr<Dumps> dumps; // with --also: every dump joined, the image first
    const char* imagePath = nullptr;
    const char* directory = nullptr; // -C: the folder cut into, as given
    std::int32_t disk = 0;           // the disk of the file that is cut
    d88::FileIdentity imageIdentity; // taken from the open image
    bool failed = false;             // an output was not written or the image not read
    bool stdoutFailed = false;
    bool imageChanged = false; // the image is no longer what was opened: the run stops
    bool dryRun = false;       // say what would be cut, write nothing
    // How the files of the plan came out, for the run's last word.
    CutTally tally;
};

} // namespace zanvo

#endif
