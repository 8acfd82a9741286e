// The camera window's widget, offscreen, against the INDI CCD simulator behind a real
// indiserver connected as a remote server.

#include "Common/device.h"
#include "Common/items.h"
#include "Common/property.h"
#include "indigo/indigo_remote.h"
#include "support/indi_server.h"
#include "widget_fixture.h"

#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <fstream>
#include <gmock/gmock.h>

using namespace camera_test;
using zeta::camera::Group;

namespace {

constexpr const char* kCamera = "CCD Simulator";

double value(const std::shared_ptr<INDIGO::Device>& device, const char* property, const char* item) {
    const auto held = device ? device->property(property) : nullptr;
    const auto number = held ? held->item<INDIGO::NumberItem>(item) : nullptr;
    return number ? number->value() : std::nan("");
}

std::ptrdiff_t position(const std::vector<std::string>& sent, const std::string& request, std::ptrdiff_t from = 0) {
    const auto found = std::find(sent.begin() + from, sent.end(), request);
    return found == sent.end() ? -1 : found - sent.begin();
}

TEST_F(WidgetFixture, TheSimulatorIsChosenConnectedAndSetUp) {
    test_support::IndiServer server({"indi_simulator_ccd"});
    ASSERT_TRUE(server.waitUntilListening());
    indigo->startWithLocalServer(false, false);
    controller.awakeFromNib();
    indigo_server_entry* entry = nullptr;
    ASSERT_EQ(indigo_connect_server("simulator", "127.0.0.1", server.port(), &entry), INDIGO_OK);
    // Listed once its driver information is in; chosen once its connection and configuration
    // properties are in too.
    ASSERT_TRUE(waitFor([&] {
        const auto device = indigo->device(kCamera);
        return indexOf(kCamera) >= 0 && device && device->connectionProperty() && device->property("CONFIG");
    }));

    choose(kCamera);
    EXPECT_TRUE(logged("'CCD Simulator' selected"));
    auto sent = controller.sent();
    ASSERT_GE(sent.size(), 2u) << testing::PrintToString(sent);
    EXPECT_EQ(sent[0], "CCD Simulator CONFIG LOAD");
    EXPECT_EQ(sent[1], "CCD Simulator CONNECTION CONNECTED");

    // The simulator's own state: connected, with its sensor and gain reported.
    std::shared_ptr<INDIGO::Device> camera = indigo->device(kCamera);
    ASSERT_TRUE(waitFor([&] {
        // The simulator reports its size and its pixel size in separate updates.
        return camera->connected() && widget->ccdField()->text().contains("1280 × 1024") &&
               widget->ccdField()->text().contains("pixel size 5.2") &&
               widget->stepper(Group::Gain)->singleStep() == 10;
    })) << camera->connected()
        << " '" << widget->ccdField()->text().toStdString() << "' " << widget->stepper(Group::Gain)->singleStep()
        << testing::PrintToString(controller.sent()) << testing::PrintToString(indigo->messages()) << [&] {
               std::ifstream log(server.home() / "indiserver.log.err");
               return std::string(std::istreambuf_iterator<char>(log), {});
           }();
    EXPECT_EQ(controller.ccdWidth(), 1280);
    EXPECT_TRUE(widget->slider(Group::Gain)->isEnabled());

    // A drag of the gain slider to 47 ends on 50, sent once at the release.
    QSlider* gain = widget->slider(Group::Gain);
    const std::size_t before = controller.sent().size();
    gain->setSliderDown(true);
    for (int step : {20, 33, 47})
        gain->setValue(step);
    gain->setSliderDown(false);
    EXPECT_EQ(widget->field(Group::Gain)->text(), "50");
    sent = controller.sent();
    EXPECT_THAT(std::vector<std::string>(sent.begin() + static_cast<std::ptrdiff_t>(before), sent.end()),
                testing::ElementsAre("CCD Simulator CCD_GAIN GAIN=50"));
    EXPECT_EQ(defaults.doubleForKey("CCD Simulator.gain", 0), 50);
    ASSERT_TRUE(waitFor([&] { return value(camera, "CCD_GAIN", "GAIN") == 50; }));

    // Chosen again, the camera reconnects and gets its gain back after the configuration load.
    controller.clearSent();
    choose(kCamera);
    ASSERT_TRUE(waitFor([&] {
        const auto all = controller.sent();
        const auto load = position(all, "CCD Simulator CONFIG LOAD", 2);
        return load >= 0 && position(all, "CCD Simulator CCD_GAIN GAIN=50", load) > load;
    })) << testing::PrintToString(controller.sent());
    sent = controller.sent();
    const auto disconnect = position(sent, "CCD Simulator CONNECTION DISCONNECTED");
    EXPECT_GE(disconnect, 0);
    EXPECT_LT(disconnect, position(sent, "CCD Simulator CONFIG LOAD")) << testing::PrintToString(sent);
    EXPECT_EQ(controller.count("CCD Simulator CCD_GAIN GAIN=50"), 1u);
    ASSERT_TRUE(waitFor([&] { return camera->connected() && value(camera, "CCD_GAIN", "GAIN") == 50; }));

    // In Fahrenheit, 14 cools to -10 °C.
    defaults.setBool(true, "useFahrenheit");
    controller.savePreferences();
    EXPECT_EQ(widget->coolerLabelField()->text(), "Cooler (°F):");
    ASSERT_TRUE(waitFor([&] { return controller.coolerEnabled() && camera->property("CCD_TEMPERATURE"); }));
    controller.clearSent();
    widget->coolerCombo()->setCurrentText("14");
    emit widget->coolerCombo()->activated(widget->coolerCombo()->currentIndex());
    EXPECT_THAT(controller.sent(),
                testing::ElementsAre("CCD Simulator CCD_COOLER ON", "CCD Simulator CCD_TEMPERATURE TEMPERATURE=-10"));
    EXPECT_EQ(defaults.doubleForKey("CCD Simulator.temperature", 0), -10);
    // The simulator starts cooling.
    ASSERT_TRUE(waitFor([&] {
        const auto temperature = camera->property("CCD_TEMPERATURE");
        return temperature && temperature->state() == INDIGO_BUSY_STATE;
    }));
    indigo_disconnect_server(entry);
}

} // namespace
