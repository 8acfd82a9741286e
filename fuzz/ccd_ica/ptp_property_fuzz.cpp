// Device-property descriptions from arbitrary bytes.
#include "ccd_ica/ptp_datasets.h"

#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (auto property = PTPProperty::withData(std::span(data, size))) {
        (void)property->description();
        (void)property->value.intValue();
        (void)ptp_encode_value(property->type, property->value);
    }
    return 0;
}
