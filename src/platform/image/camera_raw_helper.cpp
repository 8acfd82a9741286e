// zeta-camera-raw: decodes one camera raw file (NEF, ARW, CR2, DNG and the other formats
// LibRaw knows) for the camera-raw decoder, in a process of its own, because the library
// can fault on damaged files.
//
// Reads the whole file from standard input. On success writes "ZRAW", then width and height
// (32-bit), colours (1 or 3) and bits (16) as 16-bit words, all in the machine's byte order,
// then width x height x colours 16-bit samples (demosaiced with the camera's white balance),
// and exits with 0. Anything else exits with 1.

#include "platform/image/helper_child.h"

#include <cstdint>
#include <cstring>
#include <libraw/libraw.h>
#include <memory>
#include <vector>

namespace {

struct ImageFree {
    void operator()(libraw_processed_image_t* image) const { LibRaw::dcraw_clear_mem(image); }
};

} // namespace

int main() {
    using namespace zeta::platform::helper_child;
    limitResources(120, rlim_t(6) << 30);
    std::vector<std::uint8_t> input;
    if (!readStandardInput(input)) return 1;

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
    if (!writeStandardOutput(header, sizeof header) || !writeStandardOutput(image->data, bytes)) return 1;
    return 0;
}
