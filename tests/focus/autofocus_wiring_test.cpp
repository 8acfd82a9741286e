// Autofocus as the focuser window runs it on the in-process bus: what reaches the focuser of
// ours, what the message log says and how the controls look, fed the selected star's numbers
// frame by frame.

#include "focus_fixture.h"

using namespace focus_test;
using test_support::TestFocuser;

namespace {

class Autofocus : public FocusBus {
protected:
    // The window with a focuser connected, a preview running and a star selected.
    void SetUp() override {
        FocusBus::SetUp();
        focuser.setView(&view);
        focuser.setNeighbours({.previewInProgress = [this] { return previewing; },
                               .starSelected = [this] { return reading.selected; },
                               .selectedStar =
                                   [this] {
                                       return reading;
                                   }});
        focuser.setAutofocusClock([this] { return now; });
        use(focuser);
        start();
        device = &addFocuser({.name = "Focuser A"});
        device->setMoveTime(20ms);
        focuser.awakeFromNib();
        ASSERT_TRUE(until([&] { return indexOf(view.titles, "Focuser A") > 0; }));
        focuser.selectFocuser(indexOf(view.titles, "Focuser A"));
        ASSERT_TRUE(until([&] { return connectionDone(*device) && view.initialStep.has_value(); }));
        device->clearEvents();
    }

    // One frame shown with a star of this rating (peak / HFD / FWHM).
    void frame(double quality) {
        reading = {.selected = true, .peak = quality, .hfd = 1, .fwhm = 1};
        focuser.autofocus();
    }
    // A group of five frames, then waits for the move it sent to end and to be seen.
    void group(double quality) {
        for (int i = 0; i < 5; ++i)
            frame(quality);
        const auto ends = [&] {
            const auto e = device->events();
            return std::count(e.begin(), e.end(), "moved Ok");
        };
        ++groups;
        ASSERT_TRUE(until([&] { return ends() == groups && focuser.state() == INDIGO_OK_STATE; }));
    }
    std::vector<std::string> autofocusLines() const {
        std::vector<std::string> lines;
        for (const std::string& line : logLines())
            if (line.rfind("Autofocus - ", 0) == 0) lines.push_back(line);
        return lines;
    }
    void expectEndedWith(const std::string& line) {
        EXPECT_FALSE(focuser.autofocusInProgress());
        ASSERT_FALSE(autofocusLines().empty());
        EXPECT_EQ(autofocusLines().back(), line);
        EXPECT_FALSE(logged("Autofocus - done"));
        EXPECT_TRUE(until([&] {
            const auto r = device->requests();
            return !r.empty() && r.back() == "FOCUSER_ABORT_MOTION ABORT_MOTION=On";
        }));
        EXPECT_FALSE(view.controls.autofocusOn);
        // Nothing more happens on the frames that follow.
        const auto lines = autofocusLines();
        frame(5);
        EXPECT_EQ(autofocusLines(), lines);
    }

    RecordingFocuserView view;
    TestFocuser* device = nullptr;
    bool previewing = true;
    long groups = 0;
    StarReading reading{.selected = true, .peak = 1, .hfd = 1, .fwhm = 1};
    std::chrono::steady_clock::time_point now{};
};

} // namespace

TEST_F(Autofocus, MovesTheFocuserAsTheGroupsRiseAndFall) {
    focuser.settingsAction(1, 10, 4, 1); // backlash 10
    focuser.autofocusAction();
    ASSERT_TRUE(focuser.autofocusInProgress());
    EXPECT_TRUE(view.controls.autofocusOn);
    EXPECT_FALSE(view.controls.autofocusEnabled);
    EXPECT_FALSE(view.controls.moveEnabled);
    EXPECT_FALSE(view.controls.stepsEnabled);
    EXPECT_FALSE(view.controls.autofocusStepsEnabled);

    for (const double quality : {1.0, 2.0, 1.5, 1.0, 0.5, 0.25})
        ASSERT_NO_FATAL_FAILURE(group(quality));
    // The moves as the device got them: a reversal and the final move back carry the backlash.
    EXPECT_EQ(moves(device->requests()), (std::vector<std::string>{
                                             "FOCUSER_DIRECTION MOVE_OUTWARD=On",
                                             "FOCUSER_STEPS STEPS=4",
                                             "FOCUSER_DIRECTION MOVE_OUTWARD=On",
                                             "FOCUSER_STEPS STEPS=4",
                                             "FOCUSER_DIRECTION MOVE_INWARD=On",
                                             "FOCUSER_STEPS STEPS=14",
                                             "FOCUSER_DIRECTION MOVE_OUTWARD=On",
                                             "FOCUSER_STEPS STEPS=12",
                                             "FOCUSER_DIRECTION MOVE_INWARD=On",
                                             "FOCUSER_STEPS STEPS=11",
                                             "FOCUSER_DIRECTION MOVE_OUTWARD=On",
                                             "FOCUSER_STEPS STEPS=11",
                                         }));
    std::vector<std::string> moveLines;
    for (const std::string& line : autofocusLines())
        if (line.find("stacking") == std::string::npos) moveLines.push_back(line);
    EXPECT_EQ(moveLines, (std::vector<std::string>{
                             "Autofocus - quality = 1.0, moving out, step size = 4.0",
                             "Autofocus - quality = 2.0, moving out, step size = 4.0",
                             "Autofocus - quality = 1.5, switching in, step size = 4.0",
                             "Autofocus - quality = 1.0, switching out, step size = 2.0",
                             "Autofocus - quality = 0.5, switching in, step size = 1.0",
                             "Autofocus - done",
                         }));
    EXPECT_FALSE(focuser.autofocusInProgress());
    // The last move's own update refreshes the window.
    EXPECT_TRUE(until([&] { return !view.controls.autofocusOn && view.controls.moveEnabled; }));
}

TEST_F(Autofocus, FramesWhileTheFocuserMovesAreNotCounted) {
    device->setMoveTime(1h);
    focuser.autofocusAction();
    for (int i = 0; i < 5; ++i)
        frame(1);
    // The move is on its way: neither the frames before its Busy state comes back nor those
    // while it is Busy count.
    for (int i = 0; i < 3; ++i)
        frame(2);
    ASSERT_TRUE(until([&] { return focuser.state() == INDIGO_BUSY_STATE; }));
    for (int i = 0; i < 3; ++i)
        frame(2);
    EXPECT_EQ(autofocusLines().back(), "Autofocus - quality = 1.0, moving out, step size = 4.0");

    // A move that never ends ends the run after a bounded wait.
    now += std::chrono::minutes(3);
    frame(2);
    expectEndedWith("Autofocus - failed, the focuser did not finish its move");
}

TEST_F(Autofocus, EndsWithAnAbortWhenTheStarIsLostOrCantBeRated) {
    struct Case {
        const char* name;
        std::function<void()> spoil;
        const char* line;
    } cases[] = {
        {"star unselected", [this] { reading.selected = false; }, "Autofocus - lost star"},
        {"Alert from the focuser",
         [this] {
             device->injectStepsState(INDIGO_ALERT_STATE);
             ASSERT_TRUE(until([&] { return focuser.state() == INDIGO_ALERT_STATE; }));
         },
         "Autofocus - lost star"},
        {"HFD field empty", [this] { reading.hfd.reset(); }, "Autofocus - failed, the star can't be measured"},
        {"FWHM of 0", [this] { reading.fwhm = 0; }, "Autofocus - failed, the star can't be measured"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        device->injectStepsState(INDIGO_OK_STATE);
        ASSERT_TRUE(until([&] { return focuser.state() == INDIGO_OK_STATE; }));
        focuser.autofocusAction();
        frame(1);
        frame(1);
        reading = {.selected = true, .peak = 1, .hfd = 1, .fwhm = 1};
        ASSERT_NO_FATAL_FAILURE(c.spoil());
        focuser.autofocus();
        expectEndedWith(c.line);
        device->clearEvents();
    }
}

TEST_F(Autofocus, StartsOnlyDuringAPreviewAndStopEndsIt) {
    previewing = false;
    focuser.autofocusAction();
    EXPECT_FALSE(focuser.autofocusInProgress());
    frame(1);
    EXPECT_TRUE(autofocusLines().empty());

    previewing = true;
    focuser.autofocusAction();
    frame(1);
    EXPECT_EQ(autofocusLines(), std::vector<std::string>{"Autofocus - stacking images (1/4)"});
    focuser.stopAction(); // the stop button, or the camera window's stop
    EXPECT_FALSE(focuser.autofocusInProgress());
    EXPECT_FALSE(view.controls.autofocusOn);
    for (int i = 0; i < 5; ++i)
        frame(1);
    EXPECT_EQ(autofocusLines().size(), 1u);
    EXPECT_TRUE(until(
        [&] { return moves(device->requests()) == std::vector<std::string>{"FOCUSER_ABORT_MOTION ABORT_MOTION=On"}; }));
}

TEST_F(Autofocus, TheNextManualMoveCountsBacklashFromWhereAutofocusLeftTheFocuser) {
    focuser.settingsAction(1, 10, 4, 4); // a final step of 4: done at the first group that is not better
    focuser.focusOut();                  // the last manual move went outward
    ASSERT_TRUE(until([&] {
        const auto e = device->events();
        return std::count(e.begin(), e.end(), "moved Ok") == 1 && focuser.state() == INDIGO_OK_STATE;
    }));
    device->clearEvents();
    focuser.autofocusAction();
    ASSERT_NO_FATAL_FAILURE(group(2));
    ASSERT_NO_FATAL_FAILURE(group(1)); // one step back inward, with the backlash
    ASSERT_TRUE(logged("Autofocus - done"));
    device->clearEvents();

    focuser.focusOut(); // a reversal from autofocus's last move
    EXPECT_TRUE(until([&] {
        return moves(device->requests()) ==
               std::vector<std::string>{"FOCUSER_DIRECTION MOVE_OUTWARD=On", "FOCUSER_STEPS STEPS=11"};
    })) << testing::PrintToString(moves(device->requests()));
}
