// zeta-camera-raw: decodes one camera raw file (NEF, ARW, CR2, DNG and the other formats
// LibRaw knows) for the camera-raw decoder, in a process of its own, because the library
// can fault on damaged files.
//
// Reads the whole file from standard input. On success writes "ZRAW", then width and height
// (32-bit), colours (1 or 3) and bits (16) as 16-bit words, all in the machine's byte order,
// then width x height x colours 16-bit samples (demosaiced with the camera's white balance),
// and exits with 0. Anything else exits with 1.

#include <libraw/libraw.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

// Sanitizers reserve terabytes of address space for themselves: no address-space limit then.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ZETA_LIMIT_ADDRESS_SPACE 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define ZETA_LIMIT_ADDRESS_SPACE 0
#endif
#endif
#ifndef ZETA_LIMIT_ADDRESS_SPACE
#define ZETA_LIMIT_ADDRESS_SPACE 1
#endif

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

struct ImageFree {
    void operator()(libraw_processed_image_t* image) const { LibRaw::dcraw_clear_mem(image); }
};

}  // namespace

int main() {
    // A damaged file must not take the machine's memory or time with it.
#if ZETA_LIMIT_ADDRESS_SPACE
    const rlimit memory{std::size_t(6) << 30, std::size_t(6) << 30};
    setrlimit(RLIMIT_AS, &memory);
#endif
    const rlimit cpu{120, 120};
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

    auto raw = std::make_unique<LibRaw>(LIBRAW_OPTIONS_NONE);
    raw->imgdata.params.max_raw_memory_mb = 2048;
    if (input.empty() || raw->open_buffer(input.data(), input.size()) != LIBRAW_SUCCESS) return 1;
    raw->imgdata.params.output_bps = 16;
    raw->imgdata.params.use_camera_wb = 1;
    if (raw->unpack() != LIBRAW_SUCCESS || raw->dcraw_process() != LIBRAW_SUCCESS) return 1;
    int error = 0;
    std::unique_ptr<libraw_processed_image_t, ImageFree> image(raw->dcraw_make_mem_image(&error));
    if (!image || error != LIBRAW_SUCCESS || image->type != LIBRAW_IMAGE_BITMAP || image->bits != 16 ||
        (image->colors != 1 && image->colors != 3))
        return 1;
    const std::uint64_t bytes = std::uint64_t(image->width) * image->height * image->colors * 2;
    if (image->data_size < bytes) return 1;
    std::uint8_t header[16] = {'Z', 'R', 'A', 'W'};
    const std::uint32_t size[2] = {image->width, image->height};
    const std::uint16_t format[2] = {static_cast<std::uint16_t>(image->colors), 16};
    std::memcpy(header + 4, size, 8);
    std::memcpy(header + 12, format, 4);
    if (!writeAll(header, sizeof header) || !writeAll(image->data, bytes)) return 1;
    return 0;
}
