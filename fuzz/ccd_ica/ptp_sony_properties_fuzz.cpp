// Sony all-properties data from arbitrary bytes: every record read lies within the bytes.
#include "ccd_ica/ptp_camera_sony.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const auto records = sonyReadAllProperties(std::span(data, size));
    // Each record takes at least its 6-byte head, a value and the form flag.
    if (records.size() * 8 > size) std::abort();
    for (const auto& property : records) {
        (void)property->description();
        (void)ptp_encode_value(property->type, property->value);
    }
    return 0;
}
