// Canon EOS GetEvent answers from arbitrary bytes, then writes back every property they named.
#include "ccd_ica/canon_events.h"
#include "ccd_ica/canon_labels.h"

#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    PTPDeviceInfo info;
    CanonEventState state;
    const CanonEventWalk walk = canonWalkEvents(std::span(data, size), info, state, nullptr, canonEventNames());
    for (const auto& property : walk.changed) {
        (void)property->description();
        (void)canonEncodePropertyWrite(property->propertyCode, property->value.description(), info, state);
        (void)canonEncodePropertyWrite(property->propertyCode, "1 2 3", info, state);
    }
    (void)canonViewfinderFrame(std::span(data, size));
    return 0;
}
