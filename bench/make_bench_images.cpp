// Writes the benchmark's images with the test image builder:
//   typical.d88   a full Disk A: 80 tracks of 16 interleaved 256-byte sectors
//   64-disks.d88  that disk followed by 63 more
//   crafted.d88   164 track table entries all pointing at one run of 64,000
//                 decoy records (sector count 65535, no data) followed by all
//                 1,280 real sectors
//   decoys.d88    the same with 65,000 decoys of 256 bytes each: 17.8 MB
//   lying.d88     a Disk A whose record fields lie (image_builder.h)
//   shared-64.d88 64 disks of 65,535 bytes whose every track walks on
//                 through the disks after it: 4 MiB
//   join-1.d88, join-2.d88, join-3.d88
//                 three dumps of that Disk A, each with holes or flags of
//                 its own where the others hold the sectors whole
//   raw-shared.d88 an 11.7 MB disk whose 80 tracks share one walk of
//                 42,700 256-byte decoys (another cylinder, sectors 1-16)
//                 before the real sectors, for d88info --raw
//   tails-7k.d88, tails-32k.d88, tails-1m.d88
//                 164 tracks, each the tail of the one before, in one run
//                 of records, on a disk indexed 64 times (image_builder.h)
//   short-lying.d88 a Disk A whose sectors on tracks 12-19 are stored short
//                 under data sizes that claim 256 or 512 bytes
//   size-inside.d88 a Disk A whose disk size ends it inside track 20
//   long-tracks.d88 164 tracks of 5,000 empty records: 13 MB, more records
//                 than the reader keeps
//   run-on.d88    164 tracks of 4,096 empty records that run on into one
//                 another, track 0 last: 10.7 MB, each track read alone
//                 holds up to 65,535 of them
//   headers-64.d88 64 disk headers, every other one naming tracks that all
//                 start on one run of 62,784 empty records: 1 MiB
//   flagged.d88   one track of 65,535 flagged records, each counting 1
//   bait.d88      those 64 headers over a track that tempts a reader to
//                 resynchronise, level within level: 147 KB
//   disk-a-bait.d88 a clean Disk A, then 63 such headers over the same track
//   raw-736.d88   736 bytes whose layout (64 tracks of sectors 0-255 of
//                 4 KiB) a plain sector image of would fill 64 MiB
//   make-bench-images FOLDER
#include "image_builder.h"

#include <cstdio>
#include <exception>
#include <string>
#include <utility>
#include <vector>

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
        // Every file of the first dump but two needs a sector of another.
        const std::vector<std::vector<std::pair<int, int>>> damage = {
            {{10, 7}, {12, 3}, {16, 7}, {19, 2}, {20, 9}, {22, 9}, {23, 14}, {25, 3}, {26, 4}},
            {{19, 1}, {19, 3}, {19, 4}, {19, 5}, {19, 6}, {19, 7}, {19, 8}, {19, 9}, {11, 15}},
            {{21, 1}, {24, 2}, {27, 8}}};
        for (std::size_t d = 0; d < damage.size(); ++d) {
            testimg::Disk dump = diskA;
            for (const auto& [track, r] : damage[d]) {
                auto& records = dump.tracks.at(track).records;
                if (d == 2)
                    testimg::findRecord(dump, track, r)->reserved[2] = 0xB0; // data CRC error
                else
                    std::erase_if(records, [r = r](const testimg::Record& rec) { return rec.r == r; });
            }
            testimg::writeFile(dir + "/join-" + std::to_string(d + 1) + ".d88", testimg::buildImage({dump}));
        }

        std::vector<testimg::Disk> disks{diskA};
        for (int i = 1; i < 64; ++i)
            disks.push_back(testimg::formattedDisk(61 + i, 80, 16, true));
        testimg::writeFile(dir + "/64-disks.d88", testimg::buildImage(disks));

        testimg::writeFile(dir + "/crafted.d88",
                           testimg::buildImage({testimg::sharedDecoyTrack(diskA, 64000)}));
        testimg::Record decoy;
        decoy.c = decoy.h = decoy.r = decoy.n = 0xFF;
        decoy.data.assign(256, 0xDE);
        testimg::writeFile(dir + "/decoys.d88",
                           testimg::buildImage({testimg::sharedDecoyTrack(diskA, 65000, decoy)}));
        testimg::writeFile(dir + "/lying.d88", testimg::buildImage({testimg::lyingDiskA(61)}));
        testimg::writeFile(dir + "/shared-64.d88", testimg::disksSharingOneWalk(64, 0xFFFF));
        decoy.c = 0xFE, decoy.h = 0, decoy.r = 1, decoy.n = 1;
        testimg::Disk rawShared = testimg::sharedDecoyTrack(diskA, 42700, decoy);
        for (int t = 80; t < 164; ++t)
            rawShared.trackOffsets[t] = 0; // a 2D disk's 80 tracks, all of whose sectors are there
        testimg::writeFile(dir + "/raw-shared.d88", testimg::buildImage({rawShared}));
        for (const auto& [name, kib] : {std::pair{"tails-7k", 7}, {"tails-32k", 32}, {"tails-1m", 1024}})
            testimg::writeFile(dir + "/" + name + ".d88", testimg::sharedTailTracks((kib * 1024 - 688) / 16));
        testimg::Disk shortLying = diskA;
        for (int t = 12; t < 20; ++t)
            for (int r = 1; r <= 16; r += 3) {
                testimg::Record* sector = testimg::findRecord(shortLying, t, r);
                sector->data.resize(static_cast<std::size_t>(r * 7));
                sector->dataSize = r % 2 ? 256 : 512;
            }
        testimg::writeFile(dir + "/short-lying.d88", testimg::buildImage({shortLying}));
        testimg::Disk sizeInside = diskA;
        std::vector<testimg::Placed> places;
        testimg::buildDisk(diskA, &places);
        for (const testimg::Placed& place : places)
            if (place.track == 20 && place.r == 3)
                sizeInside.diskSize = static_cast<std::uint32_t>(place.header);
        testimg::writeFile(dir + "/size-inside.d88", testimg::buildImage({sizeInside}));
        testimg::writeFile(dir + "/long-tracks.d88", testimg::longTracks(5000));
        testimg::writeFile(dir + "/run-on.d88", testimg::longTracks(4096, true));
        testimg::writeFile(
            dir + "/headers-64.d88",
            testimg::headersOverOneRun(64, testimg::emptyRecords(((1 << 20) - 64 * 688) / 16)));
        testimg::writeFile(dir + "/flagged.d88", testimg::buildImage({testimg::flaggedTrack(65535)}));
        const testimg::Bytes baitRun = testimg::resyncBait(6, 1070);
        testimg::writeFile(dir + "/bait.d88", testimg::headersOverOneRun(64, baitRun));
        testimg::Bytes afterA = testimg::buildImage({diskA});
        const testimg::Bytes baitDisks = testimg::headersOverOneRun(63, baitRun);
        afterA.insert(afterA.end(), baitDisks.begin(), baitDisks.end());
        testimg::writeFile(dir + "/disk-a-bait.d88", afterA);
        testimg::writeFile(dir + "/raw-736.d88", testimg::buildImage({testimg::tinyDiskOfHugeLayout()}));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make-bench-images: %s\n", e.what());
        return 1;
    }
    return 0;
}
