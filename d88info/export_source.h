// An export's bytes as the output takes them: those exportRaw holds, or the
// disk exportDisk describes, read from the image a piece at a time through a
// small buffer, so that a disk is never held whole.
#ifndef D88INFO_EXPORT_SOURCE_H
#define D88INFO_EXPORT_SOURCE_H

#include "byte_source.h"
#include "raw_export.h"

#include <cstdint>
#include <memory>

namespace d88info {

class ExportSource final : public fileio::ByteSource {
  public:
    ExportSource(d88::D88Image& image, const Export& exported) : image_(image), exported_(exported) {}
    bool next(std::span<const std::uint8_t>* piece) override;
    // Why next() failed: an errno value.
    int error() const { return error_; }

  private:
    static constexpr std::int64_t kPiece = 64 * 1024;
    d88::D88Image& image_;
    const Export& exported_;
    std::int64_t done_ = 0;
    std::unique_ptr<std::uint8_t[]> buffer_;
    int error_ = 0;
};

} // namespace d88info

#endif
