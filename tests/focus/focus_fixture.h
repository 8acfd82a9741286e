#pragma once
// The focuser and wheel windows' controllers on a real in-process bus, with recording views
// and devices of ours; settings in a store of the test's own.

#include "Common/indigo.h"
#include "focus/focuser_controller.h"
#include "focus/wheel_controller.h"
#include "platform/dispatch.h"
#include "platform/system_log.h"
#include "support/temp_dir.h"
#include "support/test_focuser.h"
#include "support/test_wheel.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace focus_test {

using namespace zeta::focus;
using namespace std::chrono_literals;

struct RecordingFocuserView : FocuserView {
    void showFocusers(const std::vector<std::string>& t, int s, bool e) override {
        titles = t;
        selected = s;
        enabled = e;
    }
    void showControls(const FocuserControls& c) override { controls = c; }
    void showSpeedRange(double mn, double mx, double v, double inc) override {
        min = mn;
        max = mx;
        value = v;
        increment = inc;
    }
    void showSpeedText(const std::string& t) override { speedText = t; }
    void showSteps(std::optional<int> s, std::optional<int> b) override {
        steps = s;
        backlash = b;
    }
    void showAutofocusSteps(std::optional<int> i, std::optional<int> f) override {
        initialStep = i;
        finalStep = f;
    }
    void showState(const std::string& t) override { state = t; }
    void showStateImage(std::string_view n) override { image = std::string(n); }

    std::vector<std::string> titles;
    int selected = -1;
    bool enabled = false;
    FocuserControls controls;
    double min = -1, max = -1, value = -1, increment = -1;
    std::string speedText;
    std::optional<int> steps, backlash, initialStep, finalStep;
    std::string state;
    std::string image;
};

struct RecordingWheelView : WheelView {
    void showWheels(const std::vector<std::string>& t, int s, bool e) override {
        titles = t;
        selected = s;
        enabled = e;
    }
    void showFilters(const std::vector<std::string>& n, int s, bool e) override {
        filters = n;
        filter = s;
        filtersEnabled = e;
    }
    std::vector<std::string> titles;
    int selected = -1;
    bool enabled = false;
    std::vector<std::string> filters;
    int filter = -1;
    bool filtersEnabled = false;
};

class FocusBus : public ::testing::Test {
protected:
    void SetUp() override {
        zeta::platform::setSystemLogHandler([](std::string_view) {});
        indigo = std::make_shared<INDIGO>();
    }
    void TearDown() override {
        focuser.setView(nullptr); // the views of a test body are gone
        product.setView(nullptr);
        wheel.setView(nullptr);
        focusers.clear();
        wheels.clear();
        dispatch::drainMainQueue();
        for (BaseController* c : used)
            c->setIndigo(nullptr);
        indigo.reset();
        dispatch::drainMainQueue();
        zeta::platform::setSystemLogHandler({});
    }

    // Registers the controller with the client; call before start().
    template <class C>
    C& use(C& controller) {
        controller.setIndigo(indigo);
        used.push_back(&controller);
        return controller;
    }
    void start() { indigo->startWithLocalServer(false, false); }

    test_support::TestFocuser& addFocuser(test_support::TestFocuser::Options options = {}) {
        focusers.push_back(std::make_unique<test_support::TestFocuser>(std::move(options)));
        return *focusers.back();
    }
    test_support::TestWheel& addWheel(std::string name, std::vector<std::string> names) {
        wheels.push_back(std::make_unique<test_support::TestWheel>(std::move(name), std::move(names)));
        return *wheels.back();
    }

    // Runs the main queue until the predicate holds.
    static bool until(const std::function<bool()>& done) { return dispatch::runMainQueueUntil(done, 10s); }

    // The log lines (without their time) from the first one containing `from` on.
    std::vector<std::string> logLines() const {
        std::vector<std::string> lines;
        for (const std::string& entry : indigo->messages()) {
            const auto space = entry.find(' ');
            lines.push_back(space == std::string::npos ? entry : entry.substr(space + 1));
        }
        return lines;
    }
    bool logged(const std::string& line) const {
        const auto lines = logLines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    test_support::TempDir dir{"zeta-focus-test"};
    zeta::platform::UserDefaults defaults{dir.path() / "defaults.json"};
    FocuserController focuser{defaults};
    ZTFocuserController product{defaults};
    WheelController wheel;
    std::vector<BaseController*> used;
    std::shared_ptr<INDIGO> indigo;
    std::vector<std::unique_ptr<test_support::TestFocuser>> focusers;
    std::vector<std::unique_ptr<test_support::TestWheel>> wheels;
};

// True once the device got both CONFIG LOADs of a connection (the connection's last request).
template <class Device>
bool connectionDone(const Device& device) {
    const auto r = device.requests();
    return std::count(r.begin(), r.end(), "CONFIG LOAD=On") >= 2;
}

// The requests of a device that move it, in the order it got them.
inline std::vector<std::string> moves(const std::vector<std::string>& requests) {
    std::vector<std::string> result;
    for (const std::string& r : requests)
        if (r.rfind("FOCUSER_DIRECTION", 0) == 0 || r.rfind("FOCUSER_STEPS", 0) == 0 ||
            r.rfind("FOCUSER_ABORT_MOTION", 0) == 0)
            result.push_back(r);
    return result;
}

inline int indexOf(const std::vector<std::string>& titles, const std::string& title) {
    const auto it = std::find(titles.begin(), titles.end(), title);
    return it == titles.end() ? -1 : static_cast<int>(it - titles.begin());
}

} // namespace focus_test
