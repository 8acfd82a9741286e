// Device information from arbitrary bytes, with its log texts at every level.
#include "ccd_ica/ptp_datasets.h"

#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (auto info = PTPDeviceInfo::withData(std::span(data, size))) {
        (void)info->description(0);
        (void)info->description(2);
    }
    return 0;
}
