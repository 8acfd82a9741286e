// The sequencer's rows on the DSLR window's capture engine: each row a capture batch with its
// own values, how each ends, the window's own runs held off meanwhile, and a whole plan run
// and aborted through the sequencer, against cameras of ours on the in-process bus.

#include "camera/sequence_capture.h"

#include "capture_fixture.h"
#include "focus/sequencer_controller.h"
#include "support/recording_sequencer_panel.h"

#include <unistd.h>

using namespace camera_test;
using namespace std::chrono_literals;
using Outcome = zeta::focus::SequenceCamera::Outcome;
using zeta::focus::SequenceRow;

namespace {

// The outcomes reported, in order, from whichever thread reported them.
class Ends {
public:
    zeta::focus::SequenceCamera::Ended recorder() {
        return [this](Outcome outcome) {
            std::lock_guard lock(mutex_);
            outcomes_.push_back(outcome);
        };
    }
    std::vector<Outcome> all() {
        std::lock_guard lock(mutex_);
        return outcomes_;
    }
    std::size_t size() { return all().size(); }

private:
    std::mutex mutex_;
    std::vector<Outcome> outcomes_;
};

class SequenceOnCamera : public CaptureFixture {
protected:
    zeta::camera::SequenceCapture port{controller, batch};
    Ends ends;
    std::atomic<bool> held{false}; // a sequence holds the camera (the controller asks until the end)
};

TEST_F(SequenceOnCamera, RowsRunAsBatchesWithTheirOwnValuesAndNeverOverwriteEachOther) {
    auto sleeper = std::make_shared<RecordedSleeper>();
    controller.setSleeper(sleeper);
    ExposingCamera& camera = addCamera("Camera A");
    connect("Camera A");
    // The window's own boxes say otherwise: the rows' values win.
    view.countValue = 9;
    view.name = "IMG";
    view.durationValue = 5;
    ztView.interval = 30;
    EXPECT_EQ(port.unavailable(), std::nullopt);
    // The window's own check of a typed duration holds for a row's too.
    EXPECT_EQ(port.rowProblem({1, 2, 9000, 0, "L"}), "Duration (s) must be between 0 and 3600 for this camera");
    const std::vector<SequenceRow> rows{{1, 2, 0.1, 1.2, "L"}, {3, 3, 0.25, 0, "R"}, {1, 2, 0.1, 1.2, "L"}};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        ASSERT_TRUE(port.start(rows[i], ends.recorder())) << i;
        ASSERT_TRUE(until([&] { return ends.size() == i + 1 && idle(); })) << i;
    }
    settle();
    EXPECT_EQ(ends.all(), (std::vector<Outcome>{Outcome::Done, Outcome::Done, Outcome::Done}));
    EXPECT_EQ(filesIn(captures), (std::vector<std::string>{"L_001.jpeg", "L_002.jpeg", "L_003.jpeg", "L_004.jpeg",
                                                           "R_001.jpeg", "R_002.jpeg", "R_003.jpeg"}));
    EXPECT_EQ(camera.exposures(), 7);
    EXPECT_EQ(controller.count("Camera A CCD_EXPOSURE EXPOSURE=0.1"), 4u);
    EXPECT_EQ(controller.count("Camera A CCD_EXPOSURE EXPOSURE=0.25"), 3u);
    // Row L waits 1.2 s between its two frames (two blinks, then 0.2 s); row R not at all.
    const std::vector<long long> gap{250000, 250000, 250000, 250000, 200000};
    std::vector<long long> twoGaps = gap;
    twoGaps.insert(twoGaps.end(), gap.begin(), gap.end());
    EXPECT_EQ(sleeper->sleeps(), twoGaps);
    EXPECT_EQ(view.state, "NSStatusAvailable");
}

// How a row's batch ends is reported once, however many ways the camera says it.
struct EndCase {
    const char* name;
    enum { Stop, ExposureFails, FolderRefuses, CameraGoes } what;
    Outcome outcome;
};

class RowEnd : public SequenceOnCamera, public ::testing::WithParamInterface<EndCase> {};

TEST_P(RowEnd, IsReportedOnce) {
    const EndCase& c = GetParam();
    ExposingCamera& camera = addCamera("Camera A");
    connect("Camera A");
    camera.hold = c.what == EndCase::Stop || c.what == EndCase::CameraGoes;
    camera.failExposure = c.what == EndCase::ExposureFails;
    if (c.what == EndCase::FolderRefuses) {
        // Root writes anywhere: a folder that is a file refuses every name.
        std::filesystem::remove(captures);
        std::ofstream(captures) << "x";
    }
    ASSERT_TRUE(port.start({1, 4, 0.1, 0, "L"}, ends.recorder()));
    ASSERT_TRUE(until([&] { return camera.exposures() >= 1; }));
    if (c.what == EndCase::Stop) port.stop();
    if (c.what == EndCase::CameraGoes) camera.camera.detach();
    ASSERT_TRUE(until([&] { return ends.size() >= 1 && idle(); }));
    settle();
    EXPECT_EQ(ends.all(), std::vector<Outcome>{c.outcome});
    EXPECT_EQ(camera.exposures(), 1);
    EXPECT_EQ(controller.count("Camera A CCD_ABORT_EXPOSURE ABORT_EXPOSURE"), c.what == EndCase::Stop ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Camera, RowEnd,
                         ::testing::Values(EndCase{"Stopped", EndCase::Stop, Outcome::Stopped},
                                           EndCase{"ExposureEndsInAlert", EndCase::ExposureFails, Outcome::Failed},
                                           EndCase{"FrameCannotBeSaved", EndCase::FolderRefuses, Outcome::Failed},
                                           EndCase{"CameraGoesAway", EndCase::CameraGoes, Outcome::Failed}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SequenceOnCamera, ARowThatCannotStartSaysWhyAndSendsNothing) {
    EXPECT_EQ(port.unavailable(), "No camera is selected in the camera window");
    EXPECT_FALSE(port.start({1, 1, 0.1, 0, "L"}, ends.recorder()));
    ExposingCamera& camera = addCamera("Camera A");
    connect("Camera A");

    batch.setFolder(std::nullopt);
    EXPECT_EQ(port.unavailable(), "No capture folder: choose one with the camera window's Folder button");
    EXPECT_FALSE(port.start({1, 1, 0.1, 0, "L"}, ends.recorder()));
    batch.setFolder(captures.string());

    camera.hold = true;
    controller.preview1Action();
    ASSERT_TRUE(until([&] { return camera.exposures() == 1; }));
    EXPECT_EQ(port.unavailable(), "The camera window is busy: stop its run first");
    EXPECT_FALSE(port.start({1, 1, 0.1, 0, "L"}, ends.recorder()));
    camera.finishHeld(true);
    ASSERT_TRUE(until([&] { return idle(); }));
    settle();
    EXPECT_EQ(camera.exposures(), 1);
    EXPECT_TRUE(ends.all().empty());
    EXPECT_TRUE(filesIn(captures).empty());
}

TEST_F(SequenceOnCamera, WhileASequenceHoldsTheCameraTheWindowsOwnRunsAreRefused) {
    ExposingCamera& camera = addCamera("Camera A");
    connect("Camera A");
    held = true;
    controller.setRunsHeld([this] { return held.load(); });
    controller.updateGUI();
    EXPECT_FALSE(ztView.controls.capture || ztView.controls.preview || ztView.controls.preview1 ||
                 ztView.controls.liveView);
    EXPECT_TRUE(ztView.controls.captureStop);
    view.countValue = 1;
    controller.captureAction();
    controller.previewAction();
    controller.previewAction(true);
    controller.preview1Action();
    settle();
    EXPECT_EQ(controller.countPrefix("Camera A CCD_EXPOSURE"), 0u);
    EXPECT_EQ(controller.countPrefix("Camera A CCD_STREAMING"), 0u);
    EXPECT_TRUE(logged("A sequence is running"));

    // The sequence's own rows still run.
    ASSERT_TRUE(port.start({1, 1, 0.1, 0, "L"}, ends.recorder()));
    ASSERT_TRUE(until([&] { return ends.size() == 1 && idle(); }));
    settle();
    EXPECT_EQ(camera.exposures(), 1);
    held = false;
    controller.updateGUI();
    EXPECT_TRUE(ztView.controls.capture && ztView.controls.preview && ztView.controls.liveView);
}

// The sequencer's plan on the engine: every file in order, and Abort ending it within the
// exposure under way.
class Plan : public SequenceOnCamera {
protected:
    void SetUp() override {
        SequenceOnCamera::SetUp();
        sequencer.setIndigo(indigo);
        sequencer.setView(&panel);
        sequencer.setCamera(&port);
        controller.setRunsHeld([this] { return sequencer.sequenceInProgress(); });
        panel.rows[0] = {"1", "0.1", "", "2", "L"};
        panel.rows[1] = {"0", "abc", "", "abc", "unused"};
        panel.rows[2] = {"1", "0.1", "", "3", "R"};
        panel.repeat = 2;
    }
    void TearDown() override {
        sequencer.setIndigo(nullptr);
        SequenceOnCamera::TearDown();
    }
    test_support::RecordingSequencerPanel panel;
    SequencerController sequencer;
};

TEST_F(Plan, RunsEveryRowInUseForEachRepeatInOrder) {
    ExposingCamera& camera = addCamera("Camera A");
    connect("Camera A");
    sequencer.executeAction();
    EXPECT_TRUE(sequencer.sequenceInProgress());
    ASSERT_TRUE(until([&] { return !sequencer.sequenceInProgress(); }));
    settle();
    EXPECT_EQ(panel.text, "Sequence done");
    EXPECT_EQ(panel.light, "NSStatusAvailable");
    EXPECT_EQ(panel.lights, panel.lightsWith({{1, "NSStatusAvailable"}, {3, "NSStatusAvailable"}}));
    EXPECT_EQ(camera.exposures(), 10);
    // Written in the order taken: each frame's bytes are the camera's in turn.
    const std::vector<std::string> order{"L_001.jpeg", "L_002.jpeg", "R_001.jpeg", "R_002.jpeg", "R_003.jpeg",
                                         "L_003.jpeg", "L_004.jpeg", "R_004.jpeg", "R_005.jpeg", "R_006.jpeg"};
    ASSERT_EQ(filesIn(captures).size(), order.size());
    const auto frames = camera.frames();
    for (std::size_t i = 0; i < order.size(); ++i)
        EXPECT_EQ(readFile(captures / order[i]), frames[i]) << order[i];
}

TEST_F(Plan, AbortEndsTheExposureUnderWayAndNothingMoreIsWritten) {
    ExposingCamera& camera = addCamera("Camera A");
    connect("Camera A");
    // Row 3's second exposure is held open until the abort ends it.
    camera.exposureStarted = [&] {
        if (camera.exposures() == 4) camera.hold = true;
    };
    sequencer.executeAction();
    ASSERT_TRUE(until([&] { return camera.exposures() == 4 && filesIn(captures).size() == 3; }));
    sequencer.executeAction();
    ASSERT_TRUE(until([&] { return !sequencer.sequenceInProgress(); }));
    settle();
    EXPECT_EQ(panel.text, "Aborted at row 3 'R'");
    EXPECT_EQ(panel.lights, panel.lightsWith({{1, "NSStatusAvailable"}, {3, "NSStatusUnavailable"}}));
    EXPECT_EQ(camera.exposures(), 4);
    EXPECT_EQ(filesIn(captures), (std::vector<std::string>{"L_001.jpeg", "L_002.jpeg", "R_001.jpeg"}));
    EXPECT_TRUE(logged("Sequence aborted at row 3 'R'"));
}

} // namespace
