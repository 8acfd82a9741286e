// zeta-fits-helper: decompresses one tile-compressed FITS image for the FITS decoder, in a
// process of its own, because the library's decompressors read past damaged tiles.
//
// Reads the FITS bytes from standard input. On success writes "ZFIT", width and height
// (32-bit), bits per sample and samples per pixel (16-bit), all in the machine's byte order,
// then the pixels as the decoder lays them out, and exits with 0. Anything else exits with 1.

#include "imaging/fits_image_rep.h"
#include "platform/image/helper_child.h"

#include <cstdint>
#include <cstring>
#include <vector>

int main() {
    using namespace zeta::platform::helper_child;
    limitResources(60, 0);
    std::vector<std::uint8_t> input;
    if (!readStandardInput(input)) return 1;
    const FITSIO::FITSImageRep rep(zeta::platform::Data(std::move(input)),
                                   FITSIO::FITSImageRep::Decompression::InProcess);
    if (!rep.bitmapData()) return 1;
    std::uint8_t header[16] = {'Z', 'F', 'I', 'T'};
    const std::uint32_t size[2] = {static_cast<std::uint32_t>(rep.pixelsWide()),
                                   static_cast<std::uint32_t>(rep.pixelsHigh())};
    const std::uint16_t format[2] = {static_cast<std::uint16_t>(rep.bitsPerSample()),
                                     static_cast<std::uint16_t>(rep.samplesPerPixel())};
    std::memcpy(header + 4, size, 8);
    std::memcpy(header + 12, format, 4);
    return writeStandardOutput(header, sizeof header) &&
                   writeStandardOutput(rep.bitmapData(), static_cast<std::size_t>(rep.bytesPerPlane()))
               ? 0
               : 1;
}
