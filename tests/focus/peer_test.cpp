// The focuser and wheel windows against real INDI simulators behind indiserver.

#include "focus_fixture.h"
#include "indigo/indigo_remote.h"
#include "support/command.h"
#include "support/indi_server.h"

using namespace focus_test;
using test_support::IndiServer;

namespace {

class Peer : public FocusBus {
protected:
    void connectServer(const IndiServer& server) {
        ASSERT_TRUE(server.waitUntilListening());
        ASSERT_EQ(indigo_connect_server("peer", "127.0.0.1", server.port(), &entry), INDIGO_OK);
    }
    void TearDown() override {
        if (entry) indigo_disconnect_server(entry);

        FocusBus::TearDown();
    }
    // The peer's own value of a property item, read by indi_getprop.
    static std::string peerValue(const IndiServer& server, const std::string& what) {
        std::string out = test_support::commandOutput("indi_getprop -1 -t 3 -h 127.0.0.1 -p " +
                                                      std::to_string(server.port()) + " '" + what + "'");
        while (!out.empty() && (out.back() == '\n' || out.back() == ' '))
            out.pop_back();
        return out;
    }
    indigo_server_entry* entry = nullptr;
};

double numberOf(const std::shared_ptr<INDIGO::Device>& device, const char* property, const char* item) {
    const auto p = device ? device->property(property) : nullptr;
    const auto i = p ? p->item<INDIGO::NumberItem>(item) : nullptr;
    return i ? i->value() : -1;
}

} // namespace

TEST_F(Peer, SimulatorFocuserMovesOutwardAndGetsItsSpeedBack) {
    IndiServer server({"indi_simulator_focus"});
    defaults.setDouble(3, "Focuser Simulator.speed");
    RecordingFocuserView view;
    focuser.setView(&view);
    use(focuser);
    start();
    focuser.awakeFromNib();
    connectServer(server);

    ASSERT_TRUE(until([&] { return indexOf(view.titles, "Focuser Simulator") > 0; }));
    focuser.selectFocuser(indexOf(view.titles, "Focuser Simulator"));
    std::shared_ptr<INDIGO::Device> device;
    ASSERT_TRUE(until([&] {
        device = focuser.focuser();
        // The view follows the model on the main queue: both are waited for.
        return device && device->connected() && view.steps && view.controls.speedEnabled &&
               numberOf(device, "FOCUSER_SPEED", "SPEED") == 3 && view.speedText == "3";
    })) << "the stored speed is sent on connection: "
        << (device ? device->connected() : -1) << " steps " << view.steps.has_value() << " speed "
        << view.controls.speedEnabled << " " << numberOf(device, "FOCUSER_SPEED", "SPEED") << " props "
        << (device ? device->propertyCount() : 0) << " shown " << view.speedText;
    EXPECT_EQ(peerValue(server, "Focuser Simulator.FOCUS_SPEED.FOCUS_SPEED_VALUE"), "3");
    EXPECT_EQ(view.speedText, "3");

    ASSERT_TRUE(until([&] { return numberOf(device, "FOCUSER_POSITION", "POSITION") >= 0; }));
    const double start = numberOf(device, "FOCUSER_POSITION", "POSITION");
    focuser.settingsAction(1000, 0);
    focuser.focusOut();
    ASSERT_TRUE(until([&] {
        return numberOf(device, "FOCUSER_POSITION", "POSITION") == start + 1000 && focuser.state() == INDIGO_OK_STATE;
    })) << numberOf(device, "FOCUSER_POSITION", "POSITION") - start;
    char expected[64];
    std::snprintf(expected, sizeof expected, "%.0f", start + 1000);
    EXPECT_EQ(peerValue(server, "Focuser Simulator.ABS_FOCUS_POSITION.FOCUS_ABSOLUTE_POSITION"), expected);
    ASSERT_TRUE(until([&] { return view.state.rfind(std::string(expected) + " / ", 0) == 0; })) << view.state;
    EXPECT_EQ(view.image, "NSStatusAvailable");
}

TEST_F(Peer, SimulatorWheelMovesToBlue) {
    IndiServer server({"indi_simulator_wheel"});
    RecordingWheelView view;
    wheel.setView(&view);
    use(wheel);
    start();
    connectServer(server);

    ASSERT_TRUE(until([&] { return indexOf(view.titles, "Filter Simulator") > 0; }));
    wheel.selectWheel(indexOf(view.titles, "Filter Simulator"));
    ASSERT_TRUE(until([&] { return indexOf(view.filters, "Blue") >= 0 && view.filter >= 0; }))
        << view.filters.size() << " " << view.filter << " " << (wheel.wheel() ? wheel.wheel()->connected() : -1);
    EXPECT_TRUE(view.filtersEnabled);
    const int blue = indexOf(view.filters, "Blue");
    EXPECT_EQ(blue, 2);
    indigo->clearMessages();
    wheel.filterAction(blue);
    ASSERT_TRUE(until([&] { return logged("'Blue' selected in 'Filter Simulator'"); }));
    const auto lines = logLines();
    const auto moving = std::find(lines.begin(), lines.end(), "'Filter Simulator' is moving");
    const auto selected = std::find(lines.begin(), lines.end(), "'Blue' selected in 'Filter Simulator'");
    EXPECT_LT(moving, selected);
    EXPECT_EQ(view.filter, blue);
    EXPECT_EQ(wheel.filter(), "Blue");
    EXPECT_EQ(peerValue(server, "Filter Simulator.FILTER_SLOT.FILTER_SLOT_VALUE"), "3");
}
