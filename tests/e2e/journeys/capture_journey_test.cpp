// A user's capture run with a simulated camera: the camera chosen in the camera window, the
// frame count typed, a folder chosen, Capture clicked.

#include "journey_app.h"
#include "journey_user.h"
#include "support/temp_dir.h"

#include <filesystem>
#include <gtest/gtest.h>

using journey::JourneyApp;
using journey::JourneyUser;

namespace {

int filesIn(const std::filesystem::path& folder) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        count += entry.is_regular_file() ? 1 : 0;
    return count;
}

// The camera window with the camera chosen and connected.
JourneyUser chooseCamera(const std::string& title) {
    const JourneyUser camera = JourneyUser().within("Camera");
    JourneyUser::waitUntil(
        [&] {
            const auto titles = camera.entries("Camera");
            return std::find(titles.begin(), titles.end(), title) != titles.end();
        },
        title + " in the camera popup");
    camera.pick("Camera", title);
    // Connected once the window offers the camera's settings.
    JourneyUser::waitUntil([&] { return camera.sees("ISO") && camera.enabled("ISO"); }, title + "'s ISO popup");
    return camera;
}

} // namespace

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
