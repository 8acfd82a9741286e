#include "ccd_ica/nikon_parsers.h"

namespace zeta::ccd_ica {
namespace {

uint16_t le16(std::span<const uint8_t> d, std::size_t at) {
    return static_cast<uint16_t>(d[at] | (d[at + 1] << 8));
}
uint32_t le32(std::span<const uint8_t> d, std::size_t at) {
    return static_cast<uint32_t>(d[at]) | (static_cast<uint32_t>(d[at + 1]) << 8) |
           (static_cast<uint32_t>(d[at + 2]) << 16) | (static_cast<uint32_t>(d[at + 3]) << 24);
}
int32_t be16(std::span<const uint8_t> d, std::size_t at) {
    return (d[at] << 8) | d[at + 1];
}

} // namespace

std::vector<std::pair<uint16_t, uint32_t>> parseNikonEvents(std::span<const uint8_t> data) {
    std::vector<std::pair<uint16_t, uint32_t>> events;
    if (data.size() < 2) return events;
    const std::size_t count = le16(data, 0);
    constexpr std::size_t kRecord = 6;
    for (std::size_t i = 0, at = 2; i < count && at + kRecord <= data.size(); ++i, at += kRecord)
        events.emplace_back(le16(data, at), le32(data, at + 2));
    return events;
}

std::optional<NikonLiveViewFrame> parseNikonLiveView(std::span<const uint8_t> data) {
    for (const std::size_t header : {std::size_t{64}, std::size_t{128}, std::size_t{384}}) {
        if (data.size() < header + 2 || data[header] != 0xFF || data[header + 1] != 0xD8) continue;
        // The 384-byte header of some bodies starts 00 00 01 78 and keeps its fields 8 bytes later.
        const bool shifted = header == 384 && data[0] == 0x00 && data[1] == 0x00 && data[2] == 0x01 && data[3] == 0x78;
        const std::size_t at = shifted ? 16 : 8;
        const int32_t w = be16(data, at), h = be16(data, at + 2);
        const int32_t x = be16(data, at + 4), y = be16(data, at + 6);
        return NikonLiveViewFrame{header, x - w / 2, y - h / 2, w, h};
    }
    return std::nullopt;
}

} // namespace zeta::ccd_ica
