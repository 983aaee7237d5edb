// Writes seed images for the fuzzers, built with the test image builder:
// Disk A and Disk F (whole, and with only the tracks their files use), a
// multi-disk file, damaged variants, fields that lie, and tracks and disks
// that share one walk.
//   make-seeds FOLDER
#include "image_builder.h"

#include <cstdio>
#include <exception>
#include <string>

namespace {

using testimg::Disk;

// Only the tracks a disk's files touch, so seeds stay small.
Disk keepTracks(Disk disk, int first, int last)
{
    for (auto it = disk.tracks.begin(); it != disk.tracks.end();)
        it = (it->first != 0 && (it->first < first || it->first > last)) ? disk.tracks.erase(it)
                                                                         : std::next(it);
    return disk;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-seeds FOLDER\n");
        return 1;
    }
    const std::string dir = argv[1];
    try {
        Disk a = testimg::formattedDisk(1, 28, 16, true);
        testimg::setBootLabel(a, testimg::kDiskALabel);
        Disk f = testimg::formattedDisk(2, 8, 16, false);
        testimg::setBootLabel(f, testimg::kDiskFLabel);
        const Disk aCompact = keepTracks(a, 10, 27);

        Disk aMissing = aCompact;
        aMissing.tracks.erase(19);
        Disk aShortSector = aCompact;
        testimg::findRecord(aShortSector, 12, 3)->data.resize(100);
        Disk aCountZero = aCompact;
        aCountZero.tracks[16].records[0].count = 0;
        Disk aNegative = aCompact;
        aNegative.trackOffsets[20] = 0x80000000u;
        aNegative.diskSize = 0xFFFFFF00u;
        Disk small = testimg::formattedDisk(3, 2, 4, true);
        small.name = "SMALL";
        Disk sizeZero = small;
        sizeZero.diskSize = 0;
        // Fields that lie, and walks that tracks and disks share, small
        // enough for the fuzzers' input sizes.
        Disk lying = keepTracks(testimg::lyingDiskA(4), 10, 27);
        lying.trackOffsets.clear();
        lying.trackOffsets[100] = 0x10;
        Disk decoys = testimg::sharedDecoyTrack(keepTracks(a, 10, 12), 200);
        testimg::Record decoy;
        decoy.c = 0xFE, decoy.r = 1;
        decoy.data.assign(64, 0xDE);
        Disk dataDecoys = testimg::sharedDecoyTrack(small, 40, decoy);
        // Records stored short under sizes that claim more, and a disk size
        // that ends the disk inside its tracks.
        Disk shortLying = aCompact;
        for (const int r : {3, 9, 16}) {
            testimg::findRecord(shortLying, 12, r)->data.resize(static_cast<std::size_t>(r * 5));
            testimg::findRecord(shortLying, 12, r)->dataSize = 512;
        }
        Disk sizeInside = small;
        sizeInside.diskSize = 2000;

        const std::pair<const char*, testimg::Bytes> seeds[] = {
            {"disk-a", testimg::buildImage({a})},
            {"disk-a-compact", testimg::buildImage({aCompact})},
            {"disk-f", testimg::buildImage({f})},
            {"disk-a-missing-track", testimg::buildImage({aMissing})},
            {"disk-a-short-sector", testimg::buildImage({aShortSector})},
            {"disk-a-count-zero", testimg::buildImage({aCountZero})},
            {"disk-a-negative", testimg::buildImage({aNegative})},
            {"multi-disk", testimg::buildImage({small, small, f})},
            {"disk-size-zero", testimg::buildImage({sizeZero})},
            {"small", testimg::buildImage({small})},
            {"disk-a-lying-fields", testimg::buildImage({lying})},
            {"shared-decoys", testimg::buildImage({decoys})},
            {"shared-data-decoys", testimg::buildImage({dataDecoys})},
            {"disks-sharing-one-walk", testimg::disksSharingOneWalk(8, 0x400)},
            {"shared-tail-tracks", testimg::sharedTailTracks(400)},
            {"disk-a-short-lying", testimg::buildImage({shortLying})},
            {"disk-size-inside", testimg::buildImage({sizeInside})},
        };
        for (const auto& [name, bytes] : seeds)
            testimg::writeFile(dir + "/" + name, bytes);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make-seeds: %s\n", e.what());
        return 1;
    }
    return 0;
}
