#pragma once
// Steps the camera window fixtures share: picking a camera from the controller's list as the
// user does, and connecting it.

#include "camera/camera_controller.h"
#include "platform/dispatch.h"

#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <string>

namespace camera_test {

// Picks the camera in the controller's list.
inline void chooseCamera(zeta::camera::CameraController& controller, const std::string& name) {
    const auto titles = controller.cameraList().titles();
    const auto found = std::find(titles.begin(), titles.end(), name);
    ASSERT_NE(found, titles.end()) << name;
    controller.selectCamera(static_cast<int>(found - titles.begin()));
}

// Chooses the camera and waits until its connection step has restored the duration.
inline void connectCamera(zeta::camera::CameraController& controller, const std::string& name) {
    chooseCamera(controller, name);
    if (::testing::Test::HasFatalFailure()) return;
    ASSERT_TRUE(dispatch::runMainQueueUntil(
        [&] {
            auto camera = controller.camera();
            return camera && camera->name() == name && camera->connected() && controller.durationEnabled();
        },
        std::chrono::seconds(20)));
    dispatch::drainMainQueue();
}

} // namespace camera_test
