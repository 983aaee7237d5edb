// Writes the benchmark's images with the test image builder:
//   typical.d88   a full Disk A: 80 tracks of 16 interleaved 256-byte sectors
//   64-disks.d88  that disk followed by 63 more
//   crafted.d88   164 track table entries all pointing at one run of 64,000
//                 decoy records (sector count 65535, no data) followed by all
//                 1,280 real sectors
//   make-bench-images FOLDER
#include "image_builder.h"

#include <cstdio>
#include <exception>
#include <string>

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-bench-images FOLDER\n");
        return 1;
    }
    const std::string dir = argv[1];
    try {
        testimg::Disk diskA = testimg::formattedDisk(61, 80, 16, true);
        testimg::setBootLabel(diskA, testimg::kDiskALabel);
        testimg::writeFile(dir + "/typical.d88", testimg::buildImage({diskA}));

        std::vector<testimg::Disk> disks{diskA};
        for (int i = 1; i < 64; ++i)
            disks.push_back(testimg::formattedDisk(61 + i, 80, 16, true));
        testimg::writeFile(dir + "/64-disks.d88", testimg::buildImage(disks));

        testimg::writeFile(dir + "/crafted.d88",
                           testimg::buildImage({testimg::sharedDecoyTrack(diskA, 64000)}));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make-bench-images: %s\n", e.what());
        return 1;
    }
    return 0;
}
