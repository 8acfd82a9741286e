#pragma once
// The five pixel layouts the frame model analyses and renders, told apart by bits per pixel
// as the platform bitmaps carry them.

#include "platform/image/bitmap_image_rep.h"

#include <cstdint>

enum class PixelLayout {
    Grey8,  // 8 bits per pixel: one byte
    Grey16, // 16: one 16-bit sample
    RGB24,  // 24: red, green, blue bytes
    RGB32,  // 32: red, green, blue bytes and an alpha or filler byte (first when alpha-first)
    RGB48,  // 48: red, green, blue 16-bit samples
    Other,  // anything else (floating-point samples included): stored, not analysed
};

PixelLayout pixelLayoutOf(const zeta::platform::BitmapImageRep& rep);

inline bool isSixteenBitLayout(PixelLayout layout) {
    return layout == PixelLayout::Grey16 || layout == PixelLayout::RGB48;
}
inline bool isColourLayout(PixelLayout layout) {
    return layout == PixelLayout::RGB24 || layout == PixelLayout::RGB32 || layout == PixelLayout::RGB48;
}
// Offset of the red byte within a 32-bit pixel: 1 when the alpha byte comes first.
inline int colourOffset32(const zeta::platform::BitmapImageRep& rep) {
    return (rep.bitmapFormat() & zeta::platform::BitmapFormatAlphaFirst) ? 1 : 0;
}
