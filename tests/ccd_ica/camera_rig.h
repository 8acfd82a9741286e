#pragma once
// One simulated camera found by the camera browser, with the camera object it made; the main
// queue is the run loop and a recorder is the delegate.

#include "camera_recorder.h"
#include "ccd_ica/ptp_browser.h"
#include "platform/camera/simulated_device_source.h"
#include "platform/dispatch.h"

#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

// The requests the camera got with the operation code, in order.
inline std::vector<zeta::platform::SimulatedRequest> requestsOf(const zeta::platform::SimulatedCamera& camera,
                                                                uint16_t code) {
    std::vector<zeta::platform::SimulatedRequest> found;
    for (const auto& r : camera.requests()) {
        if (r.operationCode == code) found.push_back(r);
    }
    return found;
}

template <class Camera = PTPCamera>
struct CameraRig {
    explicit CameraRig(std::shared_ptr<zeta::platform::SimulatedCamera> simulated) : sim(std::move(simulated)) {
        sim->setResponseTimeout(std::chrono::milliseconds(300));
        source->plug(sim);
        browser.start();
        EXPECT_TRUE(recorder->waitFor("added"));
        camera = recorder->added.empty() ? nullptr : std::dynamic_pointer_cast<Camera>(recorder->added.front());
    }
    // The cameras hold their delegate, and the recorder holds the cameras it was given.
    ~CameraRig() { recorder->added.clear(); }
    CameraRig(const CameraRig&) = delete;
    CameraRig& operator=(const CameraRig&) = delete;

    bool connect() {
        camera->requestOpenSession();
        return recorder->waitFor("connected");
    }
    void run(std::chrono::milliseconds time) {
        dispatch::runMainQueueUntil([] { return false; }, time);
    }
    bool until(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        return dispatch::runMainQueueUntil(done, timeout);
    }

    std::shared_ptr<zeta::platform::SimulatedCamera> sim;
    std::shared_ptr<zeta::platform::SimulatedDeviceSource> source =
        std::make_shared<zeta::platform::SimulatedDeviceSource>();
    std::shared_ptr<CameraRecorder> recorder = std::make_shared<CameraRecorder>();
    PTPBrowser browser{recorder, dispatch::mainQueue(), {source}};
    std::shared_ptr<Camera> camera;
};
