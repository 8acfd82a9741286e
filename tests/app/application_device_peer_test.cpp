// The application's own device seen by INDI's command-line clients through Zeta's server.

#include "app/application_device.h"
#include "indigo/indigo_property.h"
#include "indigo/indigo_server.h"
#include "platform/constants.h"
#include "platform/dispatch.h"
#include "support/command.h"
#include "support/eventually.h"

#include <atomic>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

using zeta::app::DeviceController;
using zeta::app::DevicePopup;

namespace {

std::atomic<bool> listening{false};
void serverCallback(int) {
    listening = true;
}

class Popup final : public DevicePopup {
public:
    std::vector<std::string> titles() const override {
        std::lock_guard lock(mutex);
        return entries;
    }
    int selectedIndex() const override {
        std::lock_guard lock(mutex);
        return selected;
    }
    bool enabled() const override {
        std::lock_guard lock(mutex);
        ++enabledReads;
        return on;
    }
    void selectItemWithTitle(std::string_view title) override {
        std::lock_guard lock(mutex);
        for (std::size_t i = 0; i < entries.size(); ++i)
            if (entries[i] == title) selected = static_cast<int>(i);
    }
    mutable std::mutex mutex;
    std::vector<std::string> entries{"CCD Simulator", "Guide Simulator"};
    int selected = 0;
    bool on = true;
    mutable std::atomic<int> enabledReads{0};
};

class Server {
public:
    Server() {
        indigo_server_tcp_port = 0;
        indigo_copy_name(indigo_server_bind_address, "127.0.0.1");
        thread_ = std::thread([] { indigo_server_start(&serverCallback); });
    }
    ~Server() {
        indigo_server_shutdown();
        thread_.join();
    }

private:
    std::thread thread_;
};

std::string getprop(const std::string& what) {
    return test_support::commandOutput("indi_getprop -h 127.0.0.1 -p " + std::to_string(indigo_server_tcp_port) +
                                       " -t 2 '" + what + "' 2>&1");
}

void setprop(const std::string& what) {
    test_support::commandOutput("indi_setprop -h 127.0.0.1 -p " + std::to_string(indigo_server_tcp_port) + " -t 2 '" +
                                what + "' 2>&1");
}

} // namespace

TEST(ApplicationDevicePeer, IndiClientsSeeAndSwitchTheCameraList) {
    indigo_start();
    auto popup = std::make_shared<Popup>();
    std::atomic<int> actions{0};
    {
        DeviceController controller;
        controller.connectPanel(DeviceController::Camera, popup, [&] {
            ++actions;
            controller.updateCameraList();
        });
        controller.initialize();
        controller.updateCameraList();
        controller.waitForRebuilds();
        Server server;
        ASSERT_TRUE(test_support::eventually([] { return listening.load(); }));
        const std::string name = APP_NAME();

        std::string listed = getprop(name + ".CAMERA_LIST.*");
        EXPECT_NE(listed.find(name + ".CAMERA_LIST.CCD Simulator=On"), std::string::npos) << listed;
        EXPECT_NE(listed.find(name + ".CAMERA_LIST.Guide Simulator=Off"), std::string::npos) << listed;

        // The popup gains an entry: the list follows.
        {
            std::lock_guard lock(popup->mutex);
            popup->entries.push_back("Other Camera");
        }
        controller.updateCameraList();
        controller.waitForRebuilds();
        listed = getprop(name + ".CAMERA_LIST.*");
        EXPECT_NE(listed.find(name + ".CAMERA_LIST.Other Camera=Off"), std::string::npos) << listed;

        setprop(name + ".CAMERA_LIST.Guide Simulator=On");
        ASSERT_TRUE(dispatch::runMainQueueUntil([&] { return actions == 1; }, std::chrono::seconds(10)));
        controller.waitForRebuilds();
        EXPECT_EQ(popup->selectedIndex(), 1);
        listed = getprop(name + ".CAMERA_LIST.*");
        EXPECT_NE(listed.find(name + ".CAMERA_LIST.Guide Simulator=On"), std::string::npos) << listed;
        EXPECT_NE(listed.find(name + ".CAMERA_LIST.CCD Simulator=Off"), std::string::npos) << listed;
        const std::string state = getprop(name + ".CAMERA_LIST._STATE");
        EXPECT_NE(state.find("=Ok"), std::string::npos) << state;

        // While the window captures, the choice is refused.
        {
            std::lock_guard lock(popup->mutex);
            popup->on = false;
        }
        const int reads = popup->enabledReads;
        setprop(name + ".CAMERA_LIST.CCD Simulator=On");
        // The device has the request once it asks whether the window is busy; a client
        // enumerating then waits for its answer.
        ASSERT_TRUE(test_support::eventually([&] { return popup->enabledReads > reads; }));
        dispatch::drainMainQueue();
        EXPECT_EQ(actions, 1);
        EXPECT_EQ(popup->selectedIndex(), 1);
        const std::string alert = getprop(name + ".CAMERA_LIST._STATE");
        EXPECT_NE(alert.find("=Alert"), std::string::npos) << alert;
        listed = getprop(name + ".CAMERA_LIST.*");
        EXPECT_NE(listed.find(name + ".CAMERA_LIST.Guide Simulator=On"), std::string::npos) << listed;
    }
    indigo_stop();
}
