// A user's capture run with a simulated camera: the camera chosen in the camera window, the
// frame count typed, a folder chosen, Capture clicked.

#include "journey_app.h"
#include "journey_camera.h"
#include "journey_user.h"
#include "support/temp_dir.h"

#include <filesystem>
#include <gtest/gtest.h>

using journey::chooseCamera;
using journey::filesIn;
using journey::JourneyApp;
using journey::JourneyUser;

TEST(JourneyCapture, ThreeTypedFramesWriteThreeFiles) {
    const test_support::TempDir folder("zeta-journey-frames");
    JourneyApp app;
    const JourneyUser camera = chooseCamera("Simulated Camera");

    camera.type("Frames", "3");
    JourneyUser::chooseFolderInNextDialog(folder.path().string());
    camera.click("Capture");
    JourneyUser::waitUntil([&] { return filesIn(folder.path()) == 3 && camera.button("Capture")->isEnabled(); },
                           "3 files and the run's end");
    JourneyUser::idle(std::chrono::milliseconds(500)); // a fourth frame would be on its way

    EXPECT_EQ(filesIn(folder.path()), 3);
    EXPECT_EQ(camera.text("Frames"), "3");
    EXPECT_EQ(camera.text("Frames taken"), "--/--");
}

TEST(JourneyCapture, TypedTextStaysAsTypedWhereTheListOffersLongerValues) {
    JourneyApp app;
    const JourneyUser camera = chooseCamera("Simulated Camera");
    // The lists offer 30, 400 and 10: none of them may replace what was typed.
    const std::pair<const char*, const char*> cases[] = {{"Frames", "3"}, {"Frames", "4"}, {"Interval (s)", "1"}};
    for (const auto& [box, typed] : cases) {
        camera.type(box, typed);
        EXPECT_EQ(camera.text(box), typed) << box;
    }
}

namespace {

struct StopCase {
    const char* name;
    const char* start; // the button that starts the run
    bool countsFrames; // a capture run counts its frames in "Frames taken"
};

class JourneyStop : public ::testing::TestWithParam<StopCase> {};

} // namespace

TEST_P(JourneyStop, HalfWayLeavesNoCountAndNoFrameRate) {
    const test_support::TempDir folder("zeta-journey-stop");
    JourneyApp app;
    const JourneyUser camera = chooseCamera("Simulated Camera");
    camera.type("Frames", "20");
    // A second between frames: the run is still going when the user stops it.
    camera.type("Interval (s)", "1");
    JourneyUser::chooseFolderInNextDialog(folder.path().string());
    camera.click("Folder");

    camera.click(GetParam().start);
    if (GetParam().countsFrames)
        JourneyUser::waitUntil([&] { return filesIn(folder.path()) == 2; }, "2 of 20 frames taken");
    else
        JourneyUser::waitUntil([&] { return !camera.text("Frame rate").empty(); }, "a frame rate");
    camera.click("Stop capture");
    JourneyUser::waitUntil([&] { return camera.button("Capture")->isEnabled(); }, "the run to end");
    JourneyUser::idle(std::chrono::milliseconds(500)); // what the run had queued arrives too

    EXPECT_EQ(camera.text("Frames taken"), "--/--");
    EXPECT_EQ(camera.text("Frame rate"), "");
}

INSTANTIATE_TEST_SUITE_P(JourneyRuns, JourneyStop,
                         ::testing::Values(StopCase{"Capture", "Capture", true}, StopCase{"Preview", "Preview", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(JourneyCaptureFolder, IsShownAndRememberedByTheNextLaunch) {
    const test_support::TempDir folder("zeta-journey-folder");
    {
        JourneyApp app;
        const JourneyUser camera = JourneyUser().within("Camera");
        EXPECT_EQ(camera.text("Capture folder"), "None chosen");
        JourneyUser::chooseFolderInNextDialog(folder.path().string());
        camera.click("Folder");
        JourneyUser::waitUntil([&] { return camera.text("Capture folder") == folder.path().string(); },
                               "the chosen folder in the window");
    }
    JourneyApp again;
    EXPECT_EQ(JourneyUser().within("Camera").text("Capture folder"), folder.path().string());
}
