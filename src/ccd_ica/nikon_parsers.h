#pragma once
// The two answers of a Nikon body that carry their own layout: the events CheckEvent hands
// over, and the header in front of each live-view JPEG. Both read only the bytes given.

#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace zeta::ccd_ica {

// CheckEvent: a u16 count, then {u16 code, u32 parameter} records (little-endian). Only the
// complete records the bytes hold are returned, never more than the count announces.
std::vector<std::pair<uint16_t, uint32_t>> parseNikonEvents(std::span<const uint8_t> data);

struct NikonLiveViewFrame {
    std::size_t headerSize; // 64, 128 or 384; the JPEG starts here
    int32_t left, top, width, height;
};

// Finds the JPEG start (FF D8) at 64, then 128, then 384 and reads the shown area (big-endian
// u16 width, height and centre) from the header; none without a JPEG start or when the header
// is too short for its fields.
std::optional<NikonLiveViewFrame> parseNikonLiveView(std::span<const uint8_t> data);

} // namespace zeta::ccd_ica
