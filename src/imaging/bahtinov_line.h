#pragma once
// One spike of a Bahtinov-mask pattern: a segment across the analysed rectangle, its mean
// brightness and its direction.

#include <cstdint>

struct BahtinovLine {
    std::int64_t x1 = 0, y1 = 0; // first end point
    std::int64_t x2 = 0, y2 = 0; // second end point
    double score = 0;            // mean brightness of the segment's outer thirds
    double angle = 0;            // radians, in [0, pi)
};
