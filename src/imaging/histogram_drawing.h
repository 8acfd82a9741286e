#pragma once
// The drawing of a 256-bin histogram: a 256 x 128 picture (32-bit RGBA, alpha last, not
// premultiplied) in which the area under the curve through (level, ln(count + 1) / k + 1),
// k = (ln(largest count + 1) - 1) / 127, down to y = 0 is filled black on a transparent
// background, y upward, edges antialiased. Parts of the curve outside the picture are
// clipped.

#include "platform/image/picture.h"

#include <array>
#include <cstdint>
#include <memory>

std::shared_ptr<zeta::platform::Picture> drawHistogram(const std::array<std::int64_t, 256>& histo);
