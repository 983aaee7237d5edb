// Walking a kept reading record by record, and what each record gives.
#include "reading.h"

#include <algorithm>

namespace d88 {

std::int64_t sizeStep(std::int64_t pos, std::int32_t dataSize, std::int64_t end, std::int64_t fileSize)
{
    const std::int64_t stepped = pos + kSectorHeaderSize + dataSize;
    if ((stepped > end && end >= fileSize) || (stepped < end && end - stepped < kSectorHeaderSize))
        return end;
    return stepped;
}

std::int32_t givenBytes(std::int64_t pos, const RecordHeader& header, std::int64_t next, bool bySize,
                        std::int64_t fileSize)
{
    const std::int64_t room = std::min(next, fileSize) - pos - kSectorHeaderSize;
    const std::int64_t claim =
        bySize ? header.dataSize : std::max<std::int64_t>(header.dataSize, nominalSectorSize(header.id.n));
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(room, 0, claim));
}

ReadingCursor::ReadingCursor(FileWindow& file, const Reading& reading)
    : ReadingCursor(file, reading, 0, reading.first)
{
}

ReadingCursor::ReadingCursor(FileWindow& file, const Reading& reading, std::int32_t index, std::int64_t pos)
    : file_(&file), reading_(&reading), pos_(pos), index_(index)
{
    const auto& jumps = reading.jumps;
    jump_ = static_cast<std::size_t>(
        std::partition_point(jumps.begin(), jumps.end(), [pos](const auto& j) { return j.first < pos; }) -
        jumps.begin());
    if (pos_ >= 0 && !load())
        pos_ = -1;
}

bool ReadingCursor::load()
{
    const std::uint8_t* bytes = nullptr;
    if (file_->view(pos_, kSectorHeaderSize, &bytes) != kSectorHeaderSize)
        return false;
    const auto& jumps = reading_->jumps;
    while (jump_ < jumps.size() && jumps[jump_].first < pos_)
        ++jump_;
    next_ = jump_ < jumps.size() && jumps[jump_].first == pos_
                ? jumps[jump_].second
                : sizeStep(pos_, readLE16(bytes + kDataSizeOffset), reading_->end, file_->size());
    return true;
}

bool ReadingCursor::record(Record* out)
{
    const std::uint8_t* bytes = nullptr;
    if (pos_ < 0 || file_->view(pos_, kSectorHeaderSize, &bytes) != kSectorHeaderSize)
        return false;
    const auto& jumps = reading_->jumps;
    const bool bySize = !(jump_ < jumps.size() && jumps[jump_].first == pos_);
    out->header.read(bytes);
    out->headerPos = pos_;
    out->bySize = bySize;
    out->available = givenBytes(pos_, out->header, next_, bySize, file_->size());
    out->skipped = static_cast<std::int32_t>(
        std::clamp<std::int64_t>(next_ - pos_ - kSectorHeaderSize - out->available, 0, 0x7FFFFFFF));
    const auto& uncertain = reading_->uncertain;
    while (uncertain_ < uncertain.size() && uncertain[uncertain_] < index_)
        ++uncertain_;
    out->uncertain = uncertain_ < uncertain.size() && uncertain[uncertain_] == index_;
    const auto& strict = reading_->strict;
    while (strict_ < strict.size() && strict[strict_].second <= index_)
        ++strict_;
    const bool same = strict_ < strict.size() && strict[strict_].first <= index_;
    out->pastLie = same ? Lie{} : reading_->lie;
    return true;
}

void ReadingCursor::next()
{
    if (pos_ < 0)
        return;
    if (next_ >= reading_->end || next_ <= pos_) {
        pos_ = -1;
        return;
    }
    pos_ = next_;
    ++index_;
    if (!load())
        pos_ = -1;
}

} // namespace d88
