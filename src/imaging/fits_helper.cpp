// zeta-fits-helper: decompresses one tile-compressed FITS image for the FITS decoder, in a
// process of its own, because the library's decompressors read past damaged tiles.
//
// Reads the FITS bytes from standard input. On success writes "ZFIT", width and height
// (32-bit), bits per sample and samples per pixel (16-bit), all in the machine's byte order,
// then the pixels as the decoder lays them out, and exits with 0. Anything else exits with 1.

#include "imaging/fits_image_rep.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

bool writeAll(const void* bytes, std::size_t length) {
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    while (length > 0) {
        const ssize_t n = ::write(STDOUT_FILENO, p, length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        length -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

int main() {
    const rlimit cpu{60, 60};
    setrlimit(RLIMIT_CPU, &cpu);
    std::vector<std::uint8_t> input;
    std::uint8_t chunk[1 << 16];
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return 1;
        if (n == 0) break;
        input.insert(input.end(), chunk, chunk + n);
    }
    const FITSIO::FITSImageRep rep(platform::Data(std::move(input)), FITSIO::FITSImageRep::Decompression::InProcess);
    if (!rep.bitmapData()) return 1;
    std::uint8_t header[16] = {'Z', 'F', 'I', 'T'};
    const std::uint32_t size[2] = {static_cast<std::uint32_t>(rep.pixelsWide()), static_cast<std::uint32_t>(rep.pixelsHigh())};
    const std::uint16_t format[2] = {static_cast<std::uint16_t>(rep.bitsPerSample()),
                                     static_cast<std::uint16_t>(rep.samplesPerPixel())};
    std::memcpy(header + 4, size, 8);
    std::memcpy(header + 12, format, 4);
    return writeAll(header, sizeof header) && writeAll(rep.bitmapData(), static_cast<std::size_t>(rep.bytesPerPlane())) ? 0 : 1;
}
