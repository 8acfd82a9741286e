// The autofocus decision fed scripted frames: what it asks the focuser to do, and its log.

#include "focus/autofocus_routine.h"

#include <gtest/gtest.h>

namespace {

using zeta::focus::AutofocusAction;
using zeta::focus::AutofocusFrame;
using zeta::focus::AutofocusRoutine;
using Kind = AutofocusAction::Kind;

// The actions as short text: "out", "in", "steps 4", "abort", or the log line.
std::vector<std::string> brief(const std::vector<AutofocusAction>& actions) {
    std::vector<std::string> out;
    for (const auto& action : actions) {
        switch (action.kind) {
        case Kind::Direction:
            out.push_back(action.outward ? "out" : "in");
            break;
        case Kind::Steps:
            out.push_back("steps " + AutofocusRoutine::formatNumber(action.steps));
            break;
        case Kind::Abort:
            out.push_back("abort");
            break;
        case Kind::Log:
            out.push_back(action.text);
            break;
        }
    }
    return out;
}

AutofocusFrame star(double quality) {
    AutofocusFrame frame;
    frame.starSelected = true;
    frame.peak = quality;
    frame.hfd = 1;
    frame.fwhm = 1;
    frame.focuserState = 1;
    return frame;
}

// Feeds one group of five frames of the given rating; returns the moves of the fifth (the
// four "stacking" lines are checked on the way).
std::vector<std::string> group(AutofocusRoutine& routine, double quality) {
    for (int i = 1; i <= 4; ++i) {
        const auto stacked = brief(routine.frame(star(quality)));
        EXPECT_EQ(stacked, std::vector<std::string>{"Autofocus - stacking images (" + std::to_string(i) + "/4)"});
    }
    return brief(routine.frame(star(quality)));
}

TEST(Autofocus, ClimbsReversesHalvesAndStepsBackAtTheEnd) {
    AutofocusRoutine routine;
    routine.start(true, 4, 1, 0);
    EXPECT_EQ(group(routine, 1.0),
              (std::vector<std::string>{"out", "Autofocus - quality = 1.0, moving out, step size = 4.0", "steps 4.0"}));
    EXPECT_EQ(group(routine, 2.0),
              (std::vector<std::string>{"out", "Autofocus - quality = 2.0, moving out, step size = 4.0", "steps 4.0"}));
    EXPECT_EQ(group(routine, 1.5), (std::vector<std::string>{
                                       "in", "steps 4.0", "Autofocus - quality = 1.5, switching in, step size = 4.0"}));
    EXPECT_EQ(
        group(routine, 1.2),
        (std::vector<std::string>{"out", "steps 2.0", "Autofocus - quality = 1.2, switching out, step size = 2.0"}));
    EXPECT_EQ(group(routine, 1.0), (std::vector<std::string>{
                                       "in", "steps 1.0", "Autofocus - quality = 1.0, switching in, step size = 1.0"}));
    EXPECT_EQ(group(routine, 0.9), (std::vector<std::string>{"out", "steps 1.0", "Autofocus - done"}));
    EXPECT_FALSE(routine.inProgress());
    EXPECT_TRUE(routine.frame(star(5)).empty());
}

struct StepCase {
    const char* name;
    double initial, final, backlash;
    // Ratings of successive groups, and the steps sent after each.
    std::vector<double> groups;
    std::vector<std::string> steps;
    bool done;
};

class AutofocusSteps : public ::testing::TestWithParam<StepCase> {};

TEST_P(AutofocusSteps, SendsTheseSteps) {
    const StepCase& c = GetParam();
    AutofocusRoutine routine;
    routine.start(true, c.initial, c.final, c.backlash);
    std::vector<std::string> sent;
    for (double rating : c.groups) {
        for (const auto& line : group(routine, rating))
            if (line.rfind("steps ", 0) == 0) sent.push_back(line.substr(6));
    }
    EXPECT_EQ(sent, c.steps);
    EXPECT_EQ(!routine.inProgress(), c.done);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AutofocusSteps,
    ::testing::Values(
        // The first reversal keeps the step; later ones halve it, halves rounding away from zero.
        StepCase{
            "HalvingFromFive", 5, 1, 0, {1, 0.9, 0.8, 0.7, 0.6, 0.5}, {"5.0", "5.0", "3.0", "2.0", "1.0", "1.0"}, true},
        StepCase{"StepOfOneEndsAtTheFirstWorseGroup", 1, 1, 0, {1, 0.5}, {"1.0", "1.0"}, true},
        StepCase{"FinalLargerThanInitialStepsBackOnce", 4, 10, 0, {1, 0.5}, {"4.0", "4.0"}, true},
        // Reversals and the last move back carry the backlash; moves in one direction don't.
        StepCase{"BacklashOnReversalsOnly",
                 4,
                 1,
                 10,
                 {1, 2, 1.5, 1.2, 1.0, 0.9},
                 {"4.0", "4.0", "14.0", "12.0", "11.0", "11.0"},
                 true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Autofocus, FramesWhileTheFocuserIsBusyAreNotCounted) {
    AutofocusRoutine routine;
    routine.start(true, 4, 1, 0);
    EXPECT_EQ(brief(routine.frame(star(1))), std::vector<std::string>{"Autofocus - stacking images (1/4)"});
    AutofocusFrame busy = star(1);
    busy.focuserState = 2;
    EXPECT_TRUE(routine.frame(busy).empty());
    AutofocusFrame noFocuser = star(1);
    noFocuser.focuserReady = false;
    EXPECT_TRUE(routine.frame(noFocuser).empty());
    EXPECT_EQ(brief(routine.frame(star(1))), std::vector<std::string>{"Autofocus - stacking images (2/4)"});
}

TEST(Autofocus, AFocuserThatStaysBusyEndsTheRun) {
    AutofocusRoutine routine;
    routine.start(true, 4, 1, 0);
    AutofocusFrame busy = star(1);
    busy.focuserState = 2;
    const auto t0 = std::chrono::steady_clock::time_point{};
    busy.time = t0;
    EXPECT_TRUE(routine.frame(busy).empty());
    busy.time = t0 + AutofocusRoutine::kBusyLimit - std::chrono::seconds(1);
    EXPECT_TRUE(routine.frame(busy).empty());
    busy.time = t0 + AutofocusRoutine::kBusyLimit;
    EXPECT_EQ(brief(routine.frame(busy)),
              (std::vector<std::string>{"abort", "Autofocus - failed, the focuser did not finish its move"}));
    EXPECT_FALSE(routine.inProgress());
}

TEST(Autofocus, LostStarOrAlertAbortsTheRun) {
    for (bool alert : {false, true}) {
        AutofocusRoutine routine;
        routine.start(true, 4, 1, 0);
        routine.frame(star(1));
        AutofocusFrame frame = star(1);
        if (alert)
            frame.focuserState = 3;
        else
            frame.starSelected = false;
        EXPECT_EQ(brief(routine.frame(frame)), (std::vector<std::string>{"abort", "Autofocus - lost star"}));
        EXPECT_FALSE(routine.inProgress());
    }
}

TEST(Autofocus, AStarThatCantBeMeasuredFailsInsteadOfFindingAFalseFocus) {
    AutofocusRoutine routine;
    routine.start(true, 4, 1, 0);
    AutofocusFrame flat = star(1);
    flat.hfd = 0;
    EXPECT_EQ(brief(routine.frame(flat)),
              (std::vector<std::string>{"abort", "Autofocus - failed, the star can't be measured"}));
    EXPECT_FALSE(routine.inProgress());
}

TEST(Autofocus, StartsOnlyDuringAPreview) {
    AutofocusRoutine routine;
    routine.start(false, 4, 1, 0);
    EXPECT_FALSE(routine.inProgress());
    EXPECT_TRUE(routine.frame(star(1)).empty());
}

TEST(Autofocus, LogNumbers) {
    EXPECT_EQ(AutofocusRoutine::formatNumber(4), "4.0");
    EXPECT_EQ(AutofocusRoutine::formatNumber(0.02), "0.02");
    EXPECT_EQ(AutofocusRoutine::formatNumber(12.35), "12.35");
    EXPECT_EQ(AutofocusRoutine::formatNumber(1e20), "1e+20");
}

} // namespace
