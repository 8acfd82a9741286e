// A user's first look at the main window: at its default size, a 1280 x 1024 frame of an INDI
// CCD taken with Preview 1 gets at least half the window's width.

#include "app/main_window.h"
#include "journey_app.h"
#include "journey_peer.h"
#include "journey_user.h"

#include <QWidget>
#include <algorithm>
#include <gtest/gtest.h>

using journey::JourneyApp;
using journey::JourneyPeer;
using journey::JourneyUser;

TEST(JourneyMainWindow, AtTheDefaultSizePreview1FillsAtLeastHalfTheWidth) {
    JourneyPeer peer({"indi_simulator_ccd"});
    JourneyApp app("", JourneyApp::WindowSize::AsTheApplicationChooses);
    peer.addThroughServices();
    const JourneyUser camera = JourneyUser().within("Camera");
    JourneyUser::waitUntil(
        [&] {
            const auto titles = camera.entries("Camera");
            return std::find(titles.begin(), titles.end(), "CCD Simulator") != titles.end();
        },
        "the CCD simulator in the camera popup");
    camera.pick("Camera", "CCD Simulator");
    JourneyUser::waitUntil([&] { return camera.button("Preview 1")->isEnabled() && camera.enabled("Duration (s)"); },
                           "the CCD simulator to connect");
    camera.click("Preview 1");
    const JourneyUser image = JourneyUser(app.window().centralWidget());
    std::string size;
    try {
        JourneyUser::waitUntil(
            [&] {
                size = image.text("Size");
                // Written with the locale's grouping ("1,280 x 1,024" in English).
                std::string digits = size;
                std::erase(digits, ',');
                return digits == "1280 x 1024";
            },
            "the 1280 x 1024 frame");
    } catch (const journey::JourneyError&) {
        std::string log;
        for (const std::string& line : JourneyUser::logLines())
            log += line + "\n";
        FAIL() << "size shown: " << size << "\n" << log;
    }
    JourneyUser::idle(std::chrono::milliseconds(200));
    QWidget* picture = app.window().centralWidget()->findChild<QWidget*>("clickableView");
    ASSERT_NE(picture, nullptr);
    EXPECT_GE(picture->width() * 2, app.window().width())
        << picture->width() << " of a window " << app.window().width() << " wide";
}
