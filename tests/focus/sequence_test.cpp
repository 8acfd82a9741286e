// The sequencer's run: the checks of a row's typed values, the plan read from the rows, the
// order of its captures and how a sequence ends, and the controller on a recording panel and a
// camera window of ours (no display, no bus).

#include "Common/indigo_client.h"
#include "focus/capture_values.h"
#include "focus/sequence_runner.h"
#include "focus/sequencer_controller.h"
#include "platform/constants.h"
#include "platform/dispatch.h"
#include "platform/gui/named_image.h"
#include "support/recording_sequencer_panel.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using zeta::focus::SequenceRow;
using zeta::focus::SequenceRunner;
using Outcome = SequenceRunner::Outcome;
using Step = SequenceRunner::Step;

namespace {

constexpr std::string_view kNone = "NSStatusNone";
constexpr std::string_view kOk = "NSStatusAvailable";
constexpr std::string_view kBusy = "NSStatusPartiallyAvailable";
constexpr std::string_view kAlert = "NSStatusUnavailable";

TEST(CaptureValues, TakeWhatACaptureRunCanUseAndSayWhyNot) {
    struct Case {
        std::string text;
        std::optional<double> exposure, interval;
        std::optional<int> count;
    };
    const std::vector<Case> cases{
        {"0.1", 0.1, 0.1, std::nullopt},
        {" 30 ", 30, 30, 30},
        {"+2", 2, 2, 2},
        {"2.0", 2, 2, 2},
        {"", std::nullopt, 0, std::nullopt}, // an empty interval is no wait
        {"0", 0, 0, std::nullopt},
        {"-1", std::nullopt, std::nullopt, std::nullopt},
        {"abc", std::nullopt, std::nullopt, std::nullopt},
        {"3x", std::nullopt, std::nullopt, std::nullopt},
        {"0,5", std::nullopt, std::nullopt, std::nullopt},
        {"nan", std::nullopt, std::nullopt, std::nullopt},
        {"inf", std::nullopt, std::nullopt, std::nullopt},
        {"1e400", std::nullopt, std::nullopt, std::nullopt},
        {"2.5", 2.5, 2.5, std::nullopt},
        {"3000000000", 3e9, 3e9, std::nullopt}, // more frames than a run counts
    };
    for (const Case& c : cases) {
        const auto exposure = zeta::focus::exposureSeconds(c.text);
        const auto interval = zeta::focus::intervalSeconds(c.text);
        const auto count = zeta::focus::frameCount(c.text);
        EXPECT_EQ(exposure.value, c.exposure) << "exposure '" << c.text << "'";
        EXPECT_EQ(interval.value, c.interval) << "interval '" << c.text << "'";
        EXPECT_EQ(count.value, c.count) << "count '" << c.text << "'";
        EXPECT_EQ(exposure.error.empty(), c.exposure.has_value()) << c.text;
        EXPECT_EQ(interval.error.empty(), c.interval.has_value()) << c.text;
        EXPECT_EQ(count.error.empty(), c.count.has_value()) << c.text;
    }
}

std::vector<SequencerRow> unusedRows() {
    return std::vector<SequencerRow>(SequencerView::kRows, SequencerRow{"0", "", "", "", ""});
}

TEST(SequencePlan, TakesTheRowsInUseInOrderOrTheFirstReasonItCannotRun) {
    std::vector<SequencerRow> rows = unusedRows();
    rows[0] = {"1", "0.1", "", "2", "L"};
    rows[1] = {"0", "abc", "abc", "abc", "unused rows are not checked"};
    rows[2] = {"1", "60", "5", "3", "R"};
    const auto reading = zeta::focus::readPlan(rows, 2);
    ASSERT_TRUE(reading.plan) << reading.error;
    EXPECT_EQ(reading.plan->rows, (std::vector<SequenceRow>{{1, 2, 0.1, 0, "L"}, {3, 3, 60, 5, "R"}}));
    EXPECT_EQ(reading.plan->repeats, 2);
    for (long long repeat : {0LL, -4LL})
        EXPECT_EQ(zeta::focus::readPlan(rows, repeat).plan->repeats, 1) << repeat;

    struct Refused {
        SequencerRow row3;
        std::string error;
    };
    const std::vector<Refused> refused{
        {{"1", "60", "5", "abc", "R"}, "Row 3: the frame count must be a whole number, 1 or more"},
        {{"1", "60", "5", "", "R"}, "Row 3: the frame count must be a whole number, 1 or more"},
        {{"1", "1 s", "5", "3", "R"}, "Row 3: the exposure must be a number of seconds, 0 or more"},
        {{"1", "60", "-5", "3", "R"}, "Row 3: the interval must be a number of seconds, 0 or more"},
    };
    for (const Refused& c : refused) {
        rows[2] = c.row3;
        const auto bad = zeta::focus::readPlan(rows, 1);
        EXPECT_FALSE(bad.plan);
        EXPECT_EQ(bad.error, c.error);
    }
    EXPECT_EQ(zeta::focus::readPlan(unusedRows(), 1).error, "No row is in use: tick Use on the rows to run");
}

TEST(SequenceRunner, EachRepeatRunsEachRowAndTheFirstFailureOrStopEndsIt) {
    const auto capture = [](std::size_t row, long long repeat) {
        return Step{Step::Capture, row, repeat};
    };
    struct Case {
        std::string what;
        std::vector<Outcome> outcomes;
        int abortAfter; // reports before abort(), -1 never
        std::vector<Step> steps;
    };
    const Outcome ok = Outcome::Done;
    const std::vector<Case> cases{
        {"all done",
         {ok, ok, ok, ok},
         -1,
         {capture(0, 1), capture(1, 1), capture(0, 2), capture(1, 2), {Step::Finished, 1, 2}}},
        {"failed", {ok, ok, Outcome::Failed}, -1, {capture(0, 1), capture(1, 1), capture(0, 2), {Step::Failed, 0, 2}}},
        {"stopped", {ok, Outcome::Stopped}, -1, {capture(0, 1), capture(1, 1), {Step::Aborted, 1, 1}}},
        {"aborted, the capture then done", {ok, ok}, 1, {capture(0, 1), capture(1, 1), {Step::Aborted, 1, 1}}},
        {"aborted, the capture then failed", {Outcome::Failed}, 0, {capture(0, 1), {Step::Failed, 0, 1}}},
    };
    for (const Case& c : cases) {
        SequenceRunner runner({{{1, 2, 0.1, 0, "L"}, {3, 3, 0.1, 0, "R"}}, 2});
        std::vector<Step> steps{runner.current()};
        for (std::size_t i = 0; i < c.outcomes.size(); ++i) {
            if (static_cast<int>(i) == c.abortAfter) runner.abort();
            steps.push_back(runner.ended(c.outcomes[i]));
        }
        EXPECT_EQ(steps, c.steps) << c.what;
        EXPECT_TRUE(runner.over()) << c.what;
        EXPECT_EQ(runner.ended(ok), c.steps.back()) << c.what << ": an ended sequence stays ended";
    }
}

// --- The controller ---------------------------------------------------------------------------

class FakeCamera : public zeta::focus::SequenceCamera {
public:
    std::optional<std::string> unavailable() const override { return why; }
    std::string rowProblem(const SequenceRow& row) const override { return row.number == 3 ? problem : ""; }
    bool start(const SequenceRow& row, Ended ended) override {
        if (refuseStart) return false;
        started.push_back(row);
        pending = std::move(ended);
        return true;
    }
    void stop() override { ++stops; }
    // The camera window reports the end of the capture under way on a thread of its own;
    // returns once the main queue has taken the report.
    void end(Outcome outcome) {
        ASSERT_TRUE(pending);
        Ended ended = std::move(pending);
        pending = nullptr;
        auto taken = std::make_shared<std::atomic<bool>>(false);
        dispatch::globalQueue().async([ended, outcome, taken] {
            ended(outcome);
            dispatch::mainQueue().async([taken] { taken->store(true); });
        });
        ASSERT_TRUE(dispatch::runMainQueueUntil([&] { return taken->load(); }, std::chrono::seconds(10)));
    }
    void reset() {
        why.reset();
        problem.clear();
        refuseStart = false;
        started.clear();
        pending = nullptr;
        stops = 0;
    }

    std::optional<std::string> why;
    std::string problem; // the camera window's checks on row 3
    bool refuseStart = false;
    std::vector<SequenceRow> started;
    Ended pending;
    int stops = 0;
};

using RecordingPanel = test_support::RecordingSequencerPanel;

class Sequencer : public ::testing::Test {
protected:
    void SetUp() override {
        controller.setIndigo(indigo);
        controller.setView(&panel);
        controller.setCamera(&camera);
        controller.setSequenceChanged([this] { changes.push_back(controller.sequenceInProgress()); });
        panel.rows[0] = {"1", "0.1", "", "2", "L"};
        panel.rows[2] = {"1", "0.1", "5", "3", "R"};
    }
    void TearDown() override {
        controller.setIndigo(nullptr);
        dispatch::drainMainQueue();
    }
    bool logged(const std::string& line) const {
        const auto lines = indigo->messages();
        return std::any_of(lines.begin(), lines.end(),
                           [&](const std::string& l) { return l.find(line) != std::string::npos; });
    }
    static auto lightsWith(std::initializer_list<std::pair<int, std::string_view>> lit) {
        return RecordingPanel::lightsWith(lit);
    }

    std::shared_ptr<INDIGO> indigo = std::make_shared<INDIGO>();
    RecordingPanel panel;
    FakeCamera camera;
    SequencerController controller;
    std::vector<bool> changes;
};

TEST_F(Sequencer, APlanThatCannotStartSaysWhyAndStartsNothing) {
    struct Case {
        std::optional<std::string> cameraSays;
        SequencerRow row3;
        std::string text;
        std::string rowProblem = {};
    };
    const std::vector<Case> cases{
        {"No camera is selected in the camera window",
         {"1", "0.1", "5", "3", "R"},
         "No camera is selected in the camera window"},
        {std::nullopt, {"1", "0.1", "5", "3x", "R"}, "Row 3: the frame count must be a whole number, 1 or more"},
        {std::nullopt, {"1", "", "5", "3", "R"}, "Row 3: the exposure must be a number of seconds, 0 or more"},
        {std::nullopt,
         {"1", "9000", "5", "3", "R"},
         "Row 3: Duration (s) must be between 0 and 3600 for this camera",
         "Duration (s) must be between 0 and 3600 for this camera"},
    };
    for (const Case& c : cases) {
        camera.why = c.cameraSays;
        camera.problem = c.rowProblem;
        panel.rows[2] = c.row3;
        controller.executeAction();
        EXPECT_TRUE(camera.started.empty()) << c.text;
        EXPECT_EQ(panel.text, c.text);
        EXPECT_EQ(panel.light, kAlert);
        EXPECT_EQ(panel.title, "Execute");
        EXPECT_EQ(panel.lights, lightsWith({}));
        EXPECT_FALSE(controller.sequenceInProgress());
        EXPECT_TRUE(logged("Sequence not started: " + c.text)) << c.text;
    }
    EXPECT_TRUE(changes.empty());
    EXPECT_EQ(camera.stops, 0);
}

TEST_F(Sequencer, EachRepeatRunsTheRowsInUseInOrderAndTheLightsFollow) {
    panel.repeat = 2;
    controller.executeAction();
    EXPECT_EQ(DEFAULTS().stringForKey("sequencerName3", ""), "R"); // Execute stores the plan
    const std::vector<std::pair<SequenceRow, long long>> expected{
        {{1, 2, 0.1, 0, "L"}, 1}, {{3, 3, 0.1, 5, "R"}, 1}, {{1, 2, 0.1, 0, "L"}, 2}, {{3, 3, 0.1, 5, "R"}, 2}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const auto& [row, repeat] = expected[i];
        ASSERT_EQ(camera.started.size(), i + 1);
        EXPECT_EQ(camera.started.back(), row);
        EXPECT_TRUE(controller.sequenceInProgress());
        EXPECT_FALSE(controller.canQuit());
        EXPECT_EQ(panel.title, "Abort");
        EXPECT_EQ(panel.light, kBusy);
        EXPECT_EQ(panel.text, "Running row " + std::to_string(row.number) + " '" + row.name + "', repeat " +
                                  std::to_string(repeat) + " of 2");
        EXPECT_EQ(panel.lights[static_cast<std::size_t>(row.number - 1)], kBusy);
        EXPECT_EQ(panel.lights[1], kNone);
        camera.end(Outcome::Done);
    }
    EXPECT_EQ(camera.started.size(), expected.size());
    EXPECT_EQ(panel.lights, lightsWith({{1, kOk}, {3, kOk}}));
    EXPECT_EQ(panel.light, kOk);
    EXPECT_EQ(panel.text, "Sequence done");
    EXPECT_EQ(panel.title, "Execute");
    EXPECT_FALSE(controller.sequenceInProgress());
    EXPECT_TRUE(controller.canQuit());
    EXPECT_EQ(changes, (std::vector<bool>{true, false}));
    EXPECT_TRUE(logged("Sequence done"));
}

TEST_F(Sequencer, AFailedRowEndsTheSequenceInAlertAndNoFurtherRowStarts) {
    struct Case {
        bool startRefused; // the camera window would not start row 3 (the camera went)
        std::string text, line;
    };
    const std::vector<Case> cases{
        {false, "Failed at row 3 'R': see the log", "Sequence stopped: row 3 'R' failed"},
        {true, "Failed at row 3 'R': The camera 'A' is not connected",
         "Sequence stopped: row 3 'R' failed: The camera 'A' is not connected"},
    };
    for (const Case& c : cases) {
        camera.reset();
        indigo->clearMessages();
        controller.executeAction();
        camera.refuseStart = c.startRefused;
        camera.why = c.startRefused ? std::optional<std::string>("The camera 'A' is not connected") : std::nullopt;
        camera.end(Outcome::Done);
        if (!c.startRefused) camera.end(Outcome::Failed);
        EXPECT_EQ(camera.started.size(), c.startRefused ? 1u : 2u) << c.text;
        EXPECT_EQ(panel.lights, lightsWith({{1, kOk}, {3, kAlert}}));
        EXPECT_EQ(panel.light, kAlert);
        EXPECT_EQ(panel.text, c.text);
        EXPECT_EQ(panel.title, "Execute");
        EXPECT_TRUE(logged(c.line)) << c.line;
        EXPECT_FALSE(controller.sequenceInProgress());
    }
}

TEST_F(Sequencer, AbortStopsTheCaptureUnderWayOnceAndNoFurtherRowStarts) {
    struct Case {
        Outcome last; // how the capture under way ended after Abort
        std::string text;
        std::string_view light;
    };
    const std::vector<Case> cases{
        {Outcome::Stopped, "Aborted at row 3 'R'", kAlert},
        {Outcome::Done, "Aborted after row 3 'R'", kOk}, // its last frame came as Abort was pressed
    };
    for (const Case& c : cases) {
        camera.reset();
        indigo->clearMessages();
        controller.executeAction();
        camera.end(Outcome::Done);
        controller.executeAction(); // the button reads "Abort"
        controller.executeAction(); // a second press while the stop goes on
        EXPECT_EQ(camera.stops, 1);
        EXPECT_EQ(panel.text, "Aborting...");
        EXPECT_TRUE(controller.sequenceInProgress());
        camera.end(c.last);
        EXPECT_EQ(camera.started.size(), 2u);
        EXPECT_EQ(panel.text, c.text);
        EXPECT_EQ(panel.lights, lightsWith({{1, kOk}, {3, c.light}}));
        EXPECT_EQ(panel.light, kAlert);
        EXPECT_EQ(panel.title, "Execute");
        EXPECT_TRUE(logged("Sequence aborted at row 3 'R'"));
    }
}

TEST(SequencerLifetime, ACaptureEndingAfterTheControllerWentIsDropped) {
    RecordingPanel panel;
    panel.rows[0] = {"1", "1", "", "1", "L"};
    FakeCamera camera;
    {
        SequencerController controller;
        controller.setView(&panel);
        controller.setCamera(&camera);
        controller.executeAction();
        ASSERT_TRUE(camera.pending);
    }
    camera.pending(Outcome::Done);
    dispatch::drainMainQueue();
    EXPECT_EQ(camera.started.size(), 1u);
}

} // namespace
