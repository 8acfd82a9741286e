// A user's temperature unit with INDI devices: the cooled camera of indiserver's CCD simulator
// reads in °C, and in °F once Fahrenheit is switched on in the preferences. The focuser window's
// state gives the position only, whichever unit is chosen, though the focuser simulator has a
// temperature.

#include "journey_app.h"
#include "journey_camera.h"
#include "journey_peer.h"
#include "journey_user.h"
#include "platform/constants.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <regex>
#include <string>

using journey::JourneyApp;
using journey::JourneyPeer;
using journey::JourneyUser;

namespace {

constexpr const char* kCcd = "CCD Simulator";
constexpr const char* kFocuser = "Focuser Simulator";

// The degrees of a cooler reading such as "-- % / 20 °C" in the given unit, NaN otherwise.
double degreesIn(const std::string& reading, const std::string& unit) {
    std::smatch match;
    const std::regex pattern("/ (-?[0-9]+) " + unit + "$");
    return std::regex_search(reading, match, pattern) ? std::stod(match[1]) : std::nan("");
}

// A state text with the position alone ("1000").
bool isWhole(const std::string& text) {
    return std::regex_match(text, std::regex("-?[0-9]+"));
}

} // namespace

TEST(JourneySettingsPeer, FahrenheitSwitchedOnReadsTheCooledCameraInFahrenheit) {
    JourneyPeer peer{{"indi_simulator_ccd", "indi_simulator_focus"}};
    JourneyApp app{""};
    peer.addThroughServices();
    const JourneyUser camera = JourneyUser().within("Camera");
    journey::pickCamera(camera, kCcd);
    // The cooler row shows once the camera is connected.
    JourneyUser::waitUntil(
        [&] { return camera.sees("Cooler state") && !std::isnan(degreesIn(camera.text("Cooler state"), "°C")); },
        "the cooler's temperature in °C");
    EXPECT_TRUE(camera.sees("Cooler (°C)"));
    const double celsius = std::stod(peer.value(std::string(kCcd) + ".CCD_TEMPERATURE.CCD_TEMPERATURE_VALUE"));
    EXPECT_DOUBLE_EQ(degreesIn(camera.text("Cooler state"), "°C"), std::round(celsius));

    const JourneyUser focuser = JourneyUser().within("Focuser");
    JourneyUser::waitUntil(
        [&] {
            const auto titles = focuser.entries("Focuser");
            return std::find(titles.begin(), titles.end(), kFocuser) != titles.end();
        },
        "the focuser simulator in the focuser popup");
    focuser.pick("Focuser", kFocuser);
    JourneyUser::waitUntil([&] { return isWhole(focuser.text("Focuser state")); }, "the focuser's position");
    ASSERT_FALSE(peer.value(std::string(kFocuser) + ".FOCUS_TEMPERATURE.TEMPERATURE").empty());

    JourneyUser::menu({APP_NAME(), "Preferences"});
    const JourneyUser preferences = JourneyUser().within("Preferences");
    preferences.click("Temperatures in Fahrenheit");
    preferences.click("OK");
    JourneyUser::waitUntil([&] { return !std::isnan(degreesIn(camera.text("Cooler state"), "°F")); },
                           "the cooler's temperature in °F", std::chrono::seconds(10));
    EXPECT_TRUE(camera.sees("Cooler (°F)"));
    EXPECT_FALSE(camera.sees("Cooler (°C)"));
    EXPECT_DOUBLE_EQ(degreesIn(camera.text("Cooler state"), "°F"), std::round(celsius * 1.8 + 32));
    EXPECT_TRUE(isWhole(focuser.text("Focuser state"))) << focuser.text("Focuser state");
}
