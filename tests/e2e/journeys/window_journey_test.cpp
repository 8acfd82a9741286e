// A user's settings and main window: the output format chosen in the preferences or beside
// the capture buttons, the window's size and docks kept from one start to the next, and
// server ports that are refused where they are typed.

#include "app/main_window.h"
#include "journey_app.h"
#include "journey_user.h"
#include "platform/constants.h"
#include "support/command.h"
#include "support/temp_dir.h"

#include <QAbstractButton>
#include <QDockWidget>
#include <QListWidget>
#include <QWidget>
#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

using journey::JourneyApp;
using journey::JourneyUser;

namespace {

std::vector<std::filesystem::path> filesIn(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.is_regular_file()) files.push_back(entry.path());
    return files;
}

// The frames ffprobe reads in the video's first stream.
std::string framesRead(const std::filesystem::path& video) {
    std::string out = test_support::commandOutput("ffprobe -v error -count_frames -select_streams v:0 "
                                                  "-show_entries stream=nb_read_frames -of csv=p=0 '" +
                                                  video.string() + "' 2>/dev/null");
    while (!out.empty() && (out.back() == '\n' || out.back() == ' '))
        out.pop_back();
    return out;
}

struct FormatCase {
    const char* name;
    const char* entry;     // as the popups show it
    bool inPreferences;    // chosen in the preferences, else beside the capture buttons
    const char* extension; // of the one file written
};

class JourneyOutputFormat : public ::testing::TestWithParam<FormatCase> {};

} // namespace

TEST_P(JourneyOutputFormat, FiveFramesMakeOneVideoOfFiveFrames) {
    const FormatCase& format = GetParam();
    const test_support::TempDir folder("zeta-journey-video");
    JourneyApp app;
    const JourneyUser camera = JourneyUser().within("Camera");
    JourneyUser::waitUntil(
        [&] {
            const auto titles = camera.entries("Camera");
            return std::find(titles.begin(), titles.end(), "Simulated Camera") != titles.end();
        },
        "the simulated camera in the camera popup");
    camera.pick("Camera", "Simulated Camera");
    // Connected once the window offers the camera's settings.
    JourneyUser::waitUntil([&] { return camera.sees("ISO") && camera.enabled("ISO"); }, "the camera's ISO popup");
    if (format.inPreferences) {
        JourneyUser::menu({APP_NAME(), "Preferences"});
        JourneyUser().within("Capture").pick("Output format", format.entry);
        JourneyUser().within("Preferences").click("OK");
        // The camera window shows what the preferences chose.
        EXPECT_EQ(camera.text("Output"), format.entry);
    } else {
        camera.pick("Output", format.entry);
    }
    camera.type("Frames", "5");
    JourneyUser::chooseFolderInNextDialog(folder.path().string());
    camera.click("Capture");
    JourneyUser::waitUntil([&] { return camera.text("Frames taken") != "--/--" || !filesIn(folder.path()).empty(); },
                           "the run to start");
    JourneyUser::waitUntil(
        [&] { return camera.button("Capture")->isEnabled() && camera.text("Frames taken") == "--/--"; },
        "the run's end", std::chrono::seconds(60));

    const auto files = filesIn(folder.path());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].extension(), format.extension);
    EXPECT_EQ(framesRead(files[0]), "5");
}

INSTANTIATE_TEST_SUITE_P(JourneyVideos, JourneyOutputFormat,
                         ::testing::Values(FormatCase{"SER", "SER video", true, ".ser"},
                                           FormatCase{"AVI", "AVI video", false, ".avi"},
                                           FormatCase{"MOV", "MOV video", true, ".mov"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(JourneyMainWindow, ResizedAndRearrangedItIsTheSameAtTheNextStart) {
    QRect geometry;
    {
        JourneyApp app("", JourneyApp::WindowSize::AsTheApplicationChooses);
        zeta::app::MainWindow& window = app.window();
        // Dragged smaller, as a window manager does for the user, and the wheel's dock floated
        // with its title bar's button.
        window.setGeometry(20, 30, 760, 540);
        auto* wheel = window.findChild<QDockWidget*>("Filter Wheel dock");
        ASSERT_NE(wheel, nullptr);
        wheel->raise();
        JourneyUser::idle(std::chrono::milliseconds(100));
        JourneyUser::click(wheel->findChild<QAbstractButton*>("qt_dockwidget_floatbutton"));
        ASSERT_TRUE(wheel->isFloating());
        geometry = window.geometry();
        JourneyUser::menu({APP_NAME(), "Quit " + APP_NAME()});
    }
    JourneyApp again("", JourneyApp::WindowSize::AsTheApplicationChooses);
    EXPECT_EQ(again.window().geometry(), geometry);
    EXPECT_TRUE(again.window().findChild<QDockWidget*>("Filter Wheel dock")->isFloating());
    EXPECT_FALSE(again.window().findChild<QDockWidget*>("Camera dock")->isFloating());
}

TEST(JourneyServices, APortThatIsNotOneIsRefusedWithAMessageAndNothingIsAdded) {
    JourneyApp app("");
    JourneyUser::menu({APP_NAME(), "Preferences"});
    const JourneyUser services = JourneyUser().within("Services");
    auto* list = app.window().findChild<QListWidget*>("servicesTableView");
    ASSERT_NE(list, nullptr);
    for (const char* port : {"99999", "abc"}) {
        services.type("Host", "localhost");
        services.type("Port", port);
        services.click("Add");
        EXPECT_EQ(JourneyUser::textOf(app.window().findChild<QWidget*>("serviceEntryError")),
                  "The port must be a whole number from 1 to 65535.")
            << port;
        EXPECT_EQ(list->count(), 0) << port;
    }
    JourneyUser().within("Preferences").click("OK");
    JourneyUser::menu({APP_NAME(), "Preferences"});
    EXPECT_EQ(list->count(), 0);
}
