// An output's bytes followed, once the last piece is handed over and before
// the output takes its name, by a look at the image they came from: an image
// cut, grown or rewritten since it was opened fails the source, so that no
// output made of its bytes is put in place.
#ifndef FILEIO_IMAGE_CHECKED_SOURCE_H
#define FILEIO_IMAGE_CHECKED_SOURCE_H

#include "byte_source.h"
#include "d88/d88_image.h"

namespace fileio {

class ImageCheckedSource final : public ByteSource {
  public:
    ImageCheckedSource(ByteSource& bytes, const d88::D88Image& image) : bytes_(bytes), image_(image) {}
    bool next(std::span<const std::uint8_t>* piece) override
    {
        if (!bytes_.next(piece))
            return false;
        if (piece->empty() && (changed_ = image_.checkUnchanged().error) != 0)
            return false;
        return true;
    }
    // Why the image failed the source: kErrorImageChanged, or an errno value
    // when the system could not say; 0 when it did not (the bytes failed).
    int changed() const { return changed_; }

  private:
    ByteSource& bytes_;
    const d88::D88Image& image_;
    int changed_ = 0;
};

} // namespace fileio

#endif
