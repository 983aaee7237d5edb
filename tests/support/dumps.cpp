#include "dumps.h"

#include <stdexcept>
#include <string>

namespace testsupport {

namespace {

Disk labelled(int seed, int tracks, const std::array<std::uint8_t, 16>& label)
{
    Disk disk = testimg::formattedDisk(seed, tracks);
    testimg::setBootLabel(disk, label);
    return disk;
}

} // namespace

testimg::Record& recordOf(Disk& disk, int track, int r)
{
    testimg::Record* rec = testimg::findRecord(disk, track, r);
    if (rec == nullptr)
        throw std::runtime_error("no sector " + std::to_string(r) + " on track " + std::to_string(track));
    return *rec;
}

Disk diskA(int seed, int tracks)
{
    return labelled(seed, tracks, testimg::kDiskALabel);
}

Disk diskF(int seed, int tracks)
{
    return labelled(seed, tracks, testimg::kDiskFLabel);
}

Disk edited(const std::vector<Edit>& edits, Disk base)
{
    for (const Edit& edit : edits)
        edit(base);
    return base;
}

Edit drop(int track, int r)
{
    return drop(track, r, r);
}

Edit drop(int track, int first, int last)
{
    return [=](Disk& d) {
        std::erase_if(d.tracks.at(track).records,
                      [&](const testimg::Record& rec) { return rec.r >= first && rec.r <= last; });
    };
}

Edit dropTrack(int track)
{
    return [=](Disk& d) { d.tracks.erase(track); };
}

Edit flag(int track, int r, std::uint8_t status)
{
    return [=](Disk& d) { recordOf(d, track, r).reserved[2] = status; };
}

Edit markDeleted(int track, int r, std::uint8_t mark)
{
    return [=](Disk& d) { recordOf(d, track, r).reserved[1] = mark; };
}

Edit shorten(int track, int r, std::size_t bytes)
{
    return [=](Disk& d) { recordOf(d, track, r).data.resize(bytes); };
}

Edit alter(int track, int r, int variant)
{
    return
        [=](Disk& d) { recordOf(d, track, r).data = testimg::sectorPattern(100 + variant, track, r, 256); };
}

Edit flip(int track, int r, std::size_t at, std::uint8_t mask)
{
    return [=](Disk& d) { recordOf(d, track, r).data.at(at) ^= mask; };
}

Edit copy(int track, int r, bool sameBytes)
{
    return [=](Disk& d) {
        testimg::Record copy = recordOf(d, track, r);
        if (!sameBytes)
            copy.data[7] ^= 0x5A;
        d.tracks.at(track).records.push_back(copy);
    };
}

} // namespace testsupport
