// Writes a synthetic ZANVO Disk A or Disk F image, for trying the tool out.
//
//   make-sample disk-a FILE   (or disk-f)
//
// A formatted 2D disk, 80 tracks of 16 interleaved 256-byte sectors, whose
// boot sector carries the disk's label and whose every other sector holds a
// line of text naming its own place, so a cut file shows where it came from.
#include "support/image_builder.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

int main(int argc, char* argv[])
{
    if (argc != 3 || (std::strcmp(argv[1], "disk-a") != 0 && std::strcmp(argv[1], "disk-f") != 0)) {
        std::fprintf(stderr, "usage: %s disk-a|disk-f FILE\n", argc > 0 ? argv[0] : "make-sample");
        return 1;
    }
    const bool isDiskA = std::strcmp(argv[1], "disk-a") == 0;
    testimg::Disk disk = testimg::formattedDisk(0, 80, 16, true);
    disk.name = isDiskA ? "ZANVO SAMPLE A" : "ZANVO SAMPLE F";
    for (auto& [index, track] : disk.tracks) {
        for (auto& rec : track.records) {
            char line[64];
            std::snprintf(line, sizeof line, "sample sector: track %2d (C %2d H %d) R %2d\n", index,
                          rec.c, rec.h, rec.r);
            const std::size_t len = std::strlen(line);
            for (std::size_t i = 0; i < rec.data.size(); ++i)
                rec.data[i] = static_cast<std::uint8_t>(line[i % len]);
        }
    }
    testimg::setBootLabel(disk, isDiskA ? testimg::kDiskALabel : testimg::kDiskFLabel);
    try {
        testimg::writeFile(argv[2], testimg::buildDisk(disk));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make-sample: %s\n", e.what());
        return 1;
    }
    return 0;
}
