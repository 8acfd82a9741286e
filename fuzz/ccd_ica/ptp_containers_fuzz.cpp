// Response and event containers from arbitrary bytes, and their log texts.
#include "ccd_ica/ptp_containers.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    if (auto response = PTPResponse::withData(bytes)) {
        if (response->numberOfParameters > 5 || size < 12u + 4u * response->numberOfParameters) std::abort();
        (void)response->description();
    }
    if (auto event = PTPEvent::withData(bytes)) {
        if (event->numberOfParameters > 3 || size < 12u + 4u * event->numberOfParameters) std::abort();
        (void)event->description();
    }
    if (size >= 4) {
        PTPRequest request;
        request.operationCode = static_cast<uint16_t>(data[0] | (data[1] << 8));
        request.numberOfParameters = data[2] % 8;
        request.parameter1 = data[3];
        if (request.commandBuffer().size() != 12u + 4u * request.numberOfParameters) std::abort();
        (void)request.description();
    }
    return 0;
}
