// WheelController on the in-process bus with wheels of ours.

#include "focus_fixture.h"

using namespace focus_test;

namespace {

class Wheel : public FocusBus {
protected:
    void SetUp() override {
        FocusBus::SetUp();
        wheel.setView(&view);
        wheel.setNeighbours({.previewInProgress = [this] { return preview; },
                             .captureInProgress =
                                 [this] {
                                     return capture;
                                 }});
        use(wheel);
        start();
    }
    // Lists, selects and connects the wheel; returns once its filters are shown.
    void connect(const std::string& name, std::size_t filters) {
        ASSERT_TRUE(until([&] { return indexOf(view.titles, name) > 0; }));
        wheel.selectWheel(indexOf(view.titles, name));
        ASSERT_TRUE(until([&] { return view.filters.size() == filters && view.filter == 0; }));
        // The load that follows the connection may reach the device after the filters show.
        for (const auto& device : wheels) {
            if (device->name() != name) continue;
            ASSERT_TRUE(until([&] { return connectionDone(*device); }));
        }
    }
    std::vector<std::string> slotRequests(const test_support::TestWheel& device) {
        std::vector<std::string> result;
        for (const std::string& r : device.requests())
            if (r.rfind("WHEEL_SLOT ", 0) == 0) result.push_back(r);
        return result;
    }

    RecordingWheelView view;
    bool preview = false;
    bool capture = false;
};

} // namespace

TEST_F(Wheel, RepeatedNamesKeepTheirSlots) {
    auto& device = addWheel("Wheel A", {"L", "R", "G", "B", "L"});
    device.setMoveTime(20ms);
    connect("Wheel A", 5);
    EXPECT_EQ(view.filters, (std::vector<std::string>{"L", "R", "G", "B", "L"}));
    EXPECT_TRUE(logged("'Wheel A' selected"));
    EXPECT_TRUE(logged("'L' selected in 'Wheel A'"));

    struct Case {
        int entry;
        int slot;
        const char* name;
    };
    for (const Case c : {Case{4, 5, "L"}, Case{2, 3, "G"}, Case{0, 1, "L"}, Case{3, 4, "B"}, Case{1, 2, "R"}}) {
        indigo->clearMessages();
        wheel.filterAction(c.entry);
        EXPECT_EQ(view.filter, -1) << "no entry until the wheel answers";
        ASSERT_TRUE(until([&] { return view.filter == c.entry; })) << c.slot;
        EXPECT_EQ(device.slot(), c.slot);
        EXPECT_EQ(wheel.filter(), c.name);
        const auto lines = logLines();
        const auto moving = std::find(lines.begin(), lines.end(), "'Wheel A' is moving");
        const auto selected =
            std::find(lines.begin(), lines.end(), std::string("'") + c.name + "' selected in 'Wheel A'");
        EXPECT_LT(moving, selected) << c.slot;
        EXPECT_NE(selected, lines.end()) << c.slot;
    }
    EXPECT_EQ(slotRequests(device),
              (std::vector<std::string>{"WHEEL_SLOT SLOT=5", "WHEEL_SLOT SLOT=3", "WHEEL_SLOT SLOT=1",
                                        "WHEEL_SLOT SLOT=4", "WHEEL_SLOT SLOT=2"}));
}

TEST_F(Wheel, NoSelectionAndALockedListSendNothing) {
    auto& device = addWheel("Wheel A", {"L", "R", "G", "B"});
    device.setMoveTime(1ms);
    connect("Wheel A", 4);
    wheel.filterAction(-1);
    wheel.filterAction(4);
    capture = true;
    wheel.updateGUI();
    ASSERT_TRUE(until([&] { return !view.enabled; }));
    EXPECT_FALSE(view.filtersEnabled);
    EXPECT_FALSE(wheel.wheelsPopUp().enabled());
    wheel.filterAction(2);
    capture = false;
    preview = true; // a preview locks the wheel choice only
    wheel.updateGUI();
    EXPECT_TRUE(view.filtersEnabled);
    dispatch::drainMainQueue();
    EXPECT_FALSE(view.enabled);
    wheel.filterAction(1);
    ASSERT_TRUE(until([&] { return view.filter == 1; }));
    EXPECT_EQ(slotRequests(device), std::vector<std::string>{"WHEEL_SLOT SLOT=2"});
}

TEST_F(Wheel, AnAlertIsLoggedAsAFailure) {
    auto& device = addWheel("Wheel A", {"L", "R", "G", "B"});
    connect("Wheel A", 4);
    indigo->clearMessages();
    device.failNextMove();
    wheel.filterAction(2);
    ASSERT_TRUE(until([&] { return logged("'Wheel A' failed to move to 'G'"); }));
    EXPECT_FALSE(logged("'G' selected in 'Wheel A'"));
    EXPECT_EQ(view.filter, 0); // it stayed at slot 1
    EXPECT_EQ(wheel.filter(), "L");
}

TEST_F(Wheel, ReselectingAndUnlisting) {
    auto& device = addWheel("Wheel A", {"L", "R"});
    connect("Wheel A", 2);
    const std::size_t before = device.requests().size();
    wheel.selectWheel(indexOf(view.titles, "Wheel A"));
    ASSERT_TRUE(until([&] { return device.requests().size() >= before + 4 && view.filter == 0; }));
    const auto requests = device.requests();
    EXPECT_EQ(std::vector<std::string>(requests.begin() + static_cast<long>(before),
                                       requests.begin() + static_cast<long>(before) + 4),
              (std::vector<std::string>{"CONNECTION DISCONNECTED=On", "CONFIG LOAD=On", "CONNECTION CONNECTED=On",
                                        "CONFIG LOAD=On"}));
    EXPECT_EQ(wheel.wheel(), indigo->device("Wheel A")) << "still selected after its own reconnection";

    wheels.clear();
    ASSERT_TRUE(until([&] { return view.titles == std::vector<std::string>{"No wheel"}; }));
    EXPECT_EQ(view.selected, 0);
    EXPECT_TRUE(view.filters.empty());
    EXPECT_FALSE(view.filtersEnabled);
    EXPECT_EQ(wheel.wheel(), nullptr);
}

TEST_F(FocusBus, WorkQueuedOnTheMainQueueIsDroppedOnceTheControllerIsGone) {
    auto wheels = std::make_unique<WheelController>();
    auto focusers = std::make_unique<ZTFocuserController>(defaults);
    wheels->setIndigo(indigo);
    focusers->setIndigo(indigo);
    start();
    addWheel("Wheel A", {"L", "R"});
    addFocuser({.name = "Focuser A"});
    FocusBus::wheels.clear(); // listing and unlisting, queued for the main queue
    FocusBus::focusers.clear();
    wheels->setIndigo(nullptr);
    focusers->setIndigo(nullptr);
    indigo.reset(); // no more bus events
    wheels.reset();
    focusers.reset();
    EXPECT_GT(dispatch::drainMainQueue(), 0u); // the queued work ran, and touched nothing
}
