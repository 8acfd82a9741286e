#pragma once
// Raw frames for the tests, decoded by the shipped INDIGO::RawImageRep.

#include "platform/image/data.h"

#include <cstring>
#include <memory>
#include <vector>

// A raw frame's bytes.
inline zeta::platform::Data rawFrame(const char* signature, std::uint32_t width, std::uint32_t height,
                                     const std::vector<std::uint8_t>& pixels) {
    std::vector<std::uint8_t> bytes(12 + pixels.size());
    std::memcpy(bytes.data(), signature, 4);
    std::memcpy(bytes.data() + 4, &width, 4);
    std::memcpy(bytes.data() + 8, &height, 4);
    if (!pixels.empty()) std::memcpy(bytes.data() + 12, pixels.data(), pixels.size());
    return zeta::platform::Data(std::move(bytes));
}
