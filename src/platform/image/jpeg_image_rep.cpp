// JPEG through TurboJPEG: grey JPEGs become 8-bit grey bitmaps, colour ones 24-bit RGB.
// CMYK and YCCK files are left to the Qt readers, which convert them; damaged files are
// refused here.

#include "platform/image/bitmap_image_rep.h"
#include "platform/image/image_rep.h"

#include <climits>
#include <memory>
#include <turbojpeg.h>

namespace zeta::platform {
namespace {

struct HandleCloser {
    void operator()(void* handle) const { tjDestroy(handle); }
};
using Decompressor = std::unique_ptr<void, HandleCloser>;

struct Header {
    int width = 0, height = 0, subsampling = 0, colorspace = 0;
};

bool readHeader(void* handle, const Data& data, Header& h) {
    return tjDecompressHeader3(handle, data.bytes(), static_cast<unsigned long>(data.length()), &h.width, &h.height,
                               &h.subsampling, &h.colorspace) == 0;
}

bool canInitWithData(const Data& data) {
    static constexpr unsigned char kStart[] = {0xFF, 0xD8, 0xFF};
    if (data.length() < 3 || data.bytes()[0] != kStart[0] || data.bytes()[1] != kStart[1] ||
        data.bytes()[2] != kStart[2] || data.length() > ULONG_MAX)
        return false;
    // Every JPEG but CMYK and YCCK ones is ours, damaged ones included: they fail here.
    Decompressor handle(tjInitDecompress());
    Header h;
    if (!handle || !readHeader(handle.get(), data, h)) return true;
    return h.colorspace != TJCS_CMYK && h.colorspace != TJCS_YCCK;
}

ImageReps imageRepsWithData(const Data& data, std::string* reason) {
    Decompressor handle(tjInitDecompress());
    Header h;
    if (!handle || !readHeader(handle.get(), data, h)) {
        if (reason) *reason = "JPEG header unreadable";
        return {};
    }
    const bool grey = h.colorspace == TJCS_GRAY;
    BitmapLayout layout;
    layout.pixelsWide = h.width;
    layout.pixelsHigh = h.height;
    layout.samplesPerPixel = grey ? 1 : 3;
    layout.colorSpaceName = grey ? ColorSpace::CalibratedWhite : ColorSpace::DeviceRGB;
    auto rep = BitmapImageRep::withLayout(layout);
    if (!rep) {
        if (reason) *reason = "JPEG image size refused";
        return {};
    }
    // A damaged or cut-short stream still fills every row (missing blocks come out flat), and
    // the library reports it as a warning: such a frame is shown as decoded.
    const int rc =
        tjDecompress2(handle.get(), data.bytes(), static_cast<unsigned long>(data.length()), rep->bitmapData(), h.width,
                      static_cast<int>(rep->bytesPerRow()), h.height, grey ? TJPF_GRAY : TJPF_RGB, TJFLAG_LIMITSCANS);
    if (rc != 0 && tjGetErrorCode(handle.get()) != TJERR_WARNING) {
        if (reason) *reason = std::string("JPEG data undecodable: ") + tjGetErrorStr2(handle.get());
        return {};
    }
    return {rep};
}

} // namespace

ImageRepClass jpegImageRepClass() {
    return {"JPEG", &canInitWithData, &imageRepsWithData};
}

} // namespace zeta::platform
