// A user focusing with a simulated camera: stars selected with the Select Stars switch and a
// click, the PSF and Bahtinov panels read, the lens put out of focus and brought back by
// Autofocus, the selection kept while the camera is chosen again.

#include "journey_app.h"
#include "journey_camera.h"
#include "journey_picture.h"
#include "journey_user.h"

#include <cmath>
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

const std::string kCanon = "Canon EOS 5D Mark III";

bool isNumber(const std::string& text) {
    char* end = nullptr;
    std::strtod(text.c_str(), &end);
    return !text.empty() && end != text.c_str() && *end == '\0';
}

double numberIn(const std::string& text) {
    return isNumber(text) ? std::strtod(text.c_str(), nullptr) : std::nan("");
}

// A preview until its first frame is on the picture.
void previewOnce(const JourneyUser& camera) {
    camera.click("Preview");
    JourneyUser::waitUntil([] { return JourneyUser().text("Size") != "--"; }, "a frame on the picture", 60s);
    camera.click("Stop capture");
    JourneyUser::waitUntil([&] { return camera.button("Preview")->isEnabled(); }, "the preview's end");
}

} // namespace

TEST(JourneyFocusing, AClickedStarFillsThePsfPanel) {
    JourneyApp app("canon");
    const JourneyUser camera = chooseCamera(kCanon);
    previewOnce(camera);
    JourneyUser().click("Select Stars");
    JourneyPicture::click(kStarColumn, kStarRow);
    JourneyUser::menu({"Window", "PSF"});
    const JourneyUser psf = JourneyUser().within("PSF");
    for (const char* figure : {"FWHM", "HFD", "Peak", "Background"})
        EXPECT_TRUE(isNumber(psf.text(figure))) << figure << ": " << psf.text(figure);
    // A right-click lets the star go.
    JourneyPicture::click(kStarColumn, kStarRow, Qt::RightButton);
    EXPECT_EQ(psf.text("FWHM"), "--");
}

TEST(JourneyFocusing, ADragOverTheMaskShowsItsLinesAndErrorInPixels) {
    ::setenv("ZETA_SIMULATED_BAHTINOV", "1", 1);
    JourneyApp app("canon");
    const JourneyUser camera = chooseCamera(kCanon);
    JourneyUser::menu({"View", "Select Stars"});
    previewOnce(camera);
    JourneyPicture::drag(kStarColumn - 120, kStarRow - 120, kStarColumn + 120, kStarRow + 120);
    // Opened from the menu, the panel analyses the rectangle at once.
    JourneyUser::menu({"Window", "Bahtinov"});
    const JourneyUser bahtinov = JourneyUser().within("Bahtinov");
    EXPECT_TRUE(isNumber(bahtinov.text("Focus error"))) << bahtinov.text("Focus error");
    EXPECT_EQ(bahtinov.text("Focus error unit"), "px");
    ::unsetenv("ZETA_SIMULATED_BAHTINOV");
}

TEST(JourneyFocusing, AutofocusFindsTheLensFocusAndACameraResetKeepsTheStar) {
    JourneyApp app("canon,generic");
    const JourneyUser camera = chooseCamera(kCanon);
    const JourneyUser focuser = JourneyUser().within("Focuser");
    JourneyUser::waitUntil(
        [&] {
            const auto titles = focuser.entries("Focuser");
            return std::find(titles.begin(), titles.end(), kCanon + " (focuser)") != titles.end();
        },
        "the lens in the focuser popup");
    focuser.pick("Focuser", kCanon + " (focuser)");
    JourneyUser::waitUntil([&] { return focuser.enabled("Steps") && focuser.button("Out")->isEnabled(); },
                           "the lens ready to move");
    // Twelve steps out of focus.
    focuser.type("Steps", "12");
    focuser.click("Out");
    JourneyUser::idle(3s);

    JourneyUser().click("Select Stars");
    camera.click("Preview");
    JourneyUser::waitUntil([] { return JourneyUser().text("Size") != "--"; }, "a frame on the picture", 60s);
    JourneyPicture::click(kStarColumn, kStarRow);
    JourneyUser::menu({"Window", "PSF"});
    const JourneyUser psf = JourneyUser().within("PSF");
    JourneyUser::waitUntil([&] { return isNumber(psf.text("FWHM")); }, "the star's FWHM");
    const double blurred = numberIn(psf.text("FWHM"));

    JourneyUser::waitUntil([&] { return focuser.button("Autofocus")->isEnabled(); }, "Autofocus enabled");
    focuser.click("Autofocus");
    JourneyUser::waitUntil([] { return JourneyUser::logged("Autofocus - done") || JourneyUser::logged("lost star"); },
                           "the end of autofocus", 240s);
    EXPECT_TRUE(JourneyUser::logged("Autofocus - done"));
    EXPECT_FALSE(JourneyUser::logged("Autofocus - lost star"));
    // Frames at the final position show a sharp star again: in focus its FWHM is about 2.8
    // pixels, three steps away about 3.9.
    JourneyUser::idle(3s);
    const double sharp = numberIn(psf.text("FWHM"));
    EXPECT_LT(sharp, 3.9) << "blurred " << blurred;
    EXPECT_GT(blurred, sharp + 1);
    camera.click("Stop capture");

    // Another camera and back: the star stays selected.
    JourneyUser::waitUntil([&] { return camera.enabled("Camera"); }, "the camera popup free again");
    camera.pick("Camera", "Simulated Camera");
    JourneyUser::waitUntil([&] { return camera.button("Preview")->isEnabled(); }, "the other camera ready");
    camera.pick("Camera", kCanon);
    JourneyUser::waitUntil([&] { return camera.button("Preview")->isEnabled(); }, "the first camera ready again");
    EXPECT_TRUE(isNumber(psf.text("FWHM"))) << psf.text("FWHM");
}
