// Prints the number of disks in an image and the name of the first.
#include <d88/d88_image.h>

#include <cstdio>

int main(int argc, char* argv[])
{
    d88::D88Image image;
    if (argc != 2 || !image.open(argv[1]) || !image.selectDisk(0))
        return 1;
    std::printf("%d %s\n", image.diskCount(), image.diskName());
    return 0;
}
