// The least any program can do for the Disk A job: read the image once, and
// for each of the 13 outputs one identity check, one exclusive temporary
// file, one write, one close and one rename. It cuts the same byte ranges the
// tool does from a well-formed image, so it writes the same amount.
//   lower-bound IMAGE
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

struct Output {
    const char* name;
    const char* temp;
    int track, sector, length;
};

const Output kOutputs[] = {
    {"DRIVER", ".DRIVER.tmp", 10, 6, 5632},    {"ZANVO00", ".ZANVO00.tmp", 11, 12, 256},
    {"ZANVO01", ".ZANVO01.tmp", 11, 13, 4352}, {"ZANVO02", ".ZANVO02.tmp", 12, 14, 14080},
    {"ZANVO03", ".ZANVO03.tmp", 16, 5, 4096},  {"ZANVO04", ".ZANVO04.tmp", 17, 5, 4096},
    {"ZANVO05", ".ZANVO05.tmp", 18, 5, 5376},  {"ZANVO06", ".ZANVO06.tmp", 19, 10, 2816},
    {"ZANVO07", ".ZANVO07.tmp", 20, 5, 8960},  {"ZANVO08", ".ZANVO08.tmp", 22, 8, 5376},
    {"ZANVO09", ".ZANVO09.tmp", 23, 13, 768},  {"ZANVO10", ".ZANVO10.tmp", 23, 16, 8704},
    {"ZANVO11", ".ZANVO11.tmp", 26, 2, 6144},
};

unsigned char image[1 << 20];

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2)
        return 1;
    const int fd = open(argv[1], O_RDONLY);
    if (fd < 0)
        return 1;
    const ssize_t size = read(fd, image, sizeof image);
    close(fd);
    if (size <= 0)
        return 1;
    struct stat imageStat;
    if (stat(argv[1], &imageStat) != 0)
        return 1;
    for (const Output& out : kOutputs) {
        // Sectors lie in track order at 688 + track * 16 * 272; the bytes are
        // taken from where the track starts, which is enough for timing.
        const long offset = 688 + static_cast<long>(out.track) * 16 * 272;
        if (offset + out.length > size)
            return 1;
        struct stat st;
        if (stat(out.name, &st) == 0 && st.st_ino == imageStat.st_ino && st.st_dev == imageStat.st_dev)
            return 2;
        const int tfd = open(out.temp, O_WRONLY | O_CREAT | O_EXCL, 0666);
        if (tfd < 0)
            return 2;
        if (write(tfd, image + offset, static_cast<size_t>(out.length)) != out.length || close(tfd) != 0 ||
            rename(out.temp, out.name) != 0)
            return 2;
    }
    return 0;
}
