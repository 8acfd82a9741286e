#pragma once
// Zeta's bitmap: pixels in rows without padding by default (bytes per row = width x bytes
// per pixel), one interleaved plane unless made planar; the platform bitmap's properties
// under its names (pixelsWide, bitsPerPixel, bitmapFormat, bitmapData ...).
//
// Samples of 16 bits are in the machine's byte order (little-endian on every machine Zeta
// builds for) unless bitmapFormat says otherwise. A 32-bit pixel of 8-bit samples holds
// three colour bytes and an alpha or filler byte, which comes first when
// BitmapFormatAlphaFirst is set.
//
// A bitmap is filled by whoever makes it and read-only from then on: it may be shared
// between threads once made. A decoder class may derive from BitmapImageRep and present
// pixels that lie in memory it keeps (a Data it holds, a buffer of its own) by passing them
// to initWithBitmapDataPlanes(); pixels that need converting go into withLayout()'s planes.

#include "platform/image/buffer.h"
#include "platform/image/image_rep.h"

#include <QImage>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace zeta::platform {

// Bits of bitmapFormat (the platform's values).
enum BitmapFormat : unsigned {
    BitmapFormatAlphaFirst = 1u << 0,
    BitmapFormatAlphaNonpremultiplied = 1u << 1,
    BitmapFormatFloatingPointSamples = 1u << 2,
    BitmapFormatSixteenBitLittleEndian = 1u << 8,
    BitmapFormatThirtyTwoBitLittleEndian = 1u << 9,
    BitmapFormatSixteenBitBigEndian = 1u << 10,
    BitmapFormatThirtyTwoBitBigEndian = 1u << 11,
};

enum class ColorSpace { CalibratedWhite, DeviceWhite, CalibratedRGB, DeviceRGB };

// The most pixels a decoder hands out (a 268-megapixel frame): a header that claims more is
// refused rather than trusted with an allocation.
inline constexpr std::int64_t kMaxDecodedPixels = std::int64_t(1) << 28;

// How the pixels lie. bitsPerPixel 0 means bitsPerSample x samplesPerPixel (bitsPerSample
// when planar); bytesPerRow 0 means packed rows.
struct BitmapLayout {
    std::int64_t pixelsWide = 0;
    std::int64_t pixelsHigh = 0;
    int bitsPerSample = 8;
    int samplesPerPixel = 1;
    bool hasAlpha = false;
    bool isPlanar = false;
    ColorSpace colorSpaceName = ColorSpace::CalibratedWhite;
    unsigned bitmapFormat = 0;
    std::int64_t bytesPerRow = 0;
    int bitsPerPixel = 0;
};

class BitmapImageRep : public ImageRep {
public:
    // No pixels until initWithBitmapDataPlanes() succeeds.
    BitmapImageRep() = default;
    ~BitmapImageRep() override;

    // Describes the pixels. With planes null (or its first entry null) the bitmap allocates
    // zeroed planes of its own; otherwise it uses the caller's planes in place, which must
    // live as long as the bitmap (a subclass keeps them). False, leaving the bitmap empty,
    // for a description the platform refuses: no pixels, sample sizes other than 8, 16 or
    // 32 bits, 1 to 5 samples, pixels narrower than their samples, short rows, or more
    // than kMaxDecodedPixels.
    bool initWithBitmapDataPlanes(unsigned char* const* planes, const BitmapLayout& layout);

    // A new bitmap with its own zeroed planes; nullptr for a refused layout.
    static std::shared_ptr<BitmapImageRep> withLayout(const BitmapLayout& layout);
    // A bitmap over one plane of pixels kept alive by owner (shared with whoever else holds
    // it); nullptr for a refused layout.
    static std::shared_ptr<BitmapImageRep> withPixels(unsigned char* pixels, std::shared_ptr<const void> owner,
                                                      const BitmapLayout& layout);

    std::int64_t pixelsWide() const override { return layout_.pixelsWide; }
    std::int64_t pixelsHigh() const override { return layout_.pixelsHigh; }
    int bitsPerSample() const { return layout_.bitsPerSample; }
    int samplesPerPixel() const { return layout_.samplesPerPixel; }
    bool hasAlpha() const { return layout_.hasAlpha; }
    bool isPlanar() const { return layout_.isPlanar; }
    int numberOfPlanes() const { return layout_.isPlanar ? layout_.samplesPerPixel : 1; }
    ColorSpace colorSpaceName() const { return layout_.colorSpaceName; }
    unsigned bitmapFormat() const { return layout_.bitmapFormat; }
    int bitsPerPixel() const { return layout_.bitsPerPixel; }
    int bytesPerPixel() const { return layout_.bitsPerPixel / 8; }
    std::int64_t bytesPerRow() const { return layout_.bytesPerRow; }
    std::int64_t bytesPerPlane() const { return layout_.bytesPerRow * layout_.pixelsHigh; }
    const BitmapLayout& layout() const { return layout_; }

    // The first plane (all the pixels of an interleaved bitmap); null for an empty bitmap.
    unsigned char* bitmapData() const { return planes_[0]; }
    // Plane i, or null.
    unsigned char* plane(int i) const { return i >= 0 && i < 5 ? planes_[static_cast<std::size_t>(i)] : nullptr; }

    // A copy of the pixels as a Qt image for drawing (grey 8/16, RGB 24, RGBA/ARGB 32, RGB
    // 48); a null image for planar or floating-point bitmaps and other layouts.
    QImage qImage() const;

private:
    BitmapLayout layout_;
    std::array<unsigned char*, 5> planes_{};
    Buffer ownedPixels_;
    std::shared_ptr<const void> owner_;
};

} // namespace zeta::platform
