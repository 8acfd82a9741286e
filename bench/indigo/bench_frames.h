#pragma once
// What the benchmark driver sends, made the same way by the driver and by the benchmarks that
// check what arrived: frames of pseudo-random bytes (incompressible, the same for a size),
// base64 encoded on one line as a driver on a pipe writes them, or beside the message in
// shared memory as a driver on a local socket hands them over.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zeta::bench {

inline constexpr const char* kDriverDevice = "Bench Driver";

inline std::vector<std::uint8_t> frameBytes(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    std::uint64_t state = 0x9E3779B97F4A7C15ull ^ size;
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        for (int k = 0; k < 8; ++k)
            bytes[i + static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(state >> (8 * k));
    }
    for (; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(i);
    return bytes;
}

inline std::string plainBase64(const std::vector<std::uint8_t>& bytes) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const std::uint32_t group = (std::uint32_t{bytes[i]} << 16) | (std::uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
        out += kAlphabet[group >> 18];
        out += kAlphabet[(group >> 12) & 63];
        out += kAlphabet[(group >> 6) & 63];
        out += kAlphabet[group & 63];
    }
    if (const std::size_t left = bytes.size() - i; left > 0) {
        std::uint32_t group = std::uint32_t{bytes[i]} << 16;
        if (left == 2) group |= std::uint32_t{bytes[i + 1]} << 8;
        out += kAlphabet[group >> 18];
        out += kAlphabet[(group >> 12) & 63];
        out += left == 2 ? kAlphabet[(group >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

// The text of one frame message, as the driver writes it.
inline std::string frameMessage(std::size_t size) {
    std::string text = "<setBLOBVector device=\"" + std::string(kDriverDevice) +
                       "\" name=\"IMAGE\" state=\"Ok\"><oneBLOB name=\"DATA\" size=\"" + std::to_string(size) +
                       "\" format=\".fits\" len=\"" + std::to_string(size) + "\">";
    text += plainBase64(frameBytes(size));
    text += "</oneBLOB></setBLOBVector>\n";
    return text;
}

// The text of one frame message whose bytes go beside it in shared memory.
inline std::string sharedFrameMessage(std::size_t size) {
    return "<setBLOBVector device=\"" + std::string(kDriverDevice) +
           "\" name=\"IMAGE\" state=\"Ok\"><oneBLOB name=\"DATA\" size=\"" + std::to_string(size) +
           "\" format=\".fits\" len=\"" + std::to_string(size) + "\" attached=\"true\"></oneBLOB></setBLOBVector>\n";
}

} // namespace zeta::bench
