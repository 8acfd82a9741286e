// The application's own device on the in-process bus: its lists follow the windows' popups,
// and a client's selection reaches a window only while the window may switch.

#include "app/application_device.h"

#include "indigo/indigo_property.h"
#include "platform/constants.h"
#include "platform/dispatch.h"
#include "support/property_listener.h"

#include <gtest/gtest.h>
#include <mutex>

using zeta::app::DeviceController;
using zeta::app::DevicePopup;

namespace {

class FakePopup final : public DevicePopup {
public:
    FakePopup(std::vector<std::string> titles, int selected, bool enabled = true)
        : titles_(std::move(titles)), selected_(selected), enabled_(enabled) {}
    std::vector<std::string> titles() const override {
        std::lock_guard lock(mutex_);
        return titles_;
    }
    int selectedIndex() const override {
        std::lock_guard lock(mutex_);
        return selected_;
    }
    bool enabled() const override {
        std::lock_guard lock(mutex_);
        return enabled_;
    }
    void selectItemWithTitle(std::string_view title) override {
        std::lock_guard lock(mutex_);
        for (std::size_t i = 0; i < titles_.size(); ++i)
            if (titles_[i] == title) selected_ = static_cast<int>(i);
    }
    void set(std::vector<std::string> titles, int selected, bool enabled) {
        std::lock_guard lock(mutex_);
        titles_ = std::move(titles);
        selected_ = selected;
        enabled_ = enabled;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> titles_;
    int selected_;
    bool enabled_;
};

struct Event {
    std::string kind, name, message;
    indigo_property_state state;
    indigo_property_perm perm;
    std::vector<std::pair<std::string, bool>> switches;
    std::vector<std::pair<std::string, std::string>> texts;
};

class Recorder final : public test_support::PropertyListener {
public:
    Recorder() : PropertyListener("recorder") {}
    std::vector<Event> events(const std::string& name) const {
        std::lock_guard lock(mutex_);
        std::vector<Event> result;
        for (const Event& e : events_)
            if (e.name == name) result.push_back(e);
        return result;
    }
    void clear() {
        std::lock_guard lock(mutex_);
        events_.clear();
    }

protected:
    indigo_result record(const char* kind, indigo_property* property, const char* message) override {
        Event e{kind, property->name, message ? message : "", property->state, property->perm, {}, {}};
        for (int i = 0; i < property->count; ++i) {
            if (property->type == INDIGO_SWITCH_VECTOR)
                e.switches.emplace_back(property->items[i].name, property->items[i].sw.value);
            if (property->type == INDIGO_TEXT_VECTOR)
                e.texts.emplace_back(property->items[i].name, property->items[i].text.value);
        }
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(e));
        return INDIGO_OK;
    }

private:
    mutable std::mutex mutex_;
    std::vector<Event> events_;
};

using Switches = std::vector<std::pair<std::string, bool>>;

class ApplicationDevice : public ::testing::Test {
protected:
    void SetUp() override {
        indigo_start();
        ASSERT_EQ(indigo_attach_client(&recorder.client), INDIGO_OK);
    }
    void TearDown() override {
        controller.reset();
        indigo_detach_client(&recorder.client);
        indigo_stop();
    }
    // Connects the given panels, then attaches the device.
    void start(std::initializer_list<DeviceController::Panel> panels) {
        for (auto panel : panels)
            controller->connectPanel(panel, popups[panel], [this, panel] { ++actions[panel]; });
        controller->initialize();
    }
    void select(const char* list, const char* item, bool value = true) {
        const char* names[] = {item};
        const bool values[] = {value};
        indigo_change_switch_property(&recorder.client, APP_NAME().c_str(), list, 1, names, values);
    }
    Event last(const char* name) {
        const auto events = recorder.events(name);
        return events.empty() ? Event{} : events.back();
    }

    Recorder recorder;
    std::shared_ptr<FakePopup> popups[3] = {std::make_shared<FakePopup>(std::vector<std::string>{"A", "B"}, 0),
                                            std::make_shared<FakePopup>(std::vector<std::string>{"W"}, 0),
                                            std::make_shared<FakePopup>(std::vector<std::string>{"F"}, 0)};
    int actions[3] = {0, 0, 0};
    std::unique_ptr<DeviceController> controller = std::make_unique<DeviceController>();
};

} // namespace

TEST_F(ApplicationDevice, AttachPublishesInfoAndTheConnectedPanelsListsOnly) {
    start({DeviceController::Camera, DeviceController::Focuser});
    const Event info = last("INFO");
    EXPECT_EQ(info.kind, "define");
    EXPECT_EQ(info.perm, INDIGO_RO_PERM);
    const std::vector<std::pair<std::string, std::string>> texts = {
        {"DEVICE_NAME", APP_NAME()}, {"DEVICE_VERSION", APP_VERSION() + "_" + APP_BUILD()}, {"DEVICE_INTERFACE", "0"}};
    EXPECT_EQ(info.texts, texts);
    EXPECT_EQ(last("CAMERA_LIST").kind, "define");
    EXPECT_EQ(last("CAMERA_LIST").state, INDIGO_IDLE_STATE);
    EXPECT_TRUE(last("CAMERA_LIST").switches.empty());
    EXPECT_EQ(last("FOCUSER_LIST").kind, "define");
    // No wheel window: no list, and a request for one is not handled.
    EXPECT_TRUE(recorder.events("WHEEL_LIST").empty());
    select("WHEEL_LIST", "W");
    controller->updateWheelList();
    controller->waitForRebuilds();
    dispatch::drainMainQueue();
    EXPECT_TRUE(recorder.events("WHEEL_LIST").empty());
    EXPECT_EQ(actions[DeviceController::Wheel], 0);

    // A client asking for everything again sees the same properties.
    recorder.clear();
    indigo_enumerate_properties(&recorder.client, nullptr);
    EXPECT_EQ(recorder.events("INFO").size(), 1u);
    EXPECT_EQ(recorder.events("CAMERA_LIST").size(), 1u);
    EXPECT_TRUE(recorder.events("WHEEL_LIST").empty());
}

TEST_F(ApplicationDevice, ListsFollowTheirPopups) {
    struct Case {
        const char* what;
        std::vector<std::string> titles;
        int selected;
        bool enabled;
        std::vector<std::string> kinds;
        Switches switches;
        indigo_property_perm perm;
    };
    const Case cases[] = {
        {"first rebuild", {"A", "B"}, 0, true, {"delete", "define"}, {{"A", true}, {"B", false}}, INDIGO_RW_PERM},
        {"selection moves", {"A", "B"}, 1, true, {"update"}, {{"A", false}, {"B", true}}, INDIGO_RW_PERM},
        {"a camera replaced, same count",
         {"A", "C"},
         1,
         true,
         {"delete", "define"},
         {{"A", false}, {"C", true}},
         INDIGO_RW_PERM},
        {"capture starts", {"A", "C"}, 1, false, {"delete", "define"}, {{"A", false}, {"C", true}}, INDIGO_RO_PERM},
        {"capture ends", {"A", "C"}, 1, true, {"delete", "define"}, {{"A", false}, {"C", true}}, INDIGO_RW_PERM},
        {"nothing selected", {"A", "C"}, -1, true, {"update"}, {{"A", false}, {"C", false}}, INDIGO_RW_PERM},
        {"empty popup", {}, -1, true, {"delete", "define"}, {}, INDIGO_RW_PERM},
        {"three cameras",
         {"A", "B", "C"},
         2,
         true,
         {"delete", "define"},
         {{"A", false}, {"B", false}, {"C", true}},
         INDIGO_RW_PERM},
    };
    start({DeviceController::Camera});
    for (const Case& c : cases) {
        recorder.clear();
        popups[DeviceController::Camera]->set(c.titles, c.selected, c.enabled);
        controller->updateCameraList();
        controller->waitForRebuilds();
        const auto events = recorder.events("CAMERA_LIST");
        std::vector<std::string> kinds;
        for (const Event& e : events)
            kinds.push_back(e.kind);
        EXPECT_EQ(kinds, c.kinds) << c.what;
        ASSERT_FALSE(events.empty()) << c.what;
        EXPECT_EQ(events.back().switches, c.switches) << c.what;
        EXPECT_EQ(events.back().state, INDIGO_OK_STATE) << c.what;
        EXPECT_EQ(events.back().perm, c.perm) << c.what;
    }
}

TEST_F(ApplicationDevice, AClientSelectionSwitchesTheWindow) {
    start({DeviceController::Camera});
    controller->updateCameraList();
    controller->waitForRebuilds();
    recorder.clear();

    select("CAMERA_LIST", "B");
    const Event busy = last("CAMERA_LIST");
    EXPECT_EQ(busy.kind, "update");
    EXPECT_EQ(busy.state, INDIGO_BUSY_STATE);
    EXPECT_EQ(busy.switches, (Switches{{"A", false}, {"B", true}}));
    ASSERT_TRUE(
        dispatch::runMainQueueUntil([&] { return actions[DeviceController::Camera] == 1; }, std::chrono::seconds(10)));
    EXPECT_EQ(popups[DeviceController::Camera]->selectedIndex(), 1);

    // The window's own device-list update brings the list back to Ok.
    controller->updateCameraList();
    controller->waitForRebuilds();
    EXPECT_EQ(last("CAMERA_LIST").state, INDIGO_OK_STATE);
    EXPECT_EQ(last("CAMERA_LIST").switches, (Switches{{"A", false}, {"B", true}}));

    // A request with no item on changes nothing and gets no answer.
    recorder.clear();
    select("CAMERA_LIST", "A", false);
    EXPECT_TRUE(recorder.events("CAMERA_LIST").empty());
    // Nor does one for an entry the list does not have.
    select("CAMERA_LIST", "Z");
    EXPECT_TRUE(recorder.events("CAMERA_LIST").empty());
}

TEST_F(ApplicationDevice, ABusyWindowRefusesBeforeAnythingIsCopied) {
    struct Case {
        DeviceController::Panel panel;
        const char* list;
        const char* message;
    };
    const Case cases[] = {{DeviceController::Camera, "CAMERA_LIST", "Camera is busy"},
                          {DeviceController::Wheel, "WHEEL_LIST", "Wheel is busy"},
                          {DeviceController::Focuser, "FOCUSER_LIST", "Focuser is busy"}};
    popups[DeviceController::Wheel]->set({"W", "V"}, 0, true);
    popups[DeviceController::Focuser]->set({"F", "G"}, 0, true);
    start({DeviceController::Camera, DeviceController::Wheel, DeviceController::Focuser});
    for (const Case& c : cases) {
        controller->updateList(c.panel);
        controller->waitForRebuilds();
        const auto titles = popups[c.panel]->titles();
        popups[c.panel]->set(titles, 0, false);
        recorder.clear();
        select(c.list, titles[1].c_str());
        const Event alert = last(c.list);
        EXPECT_EQ(alert.state, INDIGO_ALERT_STATE) << c.list;
        EXPECT_EQ(alert.message, c.message);
        // The refused choice never shows as made.
        EXPECT_EQ(alert.switches, (Switches{{titles[0], true}, {titles[1], false}})) << c.list;
        dispatch::drainMainQueue();
        EXPECT_EQ(popups[c.panel]->selectedIndex(), 0) << c.list;
        EXPECT_EQ(actions[c.panel], 0) << c.list;
    }
}

TEST_F(ApplicationDevice, AClosedWindowIsLeftAlone) {
    start({DeviceController::Camera});
    controller->updateCameraList();
    controller->waitForRebuilds();
    popups[DeviceController::Camera].reset();
    recorder.clear();
    select("CAMERA_LIST", "B");
    controller->updateCameraList();
    controller->waitForRebuilds();
    dispatch::drainMainQueue();
    EXPECT_TRUE(recorder.events("CAMERA_LIST").empty());
    EXPECT_EQ(actions[DeviceController::Camera], 0);
}
