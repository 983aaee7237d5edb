// Prints the number of disks in an image, the name of the first, and how
// many records its track 0 holds as the record map reads it.
#include <d88/d88_image.h>
#include <d88/record_map.h>

#include <cstdio>

int main(int argc, char* argv[])
{
    d88::D88Image image;
    d88::RecordMap map(image);
    d88::TrackFacts track0;
    if (argc != 2 || !image.open(argv[1]) || !map.loadDisk(0).done() || !map.track(0, &track0).done())
        return 1;
    std::printf("%d %s %d\n", image.diskCount(), image.diskName(), track0.records);
    return 0;
}
