#pragma once
// FITS files made in memory for tests and benchmarks: a header of 80-character cards and
// big-endian data, each padded to 2880-byte records.

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace fits_bytes {

inline std::string card(const std::string& key, const std::string& value) {
    std::string c = key;
    c.resize(8, ' ');
    c += "= ";
    std::string v = value;
    if (v.size() < 20 && !v.empty() && v[0] != '\'') v.insert(0, 20 - v.size(), ' ');
    c += v;
    c.resize(80, ' ');
    return c;
}

inline void pad(std::vector<std::uint8_t>& bytes, std::uint8_t fill) {
    while (bytes.size() % 2880 != 0)
        bytes.push_back(fill);
}

// A header: "SIMPLE = T" (or the given first card), then the cards, then END, padded.
inline std::vector<std::uint8_t> header(const std::vector<std::pair<std::string, std::string>>& cards,
                                        bool primary = true) {
    std::string text = primary ? card("SIMPLE", "T") : card("XTENSION", "'IMAGE   '");
    for (const auto& [key, value] : cards)
        text += card(key, value);
    std::string end = "END";
    end.resize(80, ' ');
    text += end;
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    pad(bytes, ' ');
    return bytes;
}

// Appends values as big-endian integers of the given byte width, then pads the record.
template <class T>
void appendData(std::vector<std::uint8_t>& bytes, const std::vector<T>& values, int width) {
    for (const T value : values) {
        const auto v = static_cast<std::uint64_t>(static_cast<std::int64_t>(value));
        for (int b = width - 1; b >= 0; --b)
            bytes.push_back(static_cast<std::uint8_t>(v >> (8 * b)));
    }
    pad(bytes, 0);
}

inline void appendFloats(std::vector<std::uint8_t>& bytes, const std::vector<float>& values) {
    for (const float f : values) {
        std::uint32_t v;
        std::memcpy(&v, &f, 4);
        for (int b = 3; b >= 0; --b)
            bytes.push_back(static_cast<std::uint8_t>(v >> (8 * b)));
    }
    pad(bytes, 0);
}

// A primary image of unsigned 16-bit values stored the usual way: signed with BZERO 32768.
inline std::vector<std::uint8_t> unsigned16(long width, long height, const std::vector<std::uint16_t>& values) {
    auto bytes = header({{"BITPIX", "16"},
                         {"NAXIS", "2"},
                         {"NAXIS1", std::to_string(width)},
                         {"NAXIS2", std::to_string(height)},
                         {"BZERO", "32768"},
                         {"BSCALE", "1"}});
    std::vector<std::int32_t> stored(values.begin(), values.end());
    for (auto& v : stored)
        v -= 32768;
    appendData(bytes, stored, 2);
    return bytes;
}

} // namespace fits_bytes
