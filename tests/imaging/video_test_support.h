#pragma once
// Shared by the video writer tests: a folder of the test's own, the writers' message lines
// caught, frames made of chosen bytes, and a small reader of SER files written independently
// of the writer.

#include "imaging/video_log.h"
#include "platform/image/data.h"
#include "platform/image/picture.h"
#include "test_decoders.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <mutex>
#include <string>
#include <unistd.h>
#include <vector>

// A folder of the running test's own, removed afterwards; catches the writers' message lines.
class VideoTest : public ::testing::Test {
protected:
    void SetUp() override {
        registerDecoders();
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = std::filesystem::temp_directory_path() / ("zeta_video_" + std::string(info->test_suite_name()) + "_" +
                                                           info->name() + "_" + std::to_string(::getpid()));
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        zeta::imaging::video::setMessageSink([this](const std::string& text) {
            std::lock_guard guard(linesLock);
            lines.push_back(text);
        });
    }
    void TearDown() override {
        zeta::imaging::video::setMessageSink(nullptr);
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

    std::vector<std::string> messages() {
        std::lock_guard guard(linesLock);
        return lines;
    }
    // The number of message lines that contain the text.
    int messagesWith(const std::string& text) {
        int n = 0;
        for (const auto& line : messages())
            n += line.find(text) != std::string::npos;
        return n;
    }

    std::filesystem::path folder;
    std::mutex linesLock;
    std::vector<std::string> lines;
};

// Pixel bytes that differ from frame to frame and along every row.
inline std::vector<std::uint8_t> patternBytes(std::size_t count, unsigned seed) {
    std::vector<std::uint8_t> bytes(count);
    std::uint32_t state = 2654435761u * (seed + 1);
    for (auto& b : bytes) {
        state = state * 1664525u + 1013904223u;
        b = static_cast<std::uint8_t>(state >> 24);
    }
    return bytes;
}

inline zeta::platform::Data fileData(const char* name) {
    return zeta::platform::Data::contentsOfFile((std::string(ZETA_SOURCE_DIR "/tests/data/imaging/") + name).c_str());
}

// The pixels of the first bitmap the platform decodes from the bytes, rows packed.
inline std::vector<std::uint8_t> decodedPixels(const zeta::platform::Data& data) {
    const auto picture = zeta::platform::Picture::withData(data);
    const auto rep = picture ? picture->firstBitmapImageRep() : nullptr;
    if (!rep) return {};
    const auto rowBytes = static_cast<std::size_t>(rep->pixelsWide() * rep->bytesPerPixel());
    std::vector<std::uint8_t> pixels;
    for (std::int64_t y = 0; y < rep->pixelsHigh(); ++y) {
        const auto* row = rep->bitmapData() + y * rep->bytesPerRow();
        pixels.insert(pixels.end(), row, row + rowBytes);
    }
    return pixels;
}

inline std::vector<std::uint8_t> fileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A SER file as read by the test: the header fields and the frames after it.
struct SerFile {
    bool valid = false;
    std::string fileID;
    std::int32_t luID = -1, colorID = -1, littleEndian = -1;
    std::uint32_t width = 0, height = 0, depth = 0, frameCount = 0;
    bool textFieldsZero = false;
    std::int64_t dateTime = 0, dateTimeUTC = 0;
    std::size_t bytesPerPixel = 0;
    std::vector<std::vector<std::uint8_t>> frames;
    std::size_t trailingBytes = 0; // bytes after the last whole frame
};

inline SerFile readSer(const std::filesystem::path& path) {
    SerFile ser;
    const auto bytes = fileBytes(path);
    if (bytes.size() < 178) return ser;
    const auto u32 = [&](std::size_t at) {
        return std::uint32_t(bytes[at]) | std::uint32_t(bytes[at + 1]) << 8 | std::uint32_t(bytes[at + 2]) << 16 |
               std::uint32_t(bytes[at + 3]) << 24;
    };
    const auto i64 = [&](std::size_t at) {
        return std::int64_t(std::uint64_t(u32(at)) | std::uint64_t(u32(at + 4)) << 32);
    };
    ser.fileID.assign(bytes.begin(), bytes.begin() + 14);
    ser.luID = std::int32_t(u32(14));
    ser.colorID = std::int32_t(u32(18));
    ser.littleEndian = std::int32_t(u32(22));
    ser.width = u32(26);
    ser.height = u32(30);
    ser.depth = u32(34);
    ser.frameCount = u32(38);
    ser.textFieldsZero = std::all_of(bytes.begin() + 42, bytes.begin() + 162, [](std::uint8_t b) { return b == 0; });
    ser.dateTime = i64(162);
    ser.dateTimeUTC = i64(170);
    const std::size_t planes = ser.colorID >= 100 ? 3 : 1;
    ser.bytesPerPixel = planes * (ser.depth > 8 ? 2 : 1);
    const std::size_t frameBytes = std::size_t(ser.width) * ser.height * ser.bytesPerPixel;
    std::size_t at = 178;
    while (frameBytes > 0 && at + frameBytes <= bytes.size()) {
        ser.frames.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                bytes.begin() + static_cast<std::ptrdiff_t>(at + frameBytes));
        at += frameBytes;
    }
    ser.trailingBytes = bytes.size() - at;
    ser.valid = true;
    return ser;
}
