#pragma once
// The FITS decoder the application registers with the image-rep registry: the primary image
// of FITS bytes (or, when the primary holds no image, as in tile-compressed files, the first
// image extension) as an 8-bit grey, 16-bit grey or 24-bit RGB bitmap, decoded in memory with
// CFITSIO.
//
//   NAXIS 2, BITPIX 8   -> 8-bit grey, rows in file order (the first FITS row on top); when
//                          unscaled, the pixels are the FITS bytes themselves, kept in data()
//   NAXIS 2, BITPIX 16  -> 16-bit grey in the machine's byte order, BZERO/BSCALE applied
//                          (values below 0 read as 0)
//   NAXIS 3, BITPIX 8   -> 24-bit RGB from planes 1, 2, 3
//   NAXIS 3, BITPIX 16  -> 24-bit RGB from the high bytes of planes 1, 2, 3
//   anything else, bytes shorter than the header says, an absurd size, a failed read
//                       -> no representation
//
// Tile-compressed images are decompressed by the helper program zeta-fits-helper, since the
// library's decompressors read past damaged tiles; a helper that fails or faults gives no
// representation.
//
// Stateless: decodes on any thread. Large plain frames are converted by a few threads of
// its own, joined before the constructor returns.

#include "platform/image/bitmap_image_rep.h"
#include "platform/image/buffer.h"
#include "platform/image/data.h"
#include "platform/image/picture.h"

#include <cstddef>
#include <memory>
#include <string>

namespace FITSIO {

class FITSImageRep final : public zeta::platform::BitmapImageRep {
public:
    // Where tile-compressed images are decompressed: in the helper program, or in this process
    // (what the helper itself does).
    enum class Decompression { InHelper, InProcess };

    // Decodes the bytes; when that fails the representation has no pixels (bitmapData() null).
    explicit FITSImageRep(const zeta::platform::Data& data, Decompression decompression = Decompression::InHelper);
    ~FITSImageRep() override;

    // True when the bytes begin with "SIMPLE".
    static bool canInitWithData(const zeta::platform::Data& data);
    // One representation, or none when the bytes do not decode (and then why in *reason).
    static zeta::platform::ImageReps imageRepsWithData(const zeta::platform::Data& data, std::string* reason = nullptr);

    // The FITS bytes as received.
    const zeta::platform::Data& data() const { return data_; }
    std::size_t bufferSize() const { return bufferSize_; }
    // Why the bytes gave no pixels; empty when they did.
    const std::string& failureReason() const { return failureReason_; }

private:
    // The reason decoding failed, empty when it did not.
    std::string decode(Decompression decompression);
    bool decompressInHelper(const zeta::platform::BitmapLayout& expected);

    zeta::platform::Data data_;
    std::size_t bufferSize_ = 0;
    zeta::platform::Buffer buffer_;
    std::string failureReason_;
};

} // namespace FITSIO

// The first representation of the picture that is a FITS bitmap, or nullptr.
std::shared_ptr<FITSIO::FITSImageRep> fitsRepresentation(const zeta::platform::Picture& picture);
