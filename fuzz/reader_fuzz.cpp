// Fuzzes the reader: the input's front is the image, its tail a script of
// calls with any arguments. After each call the results must stay within
// what was asked for and the accessors within their ranges.
#include "d88/d88_image.h"
#include "d88/record_map.h"
#include "fuzz_support.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <span>
#include <string>
#include <vector>

namespace {

// Splits an input: the call script is taken from its end, byte by byte, and
// what is left at the front is the image. Taking from the end keeps an image
// seed an image when it is mutated.
class Input {
  public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint32_t byte() { return size_ ? data_[--size_] : 0u; }
    std::int32_t any()
    {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v = (v << 8) | byte();
        return static_cast<std::int32_t>(v);
    }
    // Mostly a value near the ones that mean something, sometimes any int32.
    std::int32_t arg(std::int32_t lo, std::int32_t hi)
    {
        if (byte() & 1)
            return any();
        const auto span = static_cast<std::uint32_t>(hi - lo) + 1;
        const std::uint32_t v = (byte() << 8) | byte();
        return lo + static_cast<std::int32_t>(v % span);
    }
    std::vector<std::uint8_t> rest() const { return std::vector<std::uint8_t>(data_, data_ + size_); }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
};

void checkAccessors(const d88::D88Image& image)
{
    CHECK(image.diskCount() >= 0 && image.diskCount() <= d88::kMaxDisks);
    CHECK(std::strlen(image.diskName()) <= 16);
    CHECK(image.mediaType() >= -1 && image.mediaType() <= 255);
    CHECK(image.selectedDisk() >= -1 && image.selectedDisk() < image.diskCount());
}

constexpr std::int32_t kBufferSize = 1 << 18;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Input in(data, size);
    struct Call {
        std::uint32_t kind;
        std::int32_t a[7];
    };
    std::vector<Call> calls(in.byte() % 25);
    for (Call& call : calls) {
        call.kind = in.byte() % 11;
        call.a[0] = in.arg(-1, 165);   // track or disk index
        call.a[1] = in.arg(0, 255);    // C
        call.a[2] = in.arg(0, 1);      // H
        call.a[3] = in.arg(0, 20);     // R
        call.a[4] = in.arg(0, 8);      // N
        call.a[5] = in.arg(-1, 40000); // length or capacity
        call.a[6] = in.arg(0, 20);     // last sector of a range
    }
    const std::vector<std::uint8_t> image = in.rest();
    static const std::string path = fuzzsupport::scratchImagePath("reader");
    if (!fuzzsupport::writeInput(path, image.data(), image.size()))
        return 0;

    static std::vector<std::uint8_t> buffer(kBufferSize);
    d88::D88Image reader;
    d88::RecordMap map(reader);
    CHECK(reader.open(path.c_str()));
    const std::int32_t disks = reader.diskCount();
    bool isOpen = true;
    bool selected = disks > 0 && reader.selectDisk(0);
    CHECK(selected == (disks > 0)); // an indexed header can always be read again
    for (const Call& call : calls) {
        const std::int32_t* a = call.a;
        // Lengths beyond the buffer are cut to it; negative ones go through.
        const std::int32_t len = a[5] > kBufferSize ? kBufferSize : a[5];
        switch (call.kind) {
        case 0:
            selected = reader.selectDisk(a[0]);
            CHECK(selected == (isOpen && a[0] >= 0 && a[0] < disks));
            break;
        case 1: {
            // Up to 65535 bytes are ever copied, whatever maxLen says.
            const std::int32_t got = reader.readSector(a[0], a[1], a[2], a[3], a[4], buffer.data(), a[5]);
            CHECK(got >= 0 && got <= 65535 && got <= (a[5] < 0 ? 0 : a[5]));
            CHECK(selected || got == 0);
            break;
        }
        case 2: {
            const std::int32_t got = reader.readSectorIds(a[0], buffer.data(), len);
            CHECK(got >= 0 && got % 4 == 0 && got <= (len < 0 ? 0 : len));
            CHECK(selected || got == 0);
            break;
        }
        case 3: {
            const std::int32_t got = reader.readSectors(a[0], a[1], a[2], a[3], a[4], buffer.data(), len);
            CHECK(got >= 0 && got <= (len < 0 ? 0 : len));
            CHECK(selected || got == 0);
            break;
        }
        case 4:
            reader.setSectorRange(a[3], a[6]);
            break;
        case 5:
            CHECK(reader.open(path.c_str()));
            CHECK(reader.diskCount() == disks);
            isOpen = true;
            selected = false;
            break;
        case 6:
            CHECK(reader.open(nullptr));
            CHECK(reader.diskCount() == 0);
            isOpen = false;
            selected = false;
            break;
        case 7:
            // The record map lays a disk out on the same reader.
            selected = map.loadDisk(a[0]).done();
            CHECK(selected == (isOpen && a[0] >= 0 && a[0] < disks));
            break;
        case 8: {
            // A found sector gives at most what its record holds, and never
            // more than was asked for.
            d88::SectorPlace place;
            if (!d88::makePlace(a[0], a[1], a[2], a[3], a[4], &place))
                break;
            d88::Record record;
            std::int32_t copied = -1;
            const std::size_t want = static_cast<std::size_t>(len < 0 ? 0 : len);
            const d88::Outcome read = map.findSector(place, std::span(buffer.data(), want), &record, &copied);
            CHECK(!read.failed());
            const bool found = read.done();
            CHECK(copied >= 0 && static_cast<std::size_t>(copied) <= want);
            CHECK(!found || (record.header.id == place.id && copied <= record.available));
            break;
        }
        case 9: {
            // No record's bytes hold the next record's header, and the
            // records stay inside the track's extent.
            d88::TrackFacts facts;
            const d88::Outcome told = map.track(a[0], &facts);
            CHECK(!told.failed());
            if (!told.done())
                break;
            std::int64_t after = facts.start;
            std::int32_t seen = 0;
            CHECK(map.eachRecord(a[0],
                                 [&](const d88::Record& record, std::int32_t index) {
                                     CHECK(index == seen++ && record.headerPos >= after &&
                                           record.available >= 0 && record.skipped >= 0);
                                     after = record.dataPos() + record.available + record.skipped;
                                     return true;
                                 })
                      .done());
            CHECK(seen == facts.records && after <= facts.end && facts.end <= reader.fileSize());
            break;
        }
        default:
            break;
        }
        checkAccessors(reader);
        CHECK(!reader.outcome().failed()); // a file in memory never fails a read
    }
    return 0;
}
