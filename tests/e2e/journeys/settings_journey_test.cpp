// A user's telescope in the preferences: with aperture and focal length typed in, the Bahtinov
// panel gives the focus error and the critical focus zone in micrometres, the camera giving
// its pixel size.

#include "journey_app.h"
#include "journey_camera.h"
#include "journey_picture.h"
#include "journey_user.h"
#include "platform/constants.h"
#include "support/temp_dir.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

using journey::chooseCamera;
using journey::JourneyApp;
using journey::JourneyPicture;
using journey::JourneyUser;
using journey::kStarColumn;
using journey::kStarRow;
using namespace std::chrono_literals;

namespace {

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

    const JourneyUser camera = chooseCamera("Nikon D800");
    JourneyUser::waitUntil([&] { return camera.button("Capture")->isEnabled(); }, "Capture to be enabled");
    JourneyUser::menu({"View", "Select Stars"});
    const test_support::TempDir folder("zeta-journey-optics");
    camera.type("Frames", "1");
    JourneyUser::chooseFolderInNextDialog(folder.path().string());
    camera.click("Capture");
    JourneyUser::waitUntil([] { return JourneyUser().text("Size") != "--"; }, "a frame on the picture", 60s);
    JourneyUser::waitUntil([&] { return camera.button("Capture")->isEnabled(); }, "the run's end");

    JourneyPicture::drag(kStarColumn - 120, kStarRow - 120, kStarColumn + 120, kStarRow + 120);
    JourneyUser::menu({"Window", "Bahtinov"});
    const JourneyUser bahtinov = JourneyUser().within("Bahtinov");
    EXPECT_EQ(bahtinov.text("Focus error unit"), "µm");
    EXPECT_TRUE(isNumber(bahtinov.text("Focus error"))) << bahtinov.text("Focus error");
    // The D800's 4.88 µm pixels at f/5: 1000 × 4.88 / 200.
    ASSERT_TRUE(isNumber(bahtinov.text("CFZ (µm)"))) << bahtinov.text("CFZ (µm)");
    EXPECT_DOUBLE_EQ(std::strtod(bahtinov.text("CFZ (µm)").c_str(), nullptr), 24.4);
    ::unsetenv("ZETA_SIMULATED_BAHTINOV");
}
