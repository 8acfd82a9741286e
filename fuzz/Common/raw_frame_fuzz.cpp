// The raw-frame decoder over arbitrary bytes: it must never read past them or change them,
// and whatever it presents must lie within them (or within its own copy for colour frames).
#include "Common/raw_image_rep.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const zeta::platform::Data bytes(data, size);
    const std::vector<uint8_t> before(bytes.bytes(), bytes.bytes() + size);
    const auto reps = INDIGO::RawImageRep::imageRepsWithData(bytes);
    if (!reps.empty()) {
        const auto& rep = static_cast<const INDIGO::RawImageRep&>(*reps.front());
        const auto pixels = static_cast<std::size_t>(rep.bytesPerRow() * rep.pixelsHigh());
        if (pixels > size - INDIGO::RawImageRep::kHeaderSize) std::abort();
        // Touch every pixel: ASan reports a plane that is shorter than the bitmap says.
        unsigned sum = 0;
        for (std::size_t i = 0; i < pixels; ++i)
            sum += rep.bitmapData()[i];
        (void)sum;
    }
    if (size > 0 && std::memcmp(before.data(), bytes.bytes(), size) != 0) std::abort();
    return 0;
}
