#pragma once
// A client over the in-process bus with the camera window's controller on a recording view,
// and test cameras of our own attached to the bus.

#include "Common/indigo.h"
#include "camera_steps.h"
#include "platform/dispatch.h"
#include "platform/system_log.h"
#include "recording_camera.h"
#include "support/temp_dir.h"
#include "support/test_camera.h"

#include <gtest/gtest.h>
#include <memory>

namespace camera_test {

using test_support::TestCamera;

class CameraFixture : public ::testing::Test {
protected:
    void SetUp() override {
        zeta::platform::setSystemLogHandler([](std::string_view) {});
        indigo = std::make_shared<INDIGO>();
        controller.setIndigo(indigo);
        controller.setView(&view);
        indigo->startWithLocalServer(false, false);
    }
    void TearDown() override {
        controller.retireBackgroundRequests();
        cameras.clear();
        settle();
        indigo.reset();
        controller.setIndigo(nullptr);
        dispatch::drainMainQueue();
        zeta::platform::setSystemLogHandler({});
    }

    // Runs the main queue until the condition holds.
    template <class Predicate>
    bool until(Predicate&& predicate) {
        return dispatch::runMainQueueUntil(std::forward<Predicate>(predicate), std::chrono::seconds(20));
    }
    void settle() { dispatch::drainMainQueue(); }

    bool listed(const std::string& name) const {
        return std::find(view.titles.begin(), view.titles.end(), name) != view.titles.end();
    }

    // A camera with the usual properties (or just INFO, CONNECTION and CONFIG), attached and
    // listed.
    TestCamera& addCamera(const std::string& name, bool full = true) {
        cameras.push_back(std::make_unique<TestCamera>(name));
        if (full) cameras.back()->addCameraProperties();
        cameras.back()->attach();
        EXPECT_TRUE(until([&] { return listed(name); })) << name;
        return *cameras.back();
    }

    void choose(const std::string& name) { chooseCamera(controller, name); }
    void connect(const std::string& name) { connectCamera(controller, name); }

    bool logged(const std::string& text) const {
        for (const std::string& line : indigo->messages())
            if (line.size() >= text.size() && line.compare(line.size() - text.size(), text.size(), text) == 0)
                return true;
        return false;
    }

    // Requests sent from the given one on.
    std::vector<std::string> sentSince(std::size_t from) {
        auto all = controller.sent();
        return {all.begin() + static_cast<std::ptrdiff_t>(std::min(from, all.size())), all.end()};
    }

    test_support::TempDir folder{"zeta-camera"};
    zeta::platform::UserDefaults defaults{folder.path() / "defaults.json"};
    RecordingView view;
    RecordingCamera controller{defaults};
    std::shared_ptr<INDIGO> indigo;
    std::vector<std::unique_ptr<TestCamera>> cameras;
};

} // namespace camera_test
