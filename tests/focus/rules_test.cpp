// The move rules, speed rounding, state text and multi-step pacing, fed plain numbers.

#include "focus/focus_rules.h"

#include <gtest/gtest.h>

using namespace zeta::focus;
using namespace std::chrono_literals;

namespace {

constexpr Direction In = Direction::Inward;
constexpr Direction Out = Direction::Outward;

} // namespace

TEST(MoveRules, BacklashIsAddedOncePerReversal) {
    MoveRules rules;
    std::vector<double> sent;
    for (Direction d : {Out, Out, In, In, Out}) {
        const auto move = rules.step(d, 10, 5);
        ASSERT_TRUE(move);
        EXPECT_EQ(move->direction, d);
        sent.push_back(move->steps);
    }
    EXPECT_EQ(sent, (std::vector<double>{10, 10, 15, 10, 15}));
}

TEST(MoveRules, StepsBelowOneSendNothingAndKeepTheDirection) {
    struct Case {
        int steps, backlash;
        std::optional<double> sent;
        Direction after;
    };
    // The last move went outward; each case moves inward.
    const Case cases[] = {
        {0, 5, std::nullopt, Out}, {-4, 5, std::nullopt, Out},
        {1, -3, 1.0, In}, // negative backlash counts as 0
        {1, 0, 1.0, In},           {3, 2, 5.0, In},
    };
    for (const Case& c : cases) {
        MoveRules rules;
        rules.step(Out, 1, 0);
        const auto move = rules.step(In, c.steps, c.backlash);
        EXPECT_EQ(move ? std::optional<double>(move->steps) : std::nullopt, c.sent) << c.steps << "/" << c.backlash;
        EXPECT_EQ(rules.direction(), c.after) << c.steps << "/" << c.backlash;
    }
}

TEST(MoveRules, HoldLeavesTheDirectionAndResetForgetsIt) {
    MoveRules rules;
    rules.step(Out, 2, 7);
    EXPECT_EQ(MoveRules::hold(In), (FocusMove{In, 65535}));
    EXPECT_EQ(rules.direction(), Out);
    rules.reset();
    EXPECT_EQ(rules.step(In, 2, 7)->steps, 2); // no backlash owed after a reset
}

TEST(Speed, RoundsToTheItemsStep) {
    struct Case {
        double value, min, max, step, shown, increment;
    };
    const Case cases[] = {
        {37, 0, 100, 5, 35, 5},    {38, 0, 100, 5, 40, 5},      {37.5, 0, 100, 5, 40, 5}, // halves away from zero
        {2.5, 0, 10, 0, 3, 1},     {3.4, 1, 5, 1, 3, 1},        {120, 0, 100, 5, 100, 5}, // clamped first
        {-2.5, -10, 10, 0, -3, 1}, {0.26, 0, 1, 0.1, 0.3, 0.1},
    };
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(roundedSpeed(c.value, c.min, c.max, c.step), c.shown) << c.value << " step " << c.step;
        EXPECT_DOUBLE_EQ(speedIncrement(c.step), c.increment);
    }
    EXPECT_EQ(speedText(35), "35");
    EXPECT_EQ(speedText(0.3), "0.3");
}

TEST(StateText, PositionAndTemperatureInEitherUnit) {
    EXPECT_EQ(focuserStateText(1250, 18.4, true, false), "1250 / 18 °C");
    EXPECT_EQ(focuserStateText(1250, 18.4, true, true), "1250 / 65 °F");
    EXPECT_EQ(focuserStateText(std::nullopt, std::nullopt, true, false), "-- / -- °C");
    EXPECT_EQ(focuserStateText(std::nullopt, std::nullopt, true, true), "-- / -- °F");
    EXPECT_EQ(focuserStateText(1250, 18.4, false, true), "1250");
    EXPECT_EQ(focuserStateText(std::nullopt, 18.4, false, false), "--");
}

namespace {

using Action = MultiStepPacer::Action;

MultiStepPacer::Observation seen(indigo_property_state state, std::chrono::milliseconds since, bool stopped = false) {
    return {state, stopped, since};
}

} // namespace

TEST(MultiStepPacer, EachMoveWaitsForTheSettleTimeAndTheEndOfBusy) {
    MultiStepPacer pacer(2);
    ASSERT_EQ(pacer.next(seen(INDIGO_OK_STATE, 0ms)), Action::SendMove);
    pacer.moveSent();
    EXPECT_EQ(pacer.next(seen(INDIGO_OK_STATE, 0ms)), Action::Wait);      // just sent
    EXPECT_EQ(pacer.next(seen(INDIGO_BUSY_STATE, 500ms)), Action::Wait);  // settling
    EXPECT_EQ(pacer.next(seen(INDIGO_OK_STATE, 900ms)), Action::Wait);    // settle time not over
    EXPECT_EQ(pacer.next(seen(INDIGO_BUSY_STATE, 1500ms)), Action::Wait); // still moving
    ASSERT_EQ(pacer.next(seen(INDIGO_OK_STATE, 1600ms)), Action::SendMove);
    pacer.moveSent();
    EXPECT_EQ(pacer.next(seen(INDIGO_OK_STATE, 0ms)), Action::Wait);
    EXPECT_EQ(pacer.next(seen(INDIGO_OK_STATE, 1000ms)), Action::Finish);
    EXPECT_EQ(pacer.movesSent(), 2);
}

TEST(MultiStepPacer, AlertStopAndEmptyCountsEndTheRun) {
    struct Case {
        const char* what;
        int count;
        indigo_property_state before; // state when the run starts
        indigo_property_state after;  // state reported once the first move settles
        bool stop;
        int moves;
    };
    const Case cases[] = {
        {"count 0", 0, INDIGO_OK_STATE, INDIGO_OK_STATE, false, 0},
        {"negative count", -3, INDIGO_OK_STATE, INDIGO_OK_STATE, false, 0},
        {"standing Alert: one move, then the end", 3, INDIGO_ALERT_STATE, INDIGO_OK_STATE, false, 1},
        {"Alert after the first move", 3, INDIGO_OK_STATE, INDIGO_ALERT_STATE, false, 1},
        {"stopped while the first move settles", 3, INDIGO_OK_STATE, INDIGO_OK_STATE, true, 1},
        {"three good moves", 3, INDIGO_OK_STATE, INDIGO_OK_STATE, false, 3},
    };
    for (const Case& c : cases) {
        MultiStepPacer pacer(c.count);
        indigo_property_state state = c.before;
        for (int guard = 0; guard < 100 && !pacer.finished(); ++guard) {
            const Action a = pacer.next(seen(state, pacer.movesSent() ? 2000ms : 0ms, c.stop && pacer.movesSent() > 0));
            if (a == Action::SendMove) {
                pacer.moveSent();
                if (pacer.next(seen(state, 0ms)) == Action::Finish) break;
                state = c.after;
            }
        }
        EXPECT_TRUE(pacer.finished()) << c.what;
        EXPECT_EQ(pacer.movesSent(), c.moves) << c.what;
    }
}
