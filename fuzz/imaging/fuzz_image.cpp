// Frames from the bus as Image sees them: any bytes through the decoder registry (FITS
// registered as the application does, then JPEG, camera raw and the Qt readers), then
// analysis, properties, rendering, the pixel readout and the star search.

#include "imaging/fits_image_rep.h"
#include "imaging/image.h"

#include <cstddef>
#include <cstdint>

// A damaged header can make CFITSIO ask for an absurd block, and it handles the refusal:
// let the allocator refuse, as it does outside the sanitizer, instead of stopping the run.
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t length) {
    static const bool registered = [] {
        zeta::platform::ImageRep::registerImageRepClass<FITSIO::FITSImageRep>();
        return true;
    }();
    (void)registered;
    Image image(zeta::platform::Data(bytes, length), ".fits");
    // Huge frames decode, but rendering them on every input would only slow the search.
    if (image.size() > 0 && image.size() <= (std::int64_t(1) << 22)) {
        image.setBlackPoint(image.autoBlackPoint());
        image.setWhitePoint(image.autoWhitePoint());
        if (auto picture = image.image()) (void)picture->firstBitmapImageRep()->bitmapData()[0];
        (void)image.pixel(image.width() / 2.0, image.height() / 2.0);
        if (auto star = image.findStar(5, image.width() / 2.0, image.height() / 2.0)) {
            (void)image.measureStar(star->x, star->y, star->min, star->max, star->pixels);
            (void)image.hfd(star->pixels, star->x, star->y);
            (void)image.fwhm(star->min, star->max, star->pixels, star->x, star->y);
        }
    }
    return 0;
}
