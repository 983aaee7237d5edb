// An output's bytes, handed over piece by piece, so that a large output need
// never be held whole: the writer asks for the next piece until an empty one
// comes.
#ifndef FILEIO_BYTE_SOURCE_H
#define FILEIO_BYTE_SOURCE_H

#include <cstddef>
#include <cstdint>
#include <span>

namespace fileio {

class ByteSource {
  public:
    // The next piece in `*piece` (valid until the next call), empty at the
    // end. False when the bytes cannot be had; the source knows why.
    virtual bool next(std::span<const std::uint8_t>* piece) = 0;

  protected:
    ~ByteSource() = default;
};

// Bytes already in memory, as one piece.
class MemorySource final : public ByteSource {
  public:
    MemorySource(const std::uint8_t* data, std::size_t length) : rest_(data, length) {}
    bool next(std::span<const std::uint8_t>* piece) override
    {
        *piece = rest_;
        rest_ = {};
        return true;
    }

  private:
    std::span<const std::uint8_t> rest_;
};

} // namespace fileio

#endif
