// What a user meets of the application itself: panels that step aside while another
// application is in front, a number the property browser refuses, the tooltips' delay, help
// that cannot open, and a close or quit refused while a capture run is under way.

#include "app/main_window.h"
#include "journey_app.h"
#include "journey_camera.h"
#include "journey_user.h"
#include "platform/constants.h"
#include "support/temp_dir.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QStyle>
#include <QWidget>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

using journey::chooseCamera;
using journey::filesIn;
using journey::JourneyApp;
using journey::JourneyUser;
using namespace std::chrono_literals;

namespace {

// Whether a window with this title is on the screen.
bool windowShown(const std::string& title) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->windowTitle().toStdString() == title) return true;
    }
    return false;
}

} // namespace

TEST(JourneyPanels, StepAsideWhileAnotherApplicationIsInFrontUnlessThePreferenceSaysNo) {
    JourneyApp app("");
    // Three ways a panel comes up: the property browser's own, the panels of later windows,
    // and the focus panels. The message log is a window, no panel: it stays.
    const std::vector<std::string> panels = {"Properties", "Sequencer", "Bahtinov"};
    for (const std::string& panel : panels)
        JourneyUser::menu({"Window", panel});
    JourneyUser::menu({"Window", "Message Log"});
    for (const std::string& panel : panels)
        JourneyUser::waitUntil([&] { return windowShown(panel); }, panel + " on the screen");

    JourneyUser::switchToAnotherApplication();
    for (const std::string& panel : panels)
        JourneyUser::waitUntil([&] { return !windowShown(panel); }, panel + " to hide");
    EXPECT_TRUE(windowShown("Message Log"));
    EXPECT_TRUE(app.window().isVisible());

    JourneyUser::switchBackTo(&app.window());
    for (const std::string& panel : panels)
        JourneyUser::waitUntil([&] { return windowShown(panel); }, panel + " back on the screen");

    JourneyUser::menu({APP_NAME(), "Preferences"});
    QAbstractButton* hidePanels =
        JourneyUser().within("Preferences").button("Hide panels while Zeta is in the background");
    ASSERT_TRUE(hidePanels->isChecked());
    JourneyUser::click(hidePanels);
    JourneyUser().within("Preferences").click("OK");
    // The sequencer and solver panels take the rule with the OK; the others when the Window
    // menu brings them to the front.
    JourneyUser::menu({"Window", "Plate Solver"});
    JourneyUser::waitUntil([&] { return windowShown("Plate Solver"); }, "Plate Solver on the screen");
    JourneyUser::switchBackTo(&app.window());
    JourneyUser::menu({APP_NAME(), "Preferences"});
    JourneyUser::click(JourneyUser().within("Preferences").button("Hide panels while Zeta is in the background"));
    JourneyUser().within("Preferences").click("OK");
    // Ticked again: "Plate Solver", opened while it was off, hides after the OK.
    JourneyUser::switchToAnotherApplication();
    JourneyUser::waitUntil([&] { return !windowShown("Plate Solver"); }, "Plate Solver to hide");
    JourneyUser::switchBackTo(&app.window());
    JourneyUser::menu({APP_NAME(), "Preferences"});
    JourneyUser::click(JourneyUser().within("Preferences").button("Hide panels while Zeta is in the background"));
    JourneyUser().within("Preferences").click("OK");
    JourneyUser::switchToAnotherApplication();
    JourneyUser::idle(300ms); // a panel would hide at once
    EXPECT_TRUE(windowShown("Sequencer"));
    EXPECT_TRUE(windowShown("Plate Solver"));
    EXPECT_FALSE(windowShown("Properties"));
    JourneyUser::switchBackTo(&app.window());
    for (const std::string& panel : panels)
        JourneyUser::menu({"Window", panel});
    JourneyUser::switchToAnotherApplication();
    JourneyUser::idle(300ms); // a panel would hide at once
    for (const std::string& panel : panels)
        EXPECT_TRUE(windowShown(panel)) << panel;
    JourneyUser::switchBackTo(&app.window());
    for (const std::string& panel : panels)
        EXPECT_TRUE(windowShown(panel)) << panel;
}

TEST(JourneyPropertyBrowser, LettersTypedIntoANumberAreRefusedWithTheReasonAndNothingIsSent) {
    JourneyApp app;
    chooseCamera("Simulated Camera");
    JourneyUser::menu({"Window", "Properties"});
    const JourneyUser properties = JourneyUser().within("Properties");
    // The camera's exposure is its one number a user may set: sent, it takes a frame.
    for (const char* row : {"Simulated Camera", "Camera", "Start exposure"})
        properties.clickRow(row);
    ASSERT_EQ(properties.text("Start exposure"), "0");

    // Enter leaves the text in the box; Set is what sends.
    properties.type("Start exposure", "abc", JourneyUser::Then::Enter);
    properties.click("Set");
    const QLabel* why = app.window().findChild<QLabel*>("setErrorLabel");
    ASSERT_NE(why, nullptr);
    EXPECT_TRUE(why->isVisible());
    EXPECT_EQ(why->text().toStdString(), "Start exposure: \"abc\" is not a number. Nothing was sent.");
    EXPECT_EQ(properties.text("Start exposure"), "abc");
    JourneyUser::idle(2s); // a frame would be on the picture by now
    EXPECT_EQ(JourneyUser().text("Size"), "--");

    // Reset shows what the camera holds: still what it had.
    properties.click("Reset");
    EXPECT_EQ(properties.text("Start exposure"), "0");
    EXPECT_FALSE(why->isVisible());
}

TEST(JourneyToolTips, WaitTheDelayTheLaunchSetsWhereverThePointerRests) {
    JourneyApp app;
    JourneyUser::menu({"Window", "Properties"});
    // Qt waits what the style of the widget under the pointer says; a widget with a style
    // sheet of its own (the property browser's error line) asks the application's style
    // through it.
    bool styleSheetMet = false;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible()) continue;
        for (QWidget* widget : window->findChildren<QWidget*>()) {
            styleSheetMet = styleSheetMet || !widget->styleSheet().isEmpty();
            ASSERT_EQ(widget->style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay, nullptr, widget), 300)
                << widget->metaObject()->className() << " " << widget->objectName().toStdString();
        }
    }
    EXPECT_TRUE(styleSheetMet);
}

TEST(JourneyHelp, ThatCannotOpenIsSaidOnTheWindowAndInTheLog) {
    // Journeys run on the offscreen platform, which opens no address: a desktop with no browser.
    JourneyApp app("");
    JourneyUser::menu({"Help", APP_NAME() + " Help"});
    const std::string why = JourneyUser::answerAlert("Can't open the help", "OK");
    EXPECT_EQ(why.rfind("No web browser could be started for file://", 0), 0u) << why;
    JourneyUser::waitUntil(
        [] { return JourneyUser::logged("Can't open the help: No web browser could be started for "); },
        "the reason in the message log");
}

namespace {

struct LeaveCase {
    const char* name;
    bool titleBar;       // the window's close button, else the Quit menu item
    const char* refusal; // the alert's message
    const char* logLine; // what the message log says, or nothing
};

class JourneyLeaving : public ::testing::TestWithParam<LeaveCase> {};

} // namespace

TEST_P(JourneyLeaving, IsRefusedWhileACaptureRunsAndWorksAfterStop) {
    const LeaveCase& leaving = GetParam();
    const test_support::TempDir folder("zeta-journey-leaving");
    JourneyApp app;
    const JourneyUser camera = chooseCamera("Simulated Camera");
    camera.type("Frames", "20");
    // A second between frames: the run is long enough to try leaving in the middle of it.
    camera.type("Interval (s)", "1");
    JourneyUser::chooseFolderInNextDialog(folder.path().string());
    camera.click("Capture");
    JourneyUser::waitUntil([&] { return filesIn(folder.path()) >= 1; }, "the run's first frame");

    const auto leave = [&] {
        if (leaving.titleBar)
            JourneyUser::closeWithTitleBar(&app.window());
        else
            JourneyUser::menu({APP_NAME(), "Quit " + APP_NAME()});
    };
    leave();
    EXPECT_EQ(JourneyUser::answerAlert(leaving.refusal, "OK"), "Some device operation is in progress!");
    EXPECT_TRUE(app.window().isVisible());
    if (*leaving.logLine != '\0')
        JourneyUser::waitUntil([&] { return JourneyUser::logged(leaving.logLine); }, "the refusal in the message log");
    const int taken = filesIn(folder.path());
    JourneyUser::waitUntil([&] { return filesIn(folder.path()) > taken; }, "the run to go on");

    camera.click("Stop capture");
    JourneyUser::waitUntil([&] { return camera.button("Capture")->isEnabled(); }, "the run to end");
    EXPECT_TRUE(app.quitsAfter(leave));
    EXPECT_FALSE(app.window().isVisible());
}

INSTANTIATE_TEST_SUITE_P(JourneyQuit, JourneyLeaving,
                         ::testing::Values(LeaveCase{"CloseButton", true, "Can't close the window",
                                                     "Can't close the window, some device operation is in progress!"},
                                           LeaveCase{"QuitMenu", false, "Can't quit Zeta", ""}),
                         [](const auto& info) { return std::string(info.param.name); });
