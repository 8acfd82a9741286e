// The capture engine of the DSLR window: batches, previews, live view, stops and failures,
// against cameras of ours on the in-process bus.

#include "capture_fixture.h"
#include "frames.h"
#include "recording_view.h"
#include "support/test_focuser.h"

#include <gmock/gmock.h>
#include <sys/stat.h>

using namespace camera_test;
using namespace std::chrono_literals;
using ::testing::ElementsAre;
using zeta::camera::WaitStep;

namespace {

using Engine = CaptureFixture;

TEST(TimelapseWait, BlinksEachHalfSecondAndSleepsTheRest) {
    const WaitStep on{WaitStep::Show, "NSStatusPartiallyAvailable", {}};
    const WaitStep off{WaitStep::Show, "NSStatusNone", {}};
    const auto sleep = [](long long us) {
        return WaitStep{WaitStep::Sleep, {}, std::chrono::microseconds(us)};
    };
    const std::vector<WaitStep> blink{on, sleep(250000), off, sleep(250000)};
    struct Case {
        double seconds;
        std::vector<WaitStep> steps;
    };
    std::vector<WaitStep> onceAndHalf = blink;
    onceAndHalf.push_back(sleep(500000));
    std::vector<WaitStep> twice = blink;
    twice.insert(twice.end(), blink.begin(), blink.end());
    twice.push_back(sleep(500000));
    std::vector<WaitStep> twiceAndRest(twice.begin(), twice.end() - 1);
    twiceAndRest.push_back(sleep(200000));
    const std::vector<Case> cases{
        {0, {}},
        {-3, {}},
        {std::nan(""), {}},
        {0.3, {sleep(300000)}},
        {0.5, {sleep(500000)}},
        {1.0, onceAndHalf},
        {1.5, twice},
        {1.2, twiceAndRest},
    };
    for (const Case& c : cases)
        EXPECT_EQ(zeta::camera::timelapseSteps(c.seconds), c.steps) << c.seconds;
}

TEST_F(Engine, ABatchSavesEveryFrameAsTheCameraSentItAndEndsOk) {
    ExposingCamera& camera = addCamera("Camera A");
    connect("Camera A");
    view.countValue = 3;
    view.name = "IMG";
    view.durationValue = 0.5;
    controller.captureAction();
    ASSERT_TRUE(until([&] { return camera.exposures() >= 1; }));
    ASSERT_TRUE(until([&] { return idle() && view.state == "NSStatusAvailable"; }));
    settle();

    EXPECT_EQ(camera.exposures(), 3);
    // Without shutter settings the duration box times every exposure.
    EXPECT_EQ(controller.count("Camera A CCD_EXPOSURE EXPOSURE=0.5"), 3u);
    const auto frames = camera.frames();
    ASSERT_EQ(frames.size(), 3u);
    ASSERT_EQ(filesIn(captures), (std::vector<std::string>{"IMG_001.jpeg", "IMG_002.jpeg", "IMG_003.jpeg"}));
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_EQ(readFile(captures / filesIn(captures)[i]), frames[i]) << i;
    EXPECT_EQ(ztView.progress, (std::vector<std::string>{"--/--", "0/3", "1/3", "2/3", "3/3", "--/--"}));
    EXPECT_EQ(view.state, "NSStatusAvailable");
    EXPECT_EQ(controller.remainingCount(), 0);
    ASSERT_NE(image.current(), nullptr); // frames were shown too
    EXPECT_EQ(controller.imageWidth(), 96);
    EXPECT_TRUE(ztView.controls.capture);
}

// A star selected for focusing outlives the DSLR window's camera resets (another camera
// chosen, the camera chosen again, the camera gone); the general window's reset clears it.
TEST_F(Engine, TheDslrWindowsResetKeepsTheSelectedStar) {
    ::RecordingView imageView;
    image.setView(&imageView);
    addCamera("Camera A");
    addCamera("Camera B");
    connect("Camera A");
    image.setImage(starFrame(50, 50));
    image.zoomActualSizeAction();
    image.selectedWithPoint({50.5, 49.5});
    ASSERT_TRUE(image.selectedStar());

    connect("Camera B");
    connect("Camera A");
    EXPECT_TRUE(image.selectedStar());
    EXPECT_TRUE(imageView.pointMarker);
    cameras.erase(cameras.begin()); // Camera A goes
    ASSERT_TRUE(until([&] { return !controller.camera() || controller.camera()->name() != "Camera A"; }));
    settle();
    EXPECT_TRUE(image.selectedStar());
    EXPECT_NE(imageView.texts[::RecordingView::Field::Fwhm], "--");

    struct GeneralWindow : zeta::camera::CameraController {
        using CameraController::CameraController;
        using CameraController::resetControls;
    } general(defaults);
    general.setImageController(&image);
    general.resetControls();
    EXPECT_FALSE(image.selectedStar());
    image.setView(nullptr);
}

TEST_F(Engine, PreviewsShowFramesAndSaveNothing) {
    ExposingCamera& camera = addCamera("Camera A");
    connect("Camera A");
    controller.preview1Action();
    ASSERT_TRUE(until([&] { return idle() && image.current() != nullptr; }));
    settle();
    EXPECT_EQ(camera.exposures(), 1);
    EXPECT_EQ(view.state, "NSStatusAvailable");

    // An endless preview asks again after every frame until stopped.
    controller.previewAction();
    ASSERT_TRUE(until([&] { return camera.exposures() >= 5; }));
    camera.hold = true;
    controller.stopAction();
    ASSERT_TRUE(until([&] { return idle(); }));
    settle();
    const int taken = camera.exposures();
    EXPECT_EQ(view.state, "NSStatusUnavailable");
    EXPECT_TRUE(filesIn(captures).empty());
    settle();
    EXPECT_EQ(camera.exposures(), taken);
}

TEST_F(Engine, AFrameArrivingWhileTheImageWindowIsBusyIsSavedButNotShown) {
    ExposingCamera& camera = addCamera("Camera A");
    connect("Camera A");
    ASSERT_TRUE(image.tryLock()); // a frame still being shown
    view.countValue = 2;
    controller.captureAction();
    ASSERT_TRUE(until([&] { return camera.exposures() >= 1; }));
    ASSERT_TRUE(until([&] { return idle(); }));
    settle();
    EXPECT_EQ(filesIn(captures).size(), 2u);
    EXPECT_EQ(image.current(), nullptr);
    image.unlock();
}

// A run that fails at its first frame ends there, in Alert, and says why.
struct FailureCase {
    const char* name;
    bool exposureFails; // otherwise the frame cannot be saved
    const char* logLine;
};

class RunFailure : public CaptureFixture, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(RunFailure, EndsTheRunAtTheFirstFrame) {
    const FailureCase& c = GetParam();
    ExposingCamera& camera = addCamera("Camera A");
    connect("Camera A");
    if (c.exposureFails) {
        camera.failExposure = true;
    } else if (::geteuid() != 0) {
        ASSERT_EQ(::chmod(captures.c_str(), 0500), 0);
    } else {
        // Root writes anywhere: a folder that is a file refuses every name.
        std::filesystem::remove(captures);
        std::ofstream(captures) << "x";
    }
    view.countValue = 4;
    controller.captureAction();
    ASSERT_TRUE(until([&] { return camera.exposures() >= 1; }));
    ASSERT_TRUE(until([&] { return idle(); }));
    settle();
    EXPECT_EQ(camera.exposures(), 1);
    EXPECT_EQ(view.state, "NSStatusUnavailable");
    EXPECT_TRUE(logged(c.logLine));
    if (c.exposureFails) {
        EXPECT_TRUE(filesIn(captures).empty());
    }
    ::chmod(captures.c_str(), 0700);
}

INSTANTIATE_TEST_SUITE_P(Engine, RunFailure,
                         ::testing::Values(FailureCase{"ExposureEndsInAlert", true, "Exposure failed on 'Camera A'"},
                                           FailureCase{"FrameCannotBeSaved", false,
                                                       "Capture stopped: a frame could not be saved"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Engine, CountsBelowOneAreRefused) {
    ExposingCamera& camera = addCamera("Camera A");
    connect("Camera A");
    for (double count : {0.0, -1.0, std::nan("")}) {
        view.countValue = count;
        controller.captureAction();
        settle();
        EXPECT_TRUE(idle()) << count;
    }
    EXPECT_EQ(camera.exposures(), 0);
    EXPECT_TRUE(logged("The frame count must be 1 or more"));
}

TEST_F(Engine, WithoutAFolderThePanelAsksFirst) {
    ExposingCamera& camera = addCamera("Camera A");
    connect("Camera A");
    batch.setFolder(std::nullopt);
    controller.captureAction(); // cancelled
    settle();
    EXPECT_EQ(ztView.panelStarts.size(), 1u);
    EXPECT_TRUE(idle());
    EXPECT_EQ(camera.exposures(), 0);

    ztView.panelAnswer = captures.string();
    controller.captureAction();
    ASSERT_TRUE(until([&] { return camera.exposures() == 1 && idle(); }));
    EXPECT_EQ(batch.folder(), captures.string());
    EXPECT_EQ(filesIn(captures).size(), 1u);
}

struct StopCase {
    const char* name;
    bool abort;
};

class Stop : public CaptureFixture, public ::testing::WithParamInterface<StopCase> {};

TEST_P(Stop, MidExposureNoFurtherExposureIsRequested) {
    ExposingCamera& camera = addCamera("Camera A", GetParam().abort);
    connect("Camera A");
    camera.hold = true;
    view.countValue = 5;
    controller.captureAction();
    ASSERT_TRUE(until([&] { return camera.exposures() == 1; }));
    controller.stopAction();
    EXPECT_EQ(controller.count("Camera A CCD_ABORT_EXPOSURE ABORT_EXPOSURE"), GetParam().abort ? 1u : 0u);
    if (!GetParam().abort) camera.finishHeld(true); // the camera finishes the exposure it had begun
    ASSERT_TRUE(until([&] { return idle(); }));
    settle();
    EXPECT_EQ(view.state, "NSStatusUnavailable");
    // A later frame of the camera would show up here: the wait is on the bus's own order.
    EXPECT_EQ(camera.exposures(), 1);
    EXPECT_EQ(controller.countPrefix("Camera A CCD_EXPOSURE"), 1u);
}

TEST_P(Stop, BetweenFramesTheWaitEndsAtOnce) {
    ExposingCamera& camera = addCamera("Camera A", GetParam().abort);
    connect("Camera A");
    view.countValue = 3;
    ztView.interval = 3600; // an hour between frames: only the stop can end the wait
    controller.captureAction();
    ASSERT_TRUE(until([&] { return camera.exposures() == 1 && filesIn(captures).size() == 1; }));
    controller.stopAction();
    ASSERT_TRUE(until([&] { return idle(); }, 5s));
    settle();
    EXPECT_EQ(view.state, "NSStatusUnavailable");
    EXPECT_EQ(camera.exposures(), 1);
}

TEST_F(Engine, AnAbortReportNotOfOurStopLeavesTheRunGoing) {
    // The late report of an earlier stop's abort, arriving in the next run.
    ExposingCamera& camera = addCamera("Camera A");
    connect("Camera A");
    camera.hold = true;
    view.countValue = 2;
    controller.captureAction();
    ASSERT_TRUE(until([&] { return camera.exposures() == 1; }));
    camera.camera.update("CCD_ABORT_EXPOSURE", INDIGO_OK_STATE);
    camera.hold = false;
    camera.finishHeld(true);
    ASSERT_TRUE(until([&] { return idle(); }));
    EXPECT_EQ(filesIn(captures).size(), 2u);
    EXPECT_EQ(view.state, "NSStatusAvailable");
}

INSTANTIATE_TEST_SUITE_P(Camera, Stop, ::testing::Values(StopCase{"WithAbort", true}, StopCase{"WithoutAbort", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Engine, TheTimelapseWaitsBetweenFramesOnly) {
    auto sleeper = std::make_shared<RecordedSleeper>();
    controller.setSleeper(sleeper);
    ExposingCamera& camera = addCamera("Camera A");
    connect("Camera A");
    view.countValue = 3;
    ztView.interval = 1.2;
    const std::size_t before = view.states.size();
    controller.captureAction();
    ASSERT_TRUE(until([&] { return camera.exposures() >= 1; }));
    ASSERT_TRUE(until([&] { return idle(); }));
    settle();
    EXPECT_EQ(camera.exposures(), 3);
    const std::vector<long long> gap{250000, 250000, 250000, 250000, 200000};
    std::vector<long long> twoGaps = gap;
    twoGaps.insert(twoGaps.end(), gap.begin(), gap.end());
    EXPECT_EQ(sleeper->sleeps(), twoGaps);
    // The light blinked on the main queue: Busy, none, Busy, none per gap.
    EXPECT_EQ(std::count(view.states.begin() + static_cast<std::ptrdiff_t>(before), view.states.end(), "NSStatusNone"),
              4);

    // A preview does not wait.
    controller.preview1Action();
    ASSERT_TRUE(until([&] { return idle() && camera.exposures() == 4; }));
    EXPECT_EQ(sleeper->sleeps().size(), twoGaps.size());
}

TEST_F(Engine, LiveViewStreamsOnceAndOnlyItEndsWithStreaming) {
    ExposingCamera& camera = addCamera("Camera A");
    connect("Camera A");
    EXPECT_TRUE(controller.liveViewEnabled());
    controller.previewAction(true);
    ASSERT_TRUE(until([&] { return controller.count("Camera A CCD_STREAMING COUNT=-1 EXPOSURE=1") == 1; }));
    for (int i = 0; i < 3; ++i)
        camera.streamFrame();
    ASSERT_TRUE(until([&] { return image.current() != nullptr && !view.fps.empty(); }));
    EXPECT_TRUE(controller.previewInProgress());
    EXPECT_EQ(controller.remainingCount(), -1);
    EXPECT_EQ(camera.exposures(), 0);
    EXPECT_TRUE(ztView.controls.liveViewOn);
    camera.camera.update("CCD_STREAMING", INDIGO_OK_STATE);
    ASSERT_TRUE(until([&] { return idle(); }));
    settle();
    EXPECT_EQ(view.state, "NSStatusAvailable");
    EXPECT_TRUE(filesIn(captures).empty());
    EXPECT_EQ(controller.countPrefix("Camera A CCD_STREAMING"), 1u);

    // A batch keeps going whatever streaming reports.
    camera.hold = true;
    view.countValue = 2;
    controller.captureAction();
    ASSERT_TRUE(until([&] { return camera.exposures() == 1 && ztView.progress.back() == "0/2"; }));
    camera.camera.update("CCD_STREAMING", INDIGO_ALERT_STATE);
    settle();
    camera.hold = false;
    camera.finishHeld(true);
    ASSERT_TRUE(until([&] { return idle(); }));
    settle();
    EXPECT_EQ(camera.exposures(), 2);
    EXPECT_EQ(view.state, "NSStatusAvailable");
}

TEST_F(Engine, TheFocuserStepsOutwardBetweenFramesAndTheNextFrameWaitsForIt) {
    test_support::TestFocuser focuserDevice;
    focuserDevice.setMoveTime(300ms);
    ExposingCamera& camera = addCamera("Camera A");
    connect("Camera A");
    ASSERT_TRUE(until([&] {
        const auto titles = focuser.focusersPopUp().titles();
        return std::find(titles.begin(), titles.end(), "Test Focuser") != titles.end();
    }));
    controller.updateGUI();
    EXPECT_EQ(ztView.focusStacking, "");
    const auto titles = focuser.focusersPopUp().titles();
    focuser.selectFocuser(static_cast<int>(std::find(titles.begin(), titles.end(), "Test Focuser") - titles.begin()));
    ASSERT_TRUE(until([&] { return focuser.focuser() && focuser.focuser()->connected(); }));
    focuser.settingsAction(10, 0);
    settle();
    // The window tells the user what the run is about to do to the focus.
    controller.updateGUI();
    EXPECT_EQ(ztView.focusStacking, "A capture run moves 'Test Focuser' 10 steps out between frames");
    // The window's CONFIG LOAD can reach the focuser after it reports itself connected: the
    // record below leaves it out.
    const auto withoutConfig = [](std::vector<std::string> all) {
        std::erase_if(all, [](const std::string& e) { return e.rfind("CONFIG ", 0) == 0; });
        return all;
    };
    focuserDevice.clearEvents();

    struct Start {
        std::chrono::steady_clock::time_point at;
        bool moving;
        std::size_t events;
    };
    std::mutex mutex;
    std::vector<Start> starts;
    std::vector<std::chrono::steady_clock::time_point> stepRequests;
    camera.exposureStarted = [&] {
        std::lock_guard lock(mutex);
        starts.push_back(
            {std::chrono::steady_clock::now(), focuserDevice.moving(), withoutConfig(focuserDevice.events()).size()});
    };
    view.countValue = 3;
    controller.captureAction();
    ASSERT_TRUE(until([&] { return camera.exposures() >= 1; }));
    ASSERT_TRUE(until([&] { return idle(); }, 30s));
    settle();

    EXPECT_EQ(withoutConfig(focuserDevice.requests()),
              (std::vector<std::string>{"FOCUSER_DIRECTION MOVE_OUTWARD=On", "FOCUSER_STEPS STEPS=10",
                                        "FOCUSER_DIRECTION MOVE_OUTWARD=On", "FOCUSER_STEPS STEPS=10"}));
    std::lock_guard lock(mutex);
    ASSERT_EQ(starts.size(), 3u);
    const auto events = withoutConfig(focuserDevice.events());
    for (std::size_t i = 1; i < 3; ++i) {
        EXPECT_FALSE(starts[i].moving) << i;
        EXPECT_GE(starts[i].at - starts[i - 1].at, 1s) << i;
        // The move of this gap had ended before the exposure was asked for.
        ASSERT_GE(starts[i].events, 3 * i) << i;
        EXPECT_EQ(events[3 * i - 1], "moved Ok") << i;
    }
}

// A focuser whose step never ends: the run ends there, unless the user picks no focuser while
// the run waits for the step, which ends the wait and lets the run go on.
struct StuckFocuserCase {
    const char* name;
    bool userDropsFocuser;
    int exposures;
    const char* state;
};

class StuckFocuser : public CaptureFixture, public ::testing::WithParamInterface<StuckFocuserCase> {};

TEST_P(StuckFocuser, ARunOfThree) {
    const StuckFocuserCase& c = GetParam();
    auto sleeper = std::make_shared<RecordedSleeper>();
    controller.setSleeper(sleeper);
    test_support::TestFocuser focuserDevice;
    focuserDevice.setMoveTime(std::chrono::hours(1));
    std::atomic<int> polls{0};
    sleeper->onSleep = [&](std::chrono::microseconds time) {
        // The settle lets the focuser report its move, as a second does.
        const auto end = std::chrono::steady_clock::now() + 10s;
        while (time == std::chrono::seconds(1) && focuser.state() != INDIGO_BUSY_STATE &&
               std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(1ms);
        // A few polls into the step, the user picks no focuser.
        if (c.userDropsFocuser && time == std::chrono::microseconds(100000) && ++polls == 5) {
            dispatch::mainQueue().async([&] { focuser.selectFocuser(0); });
            const auto until = std::chrono::steady_clock::now() + 10s;
            while (focuser.focuser() && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(1ms);
        }
    };
    ExposingCamera& camera = addCamera("Camera A");
    connect("Camera A");
    ASSERT_TRUE(until([&] { return focuser.focusersPopUp().titles().size() > 1; }));
    focuser.selectFocuser(1);
    ASSERT_TRUE(until([&] { return focuser.focuser() && focuser.focuser()->connected(); }));
    view.countValue = 3;
    controller.captureAction();
    ASSERT_TRUE(until([&] { return camera.exposures() >= 1; }));
    ASSERT_TRUE(until([&] { return idle(); }));
    settle();
    EXPECT_EQ(camera.exposures(), c.exposures);
    EXPECT_EQ(view.state, c.state);
    if (c.userDropsFocuser) {
        EXPECT_EQ(filesIn(captures).size(), 3u);
        EXPECT_LT(sleeper->sleeps().size(), 1000u);
    } else {
        EXPECT_TRUE(logged("Capture stopped: the focuser did not finish its step"));
        EXPECT_EQ(sleeper->sleeps().size(), 1u + ZTCameraController::kFocuserPolls);
        controller.stopAction(); // ends the move
    }
}

INSTANTIATE_TEST_SUITE_P(Engine, StuckFocuser,
                         ::testing::Values(StuckFocuserCase{"EndsTheRun", false, 1, "NSStatusUnavailable"},
                                           StuckFocuserCase{"GoneEndsTheWaitAndTheRunGoesOn", true, 3,
                                                            "NSStatusAvailable"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Engine, LiveViewEndingInAlertEndsInAlertUnlessStopped) {
    ExposingCamera& camera = addCamera("Camera A");
    connect("Camera A");
    // Stopped by the user, the same Alert is no failure to report.
    for (const bool stopped : {false, true}) {
        SCOPED_TRACE(stopped ? "stopped" : "failed");
        indigo->clearMessages();
        const std::size_t started = controller.count("Camera A CCD_STREAMING COUNT=-1 EXPOSURE=1");
        controller.previewAction(true);
        ASSERT_TRUE(
            until([&] { return controller.count("Camera A CCD_STREAMING COUNT=-1 EXPOSURE=1") == started + 1; }));
        camera.streamFrame();
        if (stopped) controller.stopAction();
        camera.camera.update("CCD_STREAMING", INDIGO_ALERT_STATE);
        ASSERT_TRUE(until([&] { return idle(); }));
        settle();
        EXPECT_EQ(view.state, "NSStatusUnavailable");
        EXPECT_EQ(logged("Live view failed on 'Camera A'"), !stopped);
    }
}

} // namespace

TEST_F(Engine, ARunTakesTheDurationAndIntervalTypedForEachFrame) {
    auto sleeper = std::make_shared<RecordedSleeper>();
    controller.setSleeper(sleeper);
    ExposingCamera& camera = addCamera("Camera A");
    connect("Camera A");
    camera.hold = true;
    view.countValue = 3;
    view.durationValue = 1;
    ztView.interval = 0.3;
    controller.captureAction();
    ASSERT_TRUE(until([&] { return camera.exposures() == 1; }));
    // Typed during the first frame: the second takes them.
    view.durationValue = 2.5;
    controller.durationAction();
    ztView.interval = 0.4;
    controller.batchAction();
    camera.finishHeld(true);
    ASSERT_TRUE(until([&] { return camera.exposures() == 2; }));
    // Typed text that is no number: the last good values stay, and the window says so.
    view.durationValue = std::nan("");
    controller.durationAction();
    EXPECT_EQ(view.problem, "Duration (s) must be a number of seconds; the run goes on with 2.5 s");
    ztView.interval = -1;
    controller.batchAction();
    EXPECT_EQ(view.problem, "Interval (s) must be 0 or more; the run goes on with 0.4 s");
    camera.finishHeld(true);
    ASSERT_TRUE(until([&] { return camera.exposures() == 3; }));
    camera.finishHeld(true);
    ASSERT_TRUE(until([&] { return idle(); }));
    settle();

    std::vector<std::string> exposures;
    for (const std::string& request : controller.sent())
        if (request.starts_with("Camera A CCD_EXPOSURE")) exposures.push_back(request);
    EXPECT_THAT(exposures, ElementsAre("Camera A CCD_EXPOSURE EXPOSURE=1", "Camera A CCD_EXPOSURE EXPOSURE=2.5",
                                       "Camera A CCD_EXPOSURE EXPOSURE=2.5"));
    EXPECT_THAT(sleeper->sleeps(), ElementsAre(400000, 400000));
    EXPECT_TRUE(logged("Duration (s) must be a number of seconds; the run goes on with 2.5 s"));
    EXPECT_TRUE(logged("Interval (s) must be 0 or more; the run goes on with 0.4 s"));
}

TEST_F(Engine, TypedValuesThatAreNoGoodSendNothing) {
    struct Case {
        double duration, count, interval;
        const char* problem;
    };
    const double nan = std::nan("");
    const Case cases[] = {
        {nan, 1, 0, "Duration (s) must be a number of seconds"},
        {-1, 1, 0, "Duration (s) must be 0 or more"},
        {7200, 1, 0, "Duration (s) must be between 0 and 3600 for this camera"},
        {1, 2.5, 0, "The frame count must be a whole number"},
        {1, 1, nan, "Interval (s) must be a number of seconds"},
        {1, 1, -0.5, "Interval (s) must be 0 or more"},
    };
    ExposingCamera& camera = addCamera("Camera A");
    connect("Camera A");
    for (const Case& c : cases) {
        view.durationValue = c.duration;
        view.countValue = c.count;
        ztView.interval = c.interval;
        controller.captureAction();
        settle();
        EXPECT_TRUE(idle()) << c.problem;
        EXPECT_EQ(view.problem, c.problem);
        EXPECT_TRUE(logged(c.problem)) << c.problem;
        // A preview needs only the duration.
        if (c.duration == 1) continue;
        controller.preview1Action();
        settle();
        EXPECT_TRUE(idle()) << c.problem;
    }
    EXPECT_EQ(camera.exposures(), 0);

    view.durationValue = 1;
    view.countValue = 1;
    ztView.interval = 0;
    controller.captureAction();
    ASSERT_TRUE(until([&] { return camera.exposures() == 1 && idle(); }));
    EXPECT_EQ(view.problem, "");
}

TEST_F(Engine, AStoppedRunLeavesNoCountAndNoFrameRate) {
    ExposingCamera& camera = addCamera("Camera A");
    connect("Camera A");
    // A preview's frame rate, then a capture run's count: both go when the run is stopped.
    controller.previewAction();
    ASSERT_TRUE(until([&] { return camera.exposures() >= 3 && !view.fps.empty(); }));
    controller.stopAction();
    ASSERT_TRUE(until([&] { return idle(); }));
    settle();
    EXPECT_EQ(view.fps, "");

    camera.hold = true;
    view.countValue = 30;
    const int before = camera.exposures();
    controller.captureAction();
    ASSERT_TRUE(until([&] { return camera.exposures() == before + 1; }));
    camera.finishHeld(true);
    ASSERT_TRUE(until([&] { return filesIn(captures).size() == 1; }));
    controller.stopAction();
    ASSERT_TRUE(until([&] { return idle(); }));
    settle();
    EXPECT_EQ(ztView.progress.back(), "--/--");
    EXPECT_EQ(view.fps, "");
}
