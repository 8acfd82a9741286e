#include "imaging/pixel_layout.h"

PixelLayout pixelLayoutOf(const zeta::platform::BitmapImageRep& rep) {
    // Floating-point samples share bit counts with the integer layouts but not their meaning.
    if (rep.bitmapFormat() & zeta::platform::BitmapFormatFloatingPointSamples) return PixelLayout::Other;
    const int bps = rep.bitsPerSample();
    const int spp = rep.samplesPerPixel();
    switch (rep.bitsPerPixel()) {
    case 8:
        return bps == 8 ? PixelLayout::Grey8 : PixelLayout::Other;
    case 16:
        return bps == 16 && spp == 1 ? PixelLayout::Grey16 : PixelLayout::Other;
    case 24:
        return bps == 8 && spp == 3 ? PixelLayout::RGB24 : PixelLayout::Other;
    case 32:
        return bps == 8 && (spp == 3 || spp == 4) ? PixelLayout::RGB32 : PixelLayout::Other;
    case 48:
        return bps == 16 && spp == 3 ? PixelLayout::RGB48 : PixelLayout::Other;
    default:
        return PixelLayout::Other;
    }
}
