// Camera raw files (NEF, ARW, CR2, DNG and the other formats LibRaw knows) decoded from
// memory: demosaiced with the camera's white balance into 16-bit RGB (48 bits per pixel),
// or 16-bit grey for monochrome sensors.

#include "platform/image/bitmap_image_rep.h"
#include "platform/image/image_rep.h"

#include <libraw/libraw.h>

#include <cstring>
#include <memory>
#include <string_view>

namespace platform {
namespace {

// Signatures of the containers raw files come in; anything else is not offered to LibRaw,
// whose identification also guesses headerless formats from the file size alone.
bool hasRawSignature(const Data& data) {
    const auto at = [&](std::size_t offset, std::string_view text) {
        return data.length() >= offset + text.size() && std::memcmp(data.bytes() + offset, text.data(), text.size()) == 0;
    };
    using namespace std::string_view_literals;
    return at(0, "II*\0"sv) || at(0, "MM\0*"sv)         // TIFF-based: NEF, ARW, CR2, DNG, PEF, ...
           || at(0, "IIRO"sv) || at(0, "IIRS"sv) || at(0, "MMOR"sv)  // ORF
           || at(0, "IIU\0"sv)                           // RW2
           || at(0, "FUJIFILM"sv)                        // RAF
           || at(6, "HEAPCCDR"sv)                        // CRW
           || at(4, "ftypcrx "sv)                        // CR3
           || at(0, "\0MRM"sv)                           // MRW
           || at(0, "FOVb"sv);                           // X3F
}

std::unique_ptr<LibRaw> openRaw(const Data& data) {
    auto raw = std::make_unique<LibRaw>(LIBRAW_OPTIONS_NONE);
    raw->imgdata.params.max_raw_memory_mb = 1024;
    // LibRaw only reads the buffer; its interface is not const.
    if (raw->open_buffer(const_cast<std::uint8_t*>(data.bytes()), data.length()) != LIBRAW_SUCCESS) return nullptr;
    // A plain TIFF (no camera, no DNG version) is an ordinary picture, not a raw file.
    if (raw->imgdata.idata.dng_version == 0 && raw->imgdata.idata.make[0] == '\0') return nullptr;
    return raw;
}

bool canInitWithData(const Data& data) { return hasRawSignature(data) && openRaw(data) != nullptr; }

struct ImageFree {
    void operator()(libraw_processed_image_t* image) const { LibRaw::dcraw_clear_mem(image); }
};

ImageReps imageRepsWithData(const Data& data) {
    if (!hasRawSignature(data)) return {};
    auto raw = openRaw(data);
    if (!raw) return {};
    raw->imgdata.params.output_bps = 16;
    raw->imgdata.params.use_camera_wb = 1;
    if (raw->unpack() != LIBRAW_SUCCESS || raw->dcraw_process() != LIBRAW_SUCCESS) return {};
    int error = 0;
    // The bitmap reads LibRaw's output in place and keeps it until the bitmap goes.
    std::shared_ptr<libraw_processed_image_t> image(raw->dcraw_make_mem_image(&error), ImageFree{});
    if (!image || error != LIBRAW_SUCCESS || image->type != LIBRAW_IMAGE_BITMAP || image->bits != 16 ||
        (image->colors != 1 && image->colors != 3))
        return {};
    BitmapLayout layout;
    layout.pixelsWide = image->width;
    layout.pixelsHigh = image->height;
    layout.bitsPerSample = 16;
    layout.samplesPerPixel = image->colors;
    layout.colorSpaceName = image->colors == 1 ? ColorSpace::CalibratedWhite : ColorSpace::DeviceRGB;
    if (static_cast<std::int64_t>(image->data_size) < layout.pixelsWide * layout.pixelsHigh * 2 * image->colors) return {};
    auto rep = BitmapImageRep::withPixels(image->data, image, layout);
    if (!rep) return {};
    return {rep};
}

}  // namespace

ImageRepClass cameraRawImageRepClass() { return {"Camera raw", &canInitWithData, &imageRepsWithData}; }

}  // namespace platform
