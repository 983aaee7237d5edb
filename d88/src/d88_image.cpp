// The strict reader: the image file, its disks and their headers (layout.h
// gives their layout). Positions are computed in 64 bits: disk start + track
// offset + a walk of up to 65535 records of up to 65551 bytes each cannot
// overflow them.
#include "d88/d88_image.h"

#include "file_window.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace d88 {

D88Image::~D88Image() = default;

void D88Image::CloseFile::operator()(FileWindow* file) const
{
    delete file;
}

void D88Image::clearSelection()
{
    selectedDisk_ = -1;
    mediaType_ = -1;
    diskSize_ = 0;
    std::memset(diskName_, 0, sizeof diskName_);
}

Outcome D88Image::settle(bool there)
{
    const int error = file_ ? file_->error() : 0;
    if (error == 0)
        return outcome_ = Outcome::found(there);
    // An error is told by the call that met it, never by a later one.
    file_->clearError();
    return outcome_ = Outcome::failure(error);
}

bool D88Image::open(const char* path)
{
    return openImage(path).done();
}

Outcome D88Image::openImage(const char* path)
{
    file_.reset();
    ++opened_;
    if (!path) {
        diskCount_ = 0;
        moreDisksAt_ = -1;
        selectedDisk_ = -1;
        mediaType_ = -1;
        return outcome_ = Outcome{};
    }
    int error = kErrorImageChanged;
    for (int reading = 0; !file_ && reading < 3 && error == kErrorImageChanged; ++reading)
        file_.reset(FileWindow::open(path, &error).release());
    if (!file_)
        return outcome_ = Outcome::failure(error);
    // A header describing another file must not steer reads of this one.
    clearSelection();

    std::int32_t count = 0;
    std::int64_t offset = 0;
    std::int32_t size = 0;
    while (count < kMaxDisks) {
        diskOffsets_[count] = static_cast<std::int32_t>(offset);
        const std::uint8_t* header = nullptr;
        if (file_->view(offset, kDiskHeaderSize, &header) < kDiskHeaderSize)
            break;
        size = readLE32(header + kDiskSizeOffset);
        ++count;
        offset += size;
        // A negative size cannot lead to another disk, and an offset past
        // 2 GiB lies beyond the images this reader accepts.
        if (size < 0 || offset > std::numeric_limits<std::int32_t>::max())
            break;
    }
    if (const int failed = file_->error()) {
        file_.reset();
        return outcome_ = Outcome::failure(failed);
    }
    diskCount_ = count;
    moreDisksAt_ = count == kMaxDisks && size > 0 && offset <= file_->size() - kDiskHeaderSize ? offset : -1;
    return outcome_ = Outcome{};
}

void D88Image::close()
{
    open(nullptr);
}

bool D88Image::selectDisk(std::int32_t index)
{
    return loadDisk(index).done();
}

Outcome D88Image::loadDisk(std::int32_t index)
{
    if (!file_)
        return outcome_ = Outcome::found(false);
    clearSelection();
    if (index < 0 || index >= diskCount_)
        return outcome_ = Outcome::found(false);
    const std::uint8_t* header = nullptr;
    if (file_->view(diskOffsets_[index], kDiskHeaderSize, &header) < kDiskHeaderSize)
        return settle(false);
    for (std::int32_t i = 0; i < kMaxTracks; ++i)
        trackOffsets_[i] = readLE32(header + kTrackTableOffset + 4 * i);
    mediaType_ = header[kMediaTypeOffset];
    diskSize_ = readLE32(header + kDiskSizeOffset);
    // diskName_ was cleared above and its last byte is never written.
    for (std::int32_t i = 0; i < kDiskNameLength && header[kDiskNameOffset + i] != 0; ++i)
        diskName_[i] = static_cast<char>(header[kDiskNameOffset + i]);
    selectedDisk_ = index;
    return settle(true);
}

void D88Image::setSectorRange(std::int32_t first, std::int32_t last)
{
    firstSector_ = first;
    lastSector_ = last;
}

std::int64_t D88Image::diskOffset(std::int32_t index) const
{
    if (index < 0 || index >= diskCount_)
        return -1;
    return diskOffsets_[index];
}

std::int32_t D88Image::trackOffset(std::int32_t track) const
{
    if (track < 0 || track >= kMaxTracks)
        return 0;
    return trackOffsets_[track];
}

std::int64_t D88Image::fileSize() const
{
    return file_ ? file_->size() : 0;
}

Outcome D88Image::readFileBytes(std::int64_t offset, std::span<std::uint8_t> dest, std::int64_t* got)
{
    std::int64_t total = 0;
    while (file_ && static_cast<std::size_t>(total) < dest.size()) {
        const auto want = static_cast<std::int32_t>(
            std::min<std::size_t>(dest.size() - static_cast<std::size_t>(total), FileWindow::kMaxView));
        const std::uint8_t* bytes = nullptr;
        const std::int32_t part = file_->view(offset + total, want, &bytes);
        if (part <= 0)
            break;
        std::memcpy(dest.data() + total, bytes, static_cast<std::size_t>(part));
        total += part;
    }
    *got = total;
    return settle(file_ != nullptr);
}

bool D88Image::fileIdentity(FileIdentity* identity) const
{
    if (!file_)
        return false;
    *identity = file_->identity();
    return true;
}

Outcome D88Image::checkUnchanged() const
{
    const int error = file_ ? file_->changed() : 0;
    return error ? Outcome::failure(error) : Outcome{};
}

bool D88Image::trackStart(std::int32_t track, std::int64_t* pos) const
{
    if (!file_ || selectedDisk_ < 0 || track < 0 || track >= kMaxTracks)
        return false;
    const std::int32_t off = trackOffsets_[track];
    // An offset equal to the disk size passes.
    if (off <= 0 || off > diskSize_)
        return false;
    *pos = static_cast<std::int64_t>(diskOffsets_[selectedDisk_]) + off;
    return true;
}

} // namespace d88
