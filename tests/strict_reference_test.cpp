// The reader's strict operations against a reference walk written plainly
// from the format's rules, on every image the project holds: built images
// (lying fields, shared walks among them), the real samples and every file
// of the fuzzers' corpora. However the reader keeps what it has read, what
// readSector, readSectorIds and readSectors give must not change.
#include "d88/d88_image.h"
#include "image_builder.h"
#include "lying_cases.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testimg::Bytes;

// The rules, read straight off the file's bytes:
//   disks follow one another by their size fields (at most 64; a negative
//   size, or an offset past 2 GiB, ends the index); a track starts at its
//   table entry when that is above 0 and at most the disk size; a lookup
//   walks its records by their data sizes, ends at a count of 0 or at the
//   record whose position is its own count - 1 (or after 65535 records),
//   and the first record with the ID wins; a listing does not stop at a
//   count of 0; a run moves through sectors first..last of a track, then
//   head 0 -> 1, then the next cylinder, and stops at the first piece it
//   cannot read whole.
class Reference {
  public:
    explicit Reference(Bytes file) : file_(std::move(file))
    {
        std::int64_t offset = 0;
        while (disks_.size() < 64 && fits(offset, 688)) {
            disks_.push_back(offset);
            const std::int32_t size = le32(offset + 0x1C);
            offset += size;
            if (size < 0 || offset > INT32_MAX)
                break;
        }
    }
    std::int32_t diskCount() const { return static_cast<std::int32_t>(disks_.size()); }

    bool select(std::int32_t index)
    {
        size_ = 0;
        if (index < 0 || index >= diskCount())
            return false;
        base_ = disks_[static_cast<std::size_t>(index)];
        size_ = le32(base_ + 0x1C);
        for (int t = 0; t < 164; ++t)
            table_[t] = le32(base_ + 0x20 + 4 * t);
        return true;
    }

    struct Found {
        std::int64_t data;
        std::int32_t size;
        bool plausible; // every record the walk examined, this one included, is plausible
    };

    std::optional<Found> lookup(int track, int c, int h, int r, int n) const
    {
        std::int64_t pos = 0;
        if (!start(track, &pos))
            return std::nullopt;
        // A table entry at the disk's end names the next disk's header, and
        // one into the header its own fields: neither is a track's record.
        bool plausible = table_[track] != size_ && table_[track] >= headerEnd();
        for (int i = 0; i < 65535 && fits(pos, 16); ++i) {
            const int count = le16(pos + 4), size = le16(pos + 14);
            plausible = plausible && plausibleHeader(pos, i == 0 ? -1 : pos - 16 - lastSize_);
            lastSize_ = size;
            if (count == 0)
                return std::nullopt;
            if (file_[at(pos)] == c && file_[at(pos + 1)] == h && file_[at(pos + 2)] == r &&
                file_[at(pos + 3)] == n)
                return Found{pos + 16, size, plausible};
            pos += 16 + size;
            if (i == count - 1)
                return std::nullopt;
        }
        return std::nullopt;
    }

    // What readSector copies: the smaller of the data size and maxLen, cut
    // at the end of the file.
    Bytes readSector(int track, int c, int h, int r, int n, int maxLen) const
    {
        const std::optional<Found> found = lookup(track, c, h, r, n);
        if (!found || maxLen < 0)
            return {};
        const std::int64_t want = std::min<std::int64_t>(found->size, maxLen);
        const std::int64_t have =
            std::clamp<std::int64_t>(static_cast<std::int64_t>(file_.size()) - found->data, 0, want);
        return Bytes(file_.begin() + found->data, file_.begin() + found->data + have);
    }

    std::vector<std::uint32_t> listIds(int track, int capacity) const
    {
        std::vector<std::uint32_t> ids;
        std::int64_t pos = 0;
        if (!start(track, &pos))
            return ids;
        for (int listed = 0; listed < capacity / 4 && fits(pos, 16); ++listed) {
            ids.push_back(static_cast<std::uint32_t>(le32(pos)));
            const int count = le16(pos + 4);
            pos += 16 + le16(pos + 14);
            if (listed == count - 1)
                break;
        }
        return ids;
    }

    Bytes readSectors(int track, int c, int h, int r, int n, int length, int first, int last) const
    {
        Bytes out;
        if (n < 0 || n > 255 || length <= 0)
            return out;
        const int nominal = n <= 8 ? 128 << n : length;
        while (static_cast<int>(out.size()) < length) {
            const int piece = std::min(nominal, length - static_cast<int>(out.size()));
            const bool ids = c >= 0 && c <= 255 && h >= 0 && h <= 255 && r >= 0 && r <= 255;
            const Bytes got = ids ? readSector(track, c, h, r, n, piece) : Bytes{};
            if (static_cast<int>(got.size()) < piece)
                return out;
            out.insert(out.end(), got.begin(), got.end());
            if (r != last) {
                ++r;
            } else {
                ++track, r = first;
                h == 0 ? (h = 1) : (h = 0, ++c);
            }
        }
        return out;
    }

  private:
    // Where the track table ends: at the first track that starts past its
    // own slot and within the disk, or after 164 entries.
    std::int64_t headerEnd() const
    {
        std::int64_t first = INT64_MAX;
        int entries = 0;
        for (; entries < 164 && 0x20 + 4 * entries < first; ++entries)
            if (table_[entries] >= 0x20 + 4 * (entries + 1) && table_[entries] <= size_ &&
                table_[entries] < first)
                first = table_[entries];
        return 0x20 + 4 * entries;
    }

    // A header a track may hold: the cylinder and head of the record before
    // it (`prev`, -1 for the first), a size code up to 8, a known density
    // byte, not sixteen zero bytes, and its data within the file.
    bool plausibleHeader(std::int64_t pos, std::int64_t prev) const
    {
        if (prev >= 0 && (file_[at(pos)] != file_[at(prev)] || file_[at(pos + 1)] != file_[at(prev + 1)]))
            return false;
        const int n = file_[at(pos + 3)], density = file_[at(pos + 6)];
        if (n > 8 || (density != 0x00 && density != 0x40))
            return false;
        if (std::all_of(file_.begin() + pos, file_.begin() + pos + 16, [](std::uint8_t b) { return b == 0; }))
            return false;
        return fits(pos, 16 + std::min(le16(pos + 14), 128 << n));
    }

    bool fits(std::int64_t pos, std::int64_t len) const
    {
        return pos >= 0 && pos + len <= static_cast<std::int64_t>(file_.size());
    }
    std::size_t at(std::int64_t pos) const { return static_cast<std::size_t>(pos); }
    int le16(std::int64_t pos) const { return file_[at(pos)] | file_[at(pos + 1)] << 8; }
    std::int32_t le32(std::int64_t pos) const
    {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(le16(pos)) |
                                         static_cast<std::uint32_t>(le16(pos + 2)) << 16);
    }
    bool start(int track, std::int64_t* pos) const
    {
        if (track < 0 || track >= 164 || size_ == 0)
            return false;
        const std::int32_t off = table_[track];
        if (off <= 0 || off > size_)
            return false;
        *pos = base_ + off;
        return true;
    }

    Bytes file_;
    mutable int lastSize_ = 0;
    std::vector<std::int64_t> disks_;
    std::int64_t base_ = 0;
    std::int32_t size_ = 0;
    std::int32_t table_[164] = {};
};

std::uint32_t idOf(const d88::SectorId& id)
{
    const auto byte = [](std::uint8_t b) { return static_cast<std::uint32_t>(b); };
    return byte(id.c) | byte(id.h) << 8 | byte(id.r) << 16 | byte(id.n) << 24;
}

// The bytes of an ID as the separate values the int32 operations take.
struct Id {
    int c, h, r, n;
    explicit Id(std::uint32_t id)
        : c(static_cast<int>(id & 0xFF)), h(static_cast<int>(id >> 8 & 0xFF)),
          r(static_cast<int>(id >> 16 & 0xFF)), n(static_cast<int>(id >> 24))
    {
    }
    d88::SectorPlace on(int track) const
    {
        return {track, d88::SectorId{static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(h),
                                     static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(n)}};
    }
};

Bytes prefix(const std::vector<std::uint8_t>& buffer, std::int32_t length)
{
    return Bytes(buffer.begin(), buffer.begin() + std::max(length, 0));
}

// Where the strict rule finds a sector through plausible records only, the
// found records give it too, with the same bytes: more only where its data
// size lied and the walk stepped by its nominal size, fewer only where the
// next record's header starts inside what the data size claims (no sector
// ever holds another record's header).
void compareTolerant(const Bytes& strict, d88::D88Image& image, const d88::SectorPlace& at)
{
    static std::vector<std::uint8_t> buffer(70000);
    d88::FoundRecord record;
    std::int32_t copied = 0;
    ASSERT_TRUE(image.findFoundSector(at, buffer, &record, &copied).done())
        << "the found records miss " << at.id.c << "." << at.id.h << "." << at.id.r << "." << at.id.n;
    const Bytes found = prefix(buffer, copied);
    const std::size_t common = std::min(found.size(), strict.size());
    ASSERT_TRUE(testsupport::sameBytes(Bytes(strict.begin(), strict.begin() + static_cast<long>(common)),
                                       Bytes(found.begin(), found.begin() + static_cast<long>(common))));
    if (found.size() > strict.size()) {
        EXPECT_TRUE(record.nominalStep);
    } else if (found.size() < strict.size()) {
        EXPECT_TRUE(record.storedShort || record.nominalStep);
    }
}

// One track: its listing whole and cut short, a lookup of each of a sample
// of its IDs (those listed, and some that are not there) and two runs.
void compareTrack(const Reference& ref, d88::D88Image& image, int track, int* compared)
{
    static std::vector<std::uint8_t> ids(4 * 70000);
    static std::vector<std::uint8_t> buffer(70000);
    const std::vector<std::uint32_t> listed = ref.listIds(track, 4 * 70000);
    ASSERT_EQ(static_cast<std::size_t>(image.readSectorIds(track, ids.data(), 4 * 70000)), 4 * listed.size());
    for (std::size_t i = 0; i < listed.size(); ++i)
        ASSERT_EQ(idOf(d88::SectorId{ids[4 * i], ids[4 * i + 1], ids[4 * i + 2], ids[4 * i + 3]}), listed[i])
            << "record " << i;
    EXPECT_EQ(ref.listIds(track, 8).size() * 4,
              static_cast<std::size_t>(image.readSectorIds(track, buffer.data(), 8)));

    std::set<std::uint32_t> asked(listed.begin(),
                                  listed.begin() + std::min<long>(static_cast<long>(listed.size()), 40));
    const auto c = static_cast<std::uint32_t>(std::clamp(track / 2, 0, 255));
    const auto h = static_cast<std::uint32_t>(track & 1);
    for (const std::uint32_t r : {1u, 2u, 16u, 0xFEu})
        asked.insert(c | h << 8 | r << 16 | 1u << 24);
    for (const std::uint32_t id : asked) {
        const Id at(id);
        for (const int maxLen : {256, 70000}) {
            const Bytes want = ref.readSector(track, at.c, at.h, at.r, at.n, maxLen);
            ASSERT_TRUE(testsupport::sameBytes(
                want, prefix(buffer, image.readSector(track, at.c, at.h, at.r, at.n, buffer.data(), maxLen))))
                << std::hex << "ID " << id;
        }
        const std::optional<Reference::Found> found = ref.lookup(track, at.c, at.h, at.r, at.n);
        if (found && found->plausible)
            compareTolerant(ref.readSector(track, at.c, at.h, at.r, at.n, 70000), image, at.on(track));
        ASSERT_FALSE(::testing::Test::HasFatalFailure());
        ++*compared;
    }
    image.setSectorRange(1, 16);
    for (const std::uint32_t id : {listed.empty() ? 0u : listed.front(), c | h << 8 | 1u << 16 | 1u << 24}) {
        const Id at(id);
        const Bytes want = ref.readSectors(track, at.c, at.h, at.r, at.n, 3 * 16 * 256, 1, 16);
        ASSERT_TRUE(testsupport::sameBytes(
            want,
            prefix(buffer, image.readSectors(track, at.c, at.h, at.r, at.n, buffer.data(), 3 * 16 * 256))))
            << "run from " << std::hex << id;
    }
}

// Every track of up to three disks of the file; `compared` counts lookups.
void compareImage(const fs::path& path, const std::string& what, int* compared)
{
    SCOPED_TRACE(what);
    const std::optional<Bytes> bytes = testsupport::readFile(path);
    ASSERT_TRUE(bytes);
    const Reference ref(*bytes);
    Reference selected = ref;
    d88::D88Image image;
    ASSERT_TRUE(image.open(path.string().c_str()));
    ASSERT_EQ(image.diskCount(), ref.diskCount());
    for (int disk = 0; disk < std::min(ref.diskCount(), 3); ++disk) {
        ASSERT_EQ(image.selectDisk(disk), selected.select(disk));
        for (int track = -1; track <= 164; ++track) {
            SCOPED_TRACE("disk " + std::to_string(disk) + " track " + std::to_string(track));
            compareTrack(selected, image, track, compared);
            if (::testing::Test::HasFatalFailure())
                return;
        }
    }
}

TEST(StrictReference, BuiltImagesWhoseFieldsLieOrWhoseTracksShareAWalk)
{
    testsupport::TempDir dir;
    testimg::Disk sizeZero = testimg::lyingDiskA(5);
    sizeZero.diskSize = 0;
    // Disk sizes that end the disk at track 20's start and inside its
    // records, with no disk after them: the size lies.
    const std::size_t track20 = testimg::trackStart(testimg::formattedDisk(4), 20);
    testimg::Disk atTrack20 = testimg::formattedDisk(4), insideTrack20 = atTrack20;
    atTrack20.diskSize = static_cast<std::uint32_t>(track20);
    insideTrack20.diskSize = static_cast<std::uint32_t>(track20 + 600);
    testimg::Record decoy;
    decoy.c = 0xFE, decoy.r = 1;
    decoy.data.assign(256, 0xDE);
    const std::pair<const char*, Bytes> images[] = {
        {"formatted", testimg::buildDisk(testimg::formattedDisk(1))},
        {"lying fields", testimg::buildDisk(testimg::lyingDiskA(2))},
        {"disk size 0", testimg::buildDisk(sizeZero)},
        {"disk size at track 20", testimg::buildDisk(atTrack20)},
        {"disk size inside track 20", testimg::buildDisk(insideTrack20)},
        {"decoys", testimg::buildDisk(testimg::sharedDecoyTrack(testimg::formattedDisk(3, 8), 3000))},
        {"data-carrying decoys",
         testimg::buildDisk(testimg::sharedDecoyTrack(testimg::formattedDisk(3, 8), 300, decoy))},
        {"disks sharing one walk", testimg::disksSharingOneWalk(6, 0x3000)},
    };
    int compared = 0;
    for (const auto& [what, bytes] : images) {
        testimg::writeFile((dir / "image.d88").string(), bytes);
        compareImage(dir / "image.d88", what, &compared);
        ASSERT_FALSE(::testing::Test::HasFatalFailure());
    }
    EXPECT_GT(compared, 8 * 165 * 4);
}

TEST(StrictReference, EveryLyingFieldCase)
{
    testsupport::TempDir dir;
    int compared = 0;
    for (const testsupport::LyingCase& c : testsupport::lyingCases()) {
        testimg::writeFile((dir / "image.d88").string(), testimg::buildDisk(c.disk));
        compareImage(dir / "image.d88", c.what, &compared);
        ASSERT_FALSE(::testing::Test::HasFatalFailure());
    }
    EXPECT_GT(compared, 12 * 80 * 16);
}

TEST(StrictReference, EveryRealSampleAndEveryFuzzCorpusFile)
{
    int files = 0;
    for (const char* folder :
         {REAL_IMAGES_DIR, FUZZ_CORPUS_DIR "/reader", FUZZ_CORPUS_DIR "/tool", FUZZ_CORPUS_DIR "/d88info",
          FUZZ_FINDINGS_DIR "/reader", FUZZ_FINDINGS_DIR "/tool", FUZZ_FINDINGS_DIR "/d88info"}) {
        for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
            if (!entry.is_regular_file() || entry.path().filename().string()[0] == '.')
                continue;
            int compared = 0;
            compareImage(entry.path(), entry.path().string(), &compared);
            ++files;
            if (::testing::Test::HasFatalFailure())
                return;
        }
    }
    EXPECT_GT(files, 500);
}

} // namespace
