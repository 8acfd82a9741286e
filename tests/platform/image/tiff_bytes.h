#pragma once
// Little TIFF files made in memory for tests: a plain 8-bit grey TIFF, and a DNG holding an
// uncompressed 16-bit RGGB sensor image.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace tiff_bytes {

struct Entry {
    std::uint16_t tag, type;
    std::uint32_t count;
    std::vector<std::uint8_t> data;
};

class Writer {
public:
    // type 1 BYTE, 2 ASCII, 3 SHORT, 4 LONG, 5 RATIONAL, 10 SRATIONAL (values in pairs)
    void add(std::uint16_t tag, std::uint16_t type, const std::vector<std::uint32_t>& values) {
        Entry e{tag, type, static_cast<std::uint32_t>(type == 5 || type == 10 ? values.size() / 2 : values.size()), {}};
        for (const auto v : values) {
            if (type == 1 || type == 2) {
                e.data.push_back(static_cast<std::uint8_t>(v));
            } else if (type == 3) {
                put16(e.data, v);
            } else {
                put32(e.data, v);
            }
        }
        entries_.push_back(e);
    }
    void addText(std::uint16_t tag, const std::string& text) {
        std::vector<std::uint32_t> v(text.begin(), text.end());
        v.push_back(0);
        add(tag, 2, v);
    }
    // The file: header, one IFD, its out-of-line values, then the pixels (StripOffsets, tag
    // 273, is filled in).
    std::vector<std::uint8_t> build(const std::vector<std::uint8_t>& pixels) {
        std::sort(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
        const std::uint32_t ifdSize = 2 + static_cast<std::uint32_t>(entries_.size()) * 12 + 4;
        std::uint32_t extraAt = 8 + ifdSize;
        std::vector<std::uint8_t> ifd, extra;
        put16(ifd, static_cast<std::uint32_t>(entries_.size()));
        std::size_t stripOffsetAt = 0;
        for (const auto& e : entries_) {
            put16(ifd, e.tag);
            put16(ifd, e.type);
            put32(ifd, e.count);
            if (e.data.size() <= 4) {
                if (e.tag == 273) stripOffsetAt = ifd.size();
                auto d = e.data;
                d.resize(4, 0);
                ifd.insert(ifd.end(), d.begin(), d.end());
            } else {
                put32(ifd, extraAt + static_cast<std::uint32_t>(extra.size()));
                extra.insert(extra.end(), e.data.begin(), e.data.end());
                if (extra.size() % 2) extra.push_back(0);
            }
        }
        put32(ifd, 0);
        const std::uint32_t pixelsAt = extraAt + static_cast<std::uint32_t>(extra.size());
        std::memcpy(&ifd[stripOffsetAt], &pixelsAt, 4);
        std::vector<std::uint8_t> file = {'I', 'I', 42, 0, 8, 0, 0, 0};
        file.insert(file.end(), ifd.begin(), ifd.end());
        file.insert(file.end(), extra.begin(), extra.end());
        file.insert(file.end(), pixels.begin(), pixels.end());
        return file;
    }

private:
    static void put16(std::vector<std::uint8_t>& b, std::uint32_t v) {
        b.push_back(static_cast<std::uint8_t>(v));
        b.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    static void put32(std::vector<std::uint8_t>& b, std::uint32_t v) {
        put16(b, v & 0xFFFF);
        put16(b, v >> 16);
    }
    std::vector<Entry> entries_;
};

// A DNG of width x height 16-bit RGGB samples from the camera "Zeta" "Test DNG".
inline std::vector<std::uint8_t> dng(std::uint32_t width, std::uint32_t height) {
    Writer w;
    w.add(254, 4, {0});
    w.add(256, 4, {width});
    w.add(257, 4, {height});
    w.add(258, 3, {16});
    w.add(259, 3, {1});
    w.add(262, 3, {32803}); // colour filter array
    w.addText(271, "Zeta");
    w.addText(272, "Test DNG");
    w.add(273, 4, {0});
    w.add(277, 3, {1});
    w.add(278, 4, {height});
    w.add(279, 4, {width * height * 2});
    w.add(284, 3, {1});
    w.add(33421, 3, {2, 2});
    w.add(33422, 1, {0, 1, 1, 2});
    w.add(50706, 1, {1, 4, 0, 0});
    w.add(50707, 1, {1, 1, 0, 0});
    w.addText(50708, "Zeta Test DNG");
    w.add(50717, 4, {65535});
    w.add(50721, 10,
          {10000, 10000, 0, 10000, 0, 10000, 0, 10000, 10000, 10000, 0, 10000, 0, 10000, 0, 10000, 10000, 10000});
    w.add(50728, 5, {1, 1, 1, 1, 1, 1});
    w.add(50778, 3, {21});
    std::vector<std::uint8_t> pixels;
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint32_t v = 1000 + 300 * x + ((x % 2) + (y % 2)) * 5000;
            pixels.push_back(static_cast<std::uint8_t>(v));
            pixels.push_back(static_cast<std::uint8_t>(v >> 8));
        }
    return w.build(pixels);
}

// A plain 8-bit grey TIFF (no camera): an ordinary picture.
inline std::vector<std::uint8_t> plainTiff(std::uint32_t width, std::uint32_t height) {
    Writer w;
    w.add(256, 4, {width});
    w.add(257, 4, {height});
    w.add(258, 3, {8});
    w.add(259, 3, {1});
    w.add(262, 3, {1});
    w.add(273, 4, {0});
    w.add(277, 3, {1});
    w.add(278, 4, {height});
    w.add(279, 4, {width * height});
    return w.build(std::vector<std::uint8_t>(width * height, 128));
}

} // namespace tiff_bytes
