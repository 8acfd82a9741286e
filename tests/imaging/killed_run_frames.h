#pragma once
// The frames a killed capture run writes, shared by the writer process and the test that
// kills it: small "RAW3" frames, so that a whole run fits in less than one write buffer.

#include <cstdint>
#include <cstring>
#include <vector>

namespace killed_run {

constexpr std::uint32_t kWidth = 40;
constexpr std::uint32_t kHeight = 30;

// Frame i's pixels, blue, green, red; different in every frame and along every row.
inline std::vector<std::uint8_t> pixels(unsigned i) {
    std::vector<std::uint8_t> bytes(std::size_t(kWidth) * kHeight * 3);
    for (std::size_t j = 0; j < bytes.size(); ++j)
        bytes[j] = static_cast<std::uint8_t>(j * 7 + i * 31 + (j >> 5));
    return bytes;
}

// Frame i as the bus delivers it.
inline std::vector<std::uint8_t> rawFrame(unsigned i) {
    const auto body = pixels(i);
    std::vector<std::uint8_t> bytes(12 + body.size());
    std::memcpy(bytes.data(), "RAW3", 4);
    std::memcpy(bytes.data() + 4, &kWidth, 4);
    std::memcpy(bytes.data() + 8, &kHeight, 4);
    std::memcpy(bytes.data() + 12, body.data(), body.size());
    return bytes;
}

} // namespace killed_run
