#pragma once
// A simulated Sony body: the vendor handshake (with or without the extended device
// information), the all-properties read, the two control writes, stepped settings that show
// after a delay or never, the shutter controls (a half press focuses, a full press takes RAW,
// JPEG or both into the camera's memory) and the download of those images.

#include "platform/camera/simulated_camera.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

namespace zeta::platform {

struct SimulatedSonyScript {
    // Offers GetSDIOGetExtDeviceInfo, and with it the three-phase handshake.
    bool extendedInfo = true;
    // A step shows in the all-properties data this long after it was asked for; never when
    // `confirmSteps` is false.
    std::chrono::milliseconds stepDelay{0};
    bool confirmSteps = true;
    // The focus status a half press leads to in automatic focus (2 focused, 3 failed).
    int64_t focusResult = 2;
    // The object formats a picture leaves in memory; empty: by the compression setting
    // (19 RAW then JPEG, 16 RAW, others JPEG).
    std::vector<uint16_t> imageFormats;
};

std::shared_ptr<SimulatedCamera> makeSimulatedSony(SimulatedSonyScript script = {});

} // namespace zeta::platform
