// Camera files decoded from memory as they arrive from the camera, against the decoding
// libraries' own command-line tools on the same file in a tmpfs: a 6000 x 4000 DNG against
// LibRaw's dcraw_emu with the same settings (camera white balance, 16 bits), a 6000 x 4000
// JPEG against libjpeg-turbo's djpeg. Each tool writes a PPM, which is checked equal to
// Zeta's pixels sample for sample.

#include "platform/image/bitmap_image_rep.h"
#include "platform/image/data.h"
#include "platform/image/image_rep.h"
#include "platform/image/tiff_bytes.h"
#include "support/bench_figures.h"
#include "support/run_program.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t kWidth = 6000;
constexpr std::uint32_t kHeight = 4000;
const zeta::bench::Settle kSettle{5, 101, 30, 0.02};

std::vector<std::uint8_t> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// The samples of a binary PPM (8-bit, or 16-bit big-endian) as 16-bit values; empty when the
// file is not one of width x height pixels.
std::vector<std::uint16_t> ppmSamples(const std::vector<std::uint8_t>& ppm, std::uint32_t width, std::uint32_t height) {
    std::istringstream header(std::string(ppm.begin(), ppm.begin() + std::min<std::size_t>(ppm.size(), 64)));
    std::string magic;
    std::uint32_t w = 0, h = 0, max = 0;
    if (!(header >> magic >> w >> h >> max) || magic != "P6" || w != width || h != height) return {};
    const auto start = static_cast<std::size_t>(header.tellg()) + 1;
    const std::size_t n = std::size_t(3) * w * h;
    const std::size_t sampleBytes = max > 255 ? 2 : 1;
    if (ppm.size() != start + n * sampleBytes) return {};
    std::vector<std::uint16_t> samples(n);
    for (std::size_t i = 0; i < n; ++i)
        samples[i] =
            sampleBytes == 2 ? std::uint16_t(ppm[start + 2 * i] << 8 | ppm[start + 2 * i + 1]) : ppm[start + i];
    return samples;
}

// The samples of an interleaved 8- or 16-bit bitmap.
std::vector<std::uint16_t> bitmapSamples(const zeta::platform::BitmapImageRep& rep) {
    const std::size_t n = static_cast<std::size_t>(rep.pixelsWide() * rep.pixelsHigh() * rep.samplesPerPixel());
    std::vector<std::uint16_t> samples(n);
    const std::size_t perRow = static_cast<std::size_t>(rep.pixelsWide() * rep.samplesPerPixel());
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t* row = rep.bitmapData() + static_cast<std::int64_t>(i / perRow) * rep.bytesPerRow();
        const std::size_t k = i % perRow;
        if (rep.bitsPerSample() == 16) {
            std::memcpy(&samples[i], row + 2 * k, 2);
        } else {
            samples[i] = row[k];
        }
    }
    return samples;
}

// A textured picture: gradients, stripes and noise, so the encoder has detail to keep.
std::vector<std::uint8_t> picturePpm() {
    std::string header = "P6\n" + std::to_string(kWidth) + " " + std::to_string(kHeight) + "\n255\n";
    std::vector<std::uint8_t> ppm(header.begin(), header.end());
    std::uint32_t state = 1;
    ppm.reserve(ppm.size() + std::size_t(3) * kWidth * kHeight);
    for (std::uint32_t y = 0; y < kHeight; ++y)
        for (std::uint32_t x = 0; x < kWidth; ++x) {
            state = state * 1664525u + 1013904223u;
            const std::uint32_t noise = state >> 28;
            ppm.push_back(static_cast<std::uint8_t>(x * 255 / kWidth + noise));
            ppm.push_back(static_cast<std::uint8_t>(y * 255 / kHeight));
            ppm.push_back(static_cast<std::uint8_t>(((x / 7 + y / 5) % 2) * 128 + noise * 4));
        }
    return ppm;
}

std::shared_ptr<zeta::platform::BitmapImageRep> decode(const zeta::platform::ImageRepClass& decoder,
                                                       const zeta::platform::Data& data) {
    const auto reps = decoder.imageRepsWithData(data, nullptr);
    return reps.empty() ? nullptr : std::dynamic_pointer_cast<zeta::platform::BitmapImageRep>(reps.front());
}

} // namespace

int main() {
    const auto folder = std::filesystem::path("/dev/shm") / ("zeta_bench_camera_files_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    int status = 0;
    const auto fail = [&](const std::string& what) {
        std::fprintf(stderr, "bench_camera_files: %s\n", what.c_str());
        status = 1;
    };

    struct Case {
        const char* name;
        const char* file;
        zeta::platform::ImageRepClass decoder;
        std::vector<std::string> peer;
        double target;
    };
    const auto dng = folder / "frame.dng";
    const auto jpeg = folder / "picture.jpg";
    writeFile(dng, tiff_bytes::dng(kWidth, kHeight));
    writeFile(folder / "picture.ppm", picturePpm());
    if (!zeta::bench::runProgram(
            {"cjpeg", "-quality", "92", "-outfile", jpeg.string(), (folder / "picture.ppm").string()}))
        fail("cjpeg failed");
    const auto output = folder / "peer.ppm";
    const std::vector<Case> cases = {
        {"imaging_dng_decode",
         "frame.dng",
         zeta::platform::cameraRawImageRepClass(),
         {"dcraw_emu", "-6", "-w", "-Z", output.string(), dng.string()},
         1.0},
        {"imaging_jpeg_decode",
         "picture.jpg",
         zeta::platform::jpegImageRepClass(),
         {"djpeg", "-ppm", "-outfile", output.string(), jpeg.string()},
         1.0},
    };
    for (const auto& c : cases) {
        const auto data = zeta::platform::Data::contentsOfFile((folder / c.file).c_str());
        bool decoded = true, ran = true;
        const zeta::bench::PairMs pair = zeta::bench::medianPairMs(
            [&] { decoded = decode(c.decoder, data) && decoded; },
            [&] { ran = zeta::bench::runProgram(c.peer) && ran; }, [&] { std::filesystem::remove(output); }, kSettle);
        const auto rep = decode(c.decoder, data);
        if (!decoded || !rep) {
            fail(std::string(c.name) + ": Zeta did not decode the file");
            continue;
        }
        if (!ran || !zeta::bench::runProgram(c.peer)) {
            fail(std::string(c.name) + ": " + c.peer.front() + " failed");
            continue;
        }
        const auto theirs = ppmSamples(readFile(output), kWidth, kHeight);
        if (theirs.empty() || theirs != bitmapSamples(*rep)) fail(std::string(c.name) + ": the pixels differ");
        zeta::bench::printLine(c.name, pair, c.target);
    }
    std::filesystem::remove_all(folder);
    return status;
}
