// An export's bytes as the output takes them, a piece at a time through a
// small buffer: the disk's own bytes read from the image, or the sectors of a
// plain sector image looked up one by one, zeros where one is missing or
// stored short. No export is ever held whole.
#ifndef D88INFO_EXPORT_SOURCE_H
#define D88INFO_EXPORT_SOURCE_H

#include "byte_source.h"
#include "raw_export.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace d88info {

class ExportSource final : public fileio::ByteSource {
  public:
    ExportSource(d88::RecordMap& map, const Export& exported) : map_(map), exported_(exported) {}
    bool next(std::span<const std::uint8_t>* piece) override;
    // Why next() failed: an errno value.
    int error() const { return error_; }
    // Once all is delivered, for a plain sector image: where zeros stand for
    // sectors the disk lacks ("zeros written for 3 of 1280 sectors, missing
    // or stored short: track 12 sector 3, tracks 80-163"), "" when none.
    std::string holes() const;

  private:
    static constexpr std::int64_t kPiece = 64 * 1024;
    bool fill(std::int64_t size);
    d88::RecordMap& map_;
    const Export& exported_;
    std::int64_t done_ = 0;
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::vector<bool> holes_; // one bit a sector position, in geometry order
    int error_ = 0;
};

} // namespace d88info

#endif
