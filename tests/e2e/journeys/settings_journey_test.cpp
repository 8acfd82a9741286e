// A user's telescope in the preferences: with aperture and focal length typed in, the Bahtinov
// panel gives the focus error and the critical focus zone in micrometres, the camera giving
// its pixel size.

#include "journey_app.h"
#include "journey_picture.h"
#include "journey_user.h"
#include "platform/constants.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

using journey::JourneyApp;
using journey::JourneyPicture;
using journey::JourneyUser;
using namespace std::chrono_literals;

namespace {

// The simulated frames are 1920 x 1280 with their brightest star, the one behind the mask, in
// the middle.
constexpr double kCentreColumn = 960, kCentreRow = 640;

bool isNumber(const std::string& text) {
    char* end = nullptr;
    std::strtod(text.c_str(), &end);
    return !text.empty() && end != text.c_str() && *end == '\0';
}

} // namespace

TEST(JourneySettings, TelescopeOpticsGiveTheCriticalFocusZoneInMicrometres) {
    ::setenv("ZETA_SIMULATED_BAHTINOV", "1", 1);
    JourneyApp app("nikon");

    // Enter in a box of the sheet confirms the sheet, so each value is a visit of its own.
    for (const auto& [box, typed] : {std::pair{"Aperture", "200"}, std::pair{"Focal length", "1000"}}) {
        JourneyUser::menu({APP_NAME(), "Preferences"});
        JourneyUser().within("Preferences").within("Telescope").type(box, typed);
        JourneyUser::waitUntil([] { return !JourneyUser().sees("Focal length"); }, "the preferences to close");
    }

    const JourneyUser camera = JourneyUser().within("Camera");
    const std::string kNikon = "Nikon D800";
    JourneyUser::waitUntil(
        [&] {
            const auto titles = camera.entries("Camera");
            return std::find(titles.begin(), titles.end(), kNikon) != titles.end();
        },
        kNikon + " in the camera popup");
    camera.pick("Camera", kNikon);
    JourneyUser::waitUntil(
        [&] { return camera.sees("ISO") && camera.enabled("ISO") && camera.button("Capture")->isEnabled(); },
        kNikon + " ready");
    JourneyUser::menu({"View", "Select Stars"});
    const test_support::TempDir folder("zeta-journey-optics");
    camera.type("Frames", "1");
    JourneyUser::chooseFolderInNextDialog(folder.path().string());
    camera.click("Capture");
    JourneyUser::waitUntil([] { return JourneyUser().text("Size") != "--"; }, "a frame on the picture", 60s);
    JourneyUser::waitUntil([&] { return camera.button("Capture")->isEnabled(); }, "the run's end");

    JourneyPicture::drag(kCentreColumn - 120, kCentreRow - 120, kCentreColumn + 120, kCentreRow + 120);
    JourneyUser::menu({"Window", "Bahtinov"});
    const JourneyUser bahtinov = JourneyUser().within("Bahtinov");
    EXPECT_EQ(bahtinov.text("Focus error unit"), "µm");
    EXPECT_TRUE(isNumber(bahtinov.text("Focus error"))) << bahtinov.text("Focus error");
    // The D800's 4.88 µm pixels at f/5: 1000 × 4.88 / 200.
    ASSERT_TRUE(isNumber(bahtinov.text("CFZ (µm)"))) << bahtinov.text("CFZ (µm)");
    EXPECT_DOUBLE_EQ(std::strtod(bahtinov.text("CFZ (µm)").c_str(), nullptr), 24.4);
    ::unsetenv("ZETA_SIMULATED_BAHTINOV");
}
