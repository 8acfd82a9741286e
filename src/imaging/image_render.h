#pragma once
// The display rendering of a frame: every sample stretched linearly between a black and a
// white point into 8-bit RGB, grey layouts with saturated samples (255, 65535) painted pure
// red as a clipping warning.

#include "imaging/pixel_layout.h"
#include "platform/image/bitmap_image_rep.h"

#include <cstdint>

// The 8-bit value of sample v: 0 when white <= black, else (v - black) / ((white - black) /
// 256) clamped to 0..255 and truncated.
std::uint8_t stretchedValue(std::int64_t v, std::int64_t black, std::int64_t white);

// Writes 3 x width x height bytes (red, green, blue per pixel, rows packed) for an
// interleaved bitmap with pixel data; for other layouts the output is black.
void renderStretched(const zeta::platform::BitmapImageRep& rep, std::int64_t black, std::int64_t white,
                     std::uint8_t* rgb);
