#include "platform/image/bitmap_image_rep.h"

#include "platform/image/picture.h"

#include <cstring>
#include <gtest/gtest.h>

using zeta::platform::BitmapImageRep;
using zeta::platform::BitmapLayout;

namespace {

BitmapLayout layout(std::int64_t w, std::int64_t h, int bps, int spp, int bpp = 0, bool alpha = false) {
    BitmapLayout l;
    l.pixelsWide = w;
    l.pixelsHigh = h;
    l.bitsPerSample = bps;
    l.samplesPerPixel = spp;
    l.bitsPerPixel = bpp;
    l.hasAlpha = alpha;
    return l;
}

} // namespace

TEST(BitmapImageRep, LayoutsAcceptedAndRefused) {
    const struct {
        const char* name;
        BitmapLayout layout;
        bool accepted;
        int bitsPerPixel;
        std::int64_t bytesPerRow;
    } cases[] = {
        {"8-bit grey", layout(5, 3, 8, 1), true, 8, 5},
        {"16-bit grey", layout(5, 3, 16, 1), true, 16, 10},
        {"24-bit RGB", layout(5, 3, 8, 3), true, 24, 15},
        {"32-bit RGB with filler", layout(5, 3, 8, 3, 32), true, 32, 20},
        {"32-bit RGBA", layout(5, 3, 8, 4, 0, true), true, 32, 20},
        {"48-bit RGB", layout(5, 3, 16, 3), true, 48, 30},
        {"no width", layout(0, 3, 8, 1), false, 0, 0},
        {"negative height", layout(5, -1, 8, 1), false, 0, 0},
        {"12-bit samples", layout(5, 3, 12, 1), false, 0, 0},
        {"no samples", layout(5, 3, 8, 0), false, 0, 0},
        {"six samples", layout(5, 3, 8, 6), false, 0, 0},
        {"alpha alone", layout(5, 3, 8, 1, 0, true), false, 0, 0},
        {"pixel narrower than its samples", layout(5, 3, 8, 3, 16), false, 0, 0},
        {"pixel of odd bits", layout(5, 3, 8, 3, 28), false, 0, 0},
        {"absurd size", layout(1 << 20, 1 << 20, 8, 1), false, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto rep = BitmapImageRep::withLayout(c.layout);
        EXPECT_EQ(rep != nullptr, c.accepted);
        if (!rep) continue;
        EXPECT_EQ(rep->bitsPerPixel(), c.bitsPerPixel);
        EXPECT_EQ(rep->bytesPerRow(), c.bytesPerRow);
        EXPECT_EQ(rep->bytesPerPlane(), c.bytesPerRow * 3);
        EXPECT_EQ(rep->numberOfPlanes(), 1);
        for (std::int64_t i = 0; i < rep->bytesPerPlane(); ++i)
            ASSERT_EQ(rep->bitmapData()[i], 0);
    }
    // Rows shorter than their pixels are refused, longer ones kept.
    BitmapLayout padded = layout(5, 3, 8, 3);
    padded.bytesPerRow = 14;
    EXPECT_FALSE(BitmapImageRep::withLayout(padded));
    padded.bytesPerRow = 16;
    EXPECT_EQ(BitmapImageRep::withLayout(padded)->bytesPerRow(), 16);

    BitmapImageRep empty;
    EXPECT_EQ(empty.bitmapData(), nullptr);
    EXPECT_EQ(empty.pixelsWide(), 0);
    EXPECT_FALSE(empty.initWithBitmapDataPlanes(nullptr, layout(0, 0, 8, 1)));
    EXPECT_EQ(empty.bitmapData(), nullptr);
}

TEST(BitmapImageRep, PlanesAndOwnership) {
    BitmapLayout planar = layout(4, 2, 8, 3);
    planar.isPlanar = true;
    auto rep = BitmapImageRep::withLayout(planar);
    ASSERT_TRUE(rep);
    EXPECT_EQ(rep->numberOfPlanes(), 3);
    EXPECT_EQ(rep->bitsPerPixel(), 8);
    EXPECT_EQ(rep->plane(1) - rep->plane(0), 8);
    EXPECT_EQ(rep->plane(2) - rep->plane(1), 8);
    EXPECT_EQ(rep->plane(3), nullptr);

    // Caller's planes are used in place.
    unsigned char pixels[6] = {1, 2, 3, 4, 5, 6};
    unsigned char* planes[1] = {pixels};
    BitmapImageRep wrapped;
    ASSERT_TRUE(wrapped.initWithBitmapDataPlanes(planes, layout(3, 2, 8, 1)));
    EXPECT_EQ(wrapped.bitmapData(), pixels);

    // Shared pixels stay alive as long as the bitmap.
    auto owner = std::make_shared<std::vector<unsigned char>>(12, 9);
    std::weak_ptr<std::vector<unsigned char>> watch = owner;
    auto shared = BitmapImageRep::withPixels(owner->data(), owner, layout(2, 2, 8, 3));
    owner.reset();
    ASSERT_TRUE(shared);
    EXPECT_FALSE(watch.expired());
    EXPECT_EQ(shared->bitmapData()[11], 9);
    shared.reset();
    EXPECT_TRUE(watch.expired());
}

TEST(BitmapImageRep, QtImagesOfEachLayout) {
    const auto make = [](BitmapLayout l, std::vector<unsigned char> bytes, unsigned format = 0) {
        l.bitmapFormat = format;
        auto rep = BitmapImageRep::withLayout(l);
        std::memcpy(rep->bitmapData(), bytes.data(), bytes.size());
        return rep->qImage();
    };
    EXPECT_EQ(make(layout(2, 1, 8, 1), {10, 250}).pixel(1, 0), qRgb(250, 250, 250));
    EXPECT_EQ(make(layout(1, 1, 16, 1), {0x00, 0x80}).pixelColor(0, 0).rgba64().red(), 0x8000);
    EXPECT_EQ(make(layout(2, 1, 8, 3), {1, 2, 3, 4, 5, 6}).pixel(1, 0), qRgb(4, 5, 6));
    EXPECT_EQ(make(layout(1, 1, 8, 3, 32), {7, 8, 9, 0}).pixel(0, 0), qRgb(7, 8, 9));
    EXPECT_EQ(make(layout(1, 1, 8, 4, 0, true), {200, 7, 8, 9},
                   zeta::platform::BitmapFormatAlphaFirst | zeta::platform::BitmapFormatAlphaNonpremultiplied)
                  .pixel(0, 0),
              qRgba(7, 8, 9, 200));
    const QImage deep = make(layout(1, 1, 16, 3), {0, 0x10, 0, 0x20, 0, 0x30});
    EXPECT_EQ(deep.pixel(0, 0), qRgb(0x10, 0x20, 0x30));
    BitmapLayout planar = layout(1, 1, 8, 3);
    planar.isPlanar = true;
    EXPECT_TRUE(BitmapImageRep::withLayout(planar)->qImage().isNull());
    EXPECT_TRUE(make(layout(1, 1, 32, 1), {0, 0, 0, 0}, zeta::platform::BitmapFormatFloatingPointSamples).isNull());
}

TEST(Picture, RepresentationsAndFirstBitmap) {
    zeta::platform::Picture empty;
    EXPECT_TRUE(empty.representations().empty());
    EXPECT_EQ(empty.firstBitmapImageRep(), nullptr);
    auto a = BitmapImageRep::withLayout(layout(1, 1, 8, 1));
    auto b = BitmapImageRep::withLayout(layout(2, 2, 8, 1));
    zeta::platform::Picture picture(a);
    picture.addRepresentation(nullptr);
    picture.addRepresentation(b);
    EXPECT_EQ(picture.representations().size(), 2u);
    EXPECT_EQ(picture.firstBitmapImageRep(), a);
}
