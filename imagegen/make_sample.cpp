// Writes a synthetic ZANVO Disk A or Disk F image, for trying the tool out.
//
//   make-sample disk-a|disk-f|damaged-a|lying-a FILE
//   make-sample --help
//
// What each image holds is in kHelp below.
#include "image_builder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

namespace {

const char kUsage[] = "usage: make-sample disk-a|disk-f|damaged-a|lying-a FILE";

const char kHelp[] =
    "Writes a synthetic ZANVO disk image to FILE, for trying zanvo-extract out: a formatted\n"
    "2D disk, 80 tracks of 16 interleaved 256-byte sectors, whose boot sector carries the\n"
    "disk's label and whose sectors each hold a line of text naming their own place, so a\n"
    "cut file shows where it came from.\n"
    "\n"
    "  disk-a     Disk A\n"
    "  disk-f     Disk F\n"
    "  damaged-a  Disk A with track 19 gone, sector 3 of track 12 missing, sector 5 of\n"
    "             track 14 stored twice, sector 7 of track 16 recorded with size code 2,\n"
    "             sector 9 of track 22 flagged with a data CRC error (status B0) and\n"
    "             sector 3 of track 25 stored with only 200 of its 256 bytes\n"
    "  lying-a    Disk A whose record fields lie as real dumps' do, every sector still\n"
    "             stored: the data size field of sector 3 of track 12 says 0 and that of\n"
    "             sector 9 of track 24 says 512, sector counts say 0 (track 13 from sector\n"
    "             5, all of track 16), are big-endian (track 20) or 0xFFFF (track 22),\n"
    "             table entries past track 79 point at the disk's end and entry 100 into\n"
    "             the header\n";

} // namespace

int main(int argc, char* argv[])
{
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::printf("%s\n", kUsage);
        std::fputs(kHelp, stdout);
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
    }
    const std::string kind = argc == 3 ? argv[1] : "";
    if (kind != "disk-a" && kind != "disk-f" && kind != "damaged-a" && kind != "lying-a") {
        std::fprintf(stderr, "make-sample: %s (--help says what each holds)\n", kUsage);
        return 1;
    }
    const bool isDiskA = kind != "disk-f";
    testimg::Disk disk = testimg::formattedDisk(0, 80, 16, true);
    disk.name = isDiskA ? "ZANVO SAMPLE A" : "ZANVO SAMPLE F";
    for (auto& [index, track] : disk.tracks) {
        for (auto& rec : track.records) {
            char line[64];
            std::snprintf(line, sizeof line, "sample sector: track %2d (C %2d H %d) R %2d\n", index, rec.c,
                          rec.h, rec.r);
            const std::size_t len = std::strlen(line);
            for (std::size_t i = 0; i < rec.data.size(); ++i)
                rec.data[i] = static_cast<std::uint8_t>(line[i % len]);
        }
    }
    testimg::setBootLabel(disk, isDiskA ? testimg::kDiskALabel : testimg::kDiskFLabel);
    if (kind == "damaged-a") {
        disk.tracks.erase(19);
        auto& t12 = disk.tracks[12].records;
        t12.erase(std::find_if(t12.begin(), t12.end(), [](const auto& rec) { return rec.r == 3; }));
        disk.tracks[14].records.push_back(*testimg::findRecord(disk, 14, 5));
        testimg::findRecord(disk, 16, 7)->n = 2;
        testimg::findRecord(disk, 22, 9)->reserved[2] = 0xB0; // header byte 8: the controller's status
        testimg::findRecord(disk, 25, 3)->data.resize(200);
    }
    try {
        if (kind == "lying-a")
            testimg::makeFieldsLie(disk);
        testimg::writeFile(argv[2], testimg::buildDisk(disk));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make-sample: %s\n", e.what());
        return 1;
    }
    return 0;
}
