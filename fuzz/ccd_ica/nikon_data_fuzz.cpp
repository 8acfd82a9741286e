// The answers of a Nikon body read by their own layout: the first byte picks the CheckEvent
// records or the live-view header, the rest is the answer. Neither may read past its end.
#include "ccd_ica/nikon_parsers.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::span<const uint8_t> answer(data + 1, size - 1);
    if (data[0] & 1) {
        const auto events = zeta::ccd_ica::parseNikonEvents(answer);
        if (events.size() * 6 + 2 > answer.size() && !events.empty()) std::abort();
    } else if (const auto frame = zeta::ccd_ica::parseNikonLiveView(answer)) {
        if (frame->headerSize + 2 > answer.size()) std::abort();
        if (answer[frame->headerSize] != 0xFF || answer[frame->headerSize + 1] != 0xD8) std::abort();
        if (frame->width < 0 || frame->height < 0) std::abort();
    }
    return 0;
}
