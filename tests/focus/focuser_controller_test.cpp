// FocuserController and ZTFocuserController on the in-process bus with focusers of ours.

#include "focus_fixture.h"

using namespace focus_test;
using test_support::TestFocuser;

namespace {

class Focuser : public FocusBus {
protected:
    // Lists, selects and connects the focuser; returns once its step settings are shown.
    void connect(FocuserController& controller, RecordingFocuserView& view, const TestFocuser& focuserDevice) {
        const std::string& name = focuserDevice.name();
        ASSERT_TRUE(until([&] { return indexOf(view.titles, name) > 0; }));
        controller.selectFocuser(indexOf(view.titles, name));
        ASSERT_TRUE(until([&] {
            const auto device = controller.focuser();
            return device && device->connected() && view.steps.has_value() && view.controls.moveEnabled &&
                   connectionDone(focuserDevice);
        }));
    }
    std::shared_ptr<INDIGO::Property> property(const std::string& device, const char* name) {
        const auto d = indigo->device(device);
        return d ? d->property(name) : nullptr;
    }
};

} // namespace

TEST_F(Focuser, WithoutAFocuserTheWindowShowsItsEmptyLook) {
    RecordingFocuserView view;
    focuser.setView(&view);
    use(focuser);
    start();
    focuser.awakeFromNib();
    ASSERT_TRUE(until([&] { return !view.titles.empty(); }));
    EXPECT_EQ(view.titles, std::vector<std::string>{"No focuser"});
    EXPECT_EQ(view.selected, 0);
    EXPECT_TRUE(view.enabled);
    EXPECT_EQ(view.controls, FocuserControls{.focusersEnabled = true});
    EXPECT_EQ(view.steps, std::nullopt); // "N/A"
    EXPECT_EQ(view.initialStep, std::nullopt);
    EXPECT_EQ(view.speedText, "--");
    EXPECT_EQ((std::vector<double>{view.min, view.max, view.value}), (std::vector<double>{0, 1, 1}));
    EXPECT_EQ(view.image, "NSStatusNone");
    EXPECT_EQ(view.state, "-- / -- °C");
    EXPECT_TRUE(logged("'No focuser' selected"));

    RecordingFocuserView productView;
    product.setView(&productView);
    product.awakeFromNib();
    EXPECT_EQ(productView.state, "--");
    EXPECT_EQ(productView.controls, FocuserControls{.focusersEnabled = true});

    // A capture or preview in the camera window locks the choice of focuser.
    bool capturing = true;
    focuser.setNeighbours({.captureInProgress = [&] {
        return capturing;
    }});
    focuser.updateGUI();
    ASSERT_TRUE(until([&] { return !view.enabled; }));
    EXPECT_FALSE(focuser.focusersPopUp().enabled());
}

TEST_F(Focuser, ConnectingRestoresSettingsAndShowsStateInEitherUnit) {
    RecordingFocuserView view;
    focuser.setView(&view);
    use(focuser);
    start();
    focuser.awakeFromNib();
    auto& device = addFocuser({.name = "Focuser A", .speed = 37, .speedStep = 5});
    connect(focuser, view, device);

    // The connection: CONFIG LOAD, CONNECTED, CONFIG LOAD, in that order; no speed was stored.
    const auto requests = device.requests();
    ASSERT_GE(requests.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(requests.begin(), requests.begin() + 3),
              (std::vector<std::string>{"CONFIG LOAD=On", "CONNECTION CONNECTED=On", "CONFIG LOAD=On"}));
    EXPECT_EQ(requests.size(), 3u);
    EXPECT_TRUE(logged("'Focuser A' selected"));
    EXPECT_EQ(view.steps, 1);
    EXPECT_EQ(view.backlash, 0);
    EXPECT_EQ(view.initialStep, 4);
    EXPECT_EQ(view.finalStep, 1);
    ASSERT_TRUE(until([&] { return view.state == "0 / 18 °C"; })) << view.state;
    EXPECT_EQ(view.speedText, "35"); // 37 shown in steps of 5
    EXPECT_EQ(view.increment, 5);
    EXPECT_TRUE(view.controls.speedEnabled);

    defaults.setBool(true, "useFahrenheit");
    focuser.savePreferences();
    EXPECT_EQ(view.state, "0 / 65 °F");

    // A stepper click sends the rounded speed and stores it; the next connection restores it.
    focuser.speedAction(FocuserController::SpeedControl::Stepper, 52, false);
    EXPECT_EQ(view.speedText, "50");
    EXPECT_EQ(defaults.doubleForKey("Focuser A.speed", 0), 50);
    ASSERT_TRUE(until([&] { return device.requests().back() == "FOCUSER_SPEED SPEED=50"; }));
    // Dragging the slider stores without sending; the release sends.
    focuser.speedAction(FocuserController::SpeedControl::Slider, 71, false);
    EXPECT_EQ(defaults.doubleForKey("Focuser A.speed", 0), 70);
    focuser.speedAction(FocuserController::SpeedControl::Slider, 74, true);
    ASSERT_TRUE(until([&] { return device.requests().back() == "FOCUSER_SPEED SPEED=75"; }));
    const auto afterDrag = device.requests();
    EXPECT_EQ(std::count(afterDrag.begin(), afterDrag.end(), "FOCUSER_SPEED SPEED=70"), 0);

    focuser.settingsAction(7, 3, 6, 2);
    device.clearEvents();
    focuser.selectFocuser(indexOf(view.titles, "Focuser A")); // choosing it again reconnects it
    ASSERT_TRUE(until([&] {
        const auto r = device.requests();
        return std::find(r.begin(), r.end(), "FOCUSER_SPEED SPEED=75") != r.end() && view.steps == 7;
    }));
    EXPECT_EQ(device.requests().front(), "CONNECTION DISCONNECTED=On");
    EXPECT_EQ(view.backlash, 3);
    EXPECT_EQ(view.initialStep, 6);
    EXPECT_EQ(view.finalStep, 2);
}

TEST_F(Focuser, BacklashOnReversalWithDirectionAlwaysBeforeSteps) {
    RecordingFocuserView view;
    focuser.setView(&view);
    use(focuser);
    start();
    auto& device = addFocuser({.name = "Focuser A"});
    device.setMoveTime(1ms);
    connect(focuser, view, device);
    focuser.settingsAction(10, 5);
    device.clearEvents();
    // From another thread as the capture engine does, and from the main queue.
    std::thread engine([&] {
        focuser.focusOut();
        focuser.focusOut();
    });
    engine.join();
    focuser.focusIn();
    focuser.focusIn();
    focuser.focusOut();
    ASSERT_TRUE(until([&] { return moves(device.requests()).size() == 10; }));
    EXPECT_EQ(moves(device.requests()), (std::vector<std::string>{
                                            "FOCUSER_DIRECTION MOVE_OUTWARD=On",
                                            "FOCUSER_STEPS STEPS=10",
                                            "FOCUSER_DIRECTION MOVE_OUTWARD=On",
                                            "FOCUSER_STEPS STEPS=10",
                                            "FOCUSER_DIRECTION MOVE_INWARD=On",
                                            "FOCUSER_STEPS STEPS=15",
                                            "FOCUSER_DIRECTION MOVE_INWARD=On",
                                            "FOCUSER_STEPS STEPS=10",
                                            "FOCUSER_DIRECTION MOVE_OUTWARD=On",
                                            "FOCUSER_STEPS STEPS=15",
                                        }));
    // The position shown is the device's (overlapping moves of ours re-aim, so it is not 10).
    ASSERT_TRUE(until([&] {
        return !device.moving() && view.state == std::to_string(static_cast<int>(device.position())) + " / 18 °C";
    })) << view.state;
}

TEST_F(Focuser, StepsZeroHoldsWhereTheFocuserCanAbortAndSendsNothingElsewhere) {
    RecordingFocuserView view;
    focuser.setView(&view);
    use(focuser);
    start();
    auto& abortable = addFocuser({.name = "Focuser A"});
    abortable.setMoveTime(60s);
    auto& plain = addFocuser({.name = "Focuser B", .abort = false});
    connect(focuser, view, abortable);
    focuser.settingsAction(0, 5);
    abortable.clearEvents();
    focuser.focusAction(Direction::Outward, true);
    ASSERT_TRUE(until([&] { return abortable.moving(); }));
    focuser.focusAction(Direction::Outward, false);
    ASSERT_TRUE(until([&] { return !abortable.moving(); }));
    EXPECT_EQ(abortable.events(),
              (std::vector<std::string>{"FOCUSER_DIRECTION MOVE_OUTWARD=On", "FOCUSER_STEPS STEPS=65535",
                                        "FOCUSER_ABORT_MOTION ABORT_MOTION=On", "aborted"}));
    EXPECT_EQ(focuser.direction(), Direction::None); // a hold records no direction

    connect(focuser, view, plain);
    focuser.settingsAction(0, 5);
    plain.clearEvents();
    focuser.focusAction(Direction::Inward, true);
    focuser.focusAction(Direction::Inward, false); // a click with steps 0: no 0-step move
    focuser.focusIn();
    focuser.focusOut();
    focuser.settingsAction(2, 5);
    focuser.focusOut(); // the one request: everything before it sent nothing
    ASSERT_TRUE(until([&] { return moves(plain.requests()).size() >= 2; }));
    EXPECT_EQ(moves(plain.requests()),
              (std::vector<std::string>{"FOCUSER_DIRECTION MOVE_OUTWARD=On", "FOCUSER_STEPS STEPS=2"}));
    // Negative field values count as 0.
    focuser.settingsAction(-4, -3);
    EXPECT_EQ(focuser.steps(), 0);
    EXPECT_EQ(focuser.backlash(), 0);
}

TEST_F(Focuser, AnotherFocuserStartsWithoutDirectionOrState) {
    RecordingFocuserView view;
    focuser.setView(&view);
    use(focuser);
    start();
    auto& a = addFocuser({.name = "Focuser A"});
    a.setMoveTime(1ms);
    auto& b = addFocuser({.name = "Focuser B"});
    b.setMoveTime(1ms);
    connect(focuser, view, a);
    focuser.settingsAction(4, 9);
    a.failNextMove();
    focuser.focusOut();
    ASSERT_TRUE(until([&] { return focuser.state() == INDIGO_ALERT_STATE; }));

    connect(focuser, view, b);
    EXPECT_EQ(focuser.state(), INDIGO_IDLE_STATE);
    EXPECT_EQ(focuser.direction(), Direction::None);
    focuser.settingsAction(4, 9);
    b.clearEvents();
    focuser.focusIn(); // no backlash owed to Focuser A's outward move
    ASSERT_TRUE(until([&] { return moves(b.requests()).size() == 2; }));
    EXPECT_EQ(moves(b.requests()).back(), "FOCUSER_STEPS STEPS=4");
    EXPECT_EQ(a.requests().back(), "CONNECTION DISCONNECTED=On");
}

TEST_F(Focuser, UnlistingTheSelectedFocuserFallsBackToTheFirstEntry) {
    RecordingFocuserView view;
    focuser.setView(&view);
    use(focuser);
    start();
    auto& device = addFocuser({.name = "Focuser A"});
    connect(focuser, view, device);
    focusers.clear(); // the device leaves the bus
    ASSERT_TRUE(until([&] { return view.titles == std::vector<std::string>{"No focuser"}; }));
    EXPECT_EQ(view.selected, 0);
    EXPECT_EQ(focuser.focuser(), nullptr);
    EXPECT_EQ(view.steps, std::nullopt);
}

TEST_F(Focuser, MultiStepRunWaitsForEachMoveAndEndsOnAlertOrStop) {
    RecordingFocuserView view;
    product.setView(&view);
    int count = 3;
    product.setNeighbours({.frameCount = [&] {
        return count;
    }});
    use(product);
    start();
    product.awakeFromNib();
    auto& device = addFocuser({.name = "Focuser A"});
    device.setMoveTime(300ms);
    connect(product, view, device);
    product.settingsAction(5, 0);

    device.clearEvents();
    product.multiAction(false);
    ASSERT_TRUE(until([&] { return !product.runInProgress(); }));
    const std::vector<std::string> oneMove{"FOCUSER_DIRECTION MOVE_OUTWARD=On", "FOCUSER_STEPS STEPS=5", "moved Ok"};
    std::vector<std::string> three;
    for (int i = 0; i < 3; ++i)
        three.insert(three.end(), oneMove.begin(), oneMove.end());
    EXPECT_EQ(device.events(), three); // each move ended before the next went out
    EXPECT_EQ(device.position(), 15);

    // An Alert ends the run after the failed move.
    device.clearEvents();
    device.failNextMove();
    product.multiAction(true);
    ASSERT_TRUE(until([&] { return !product.runInProgress(); }));
    EXPECT_EQ(device.events(),
              (std::vector<std::string>{"FOCUSER_DIRECTION MOVE_INWARD=On", "FOCUSER_STEPS STEPS=5", "moved Alert"}));

    // Stop ends it while the first move is under way (the abort makes that move Alert).
    count = 5;
    device.setMoveTime(2s);
    device.clearEvents();
    product.multiAction(true);
    ASSERT_TRUE(until([&] { return device.moving(); }));
    product.stopAction();
    EXPECT_FALSE(product.runInProgress());
    ASSERT_TRUE(until([&] { return !device.moving(); }));
    EXPECT_EQ(moves(device.requests()),
              (std::vector<std::string>{"FOCUSER_DIRECTION MOVE_INWARD=On", "FOCUSER_STEPS STEPS=5",
                                        "FOCUSER_ABORT_MOTION ABORT_MOTION=On"}));

    // An Alert arriving while a move of a run is Busy ends the run too.
    device.setMoveTime(300ms);
    device.clearEvents();
    product.multiAction(false);
    ASSERT_TRUE(until([&] { return device.moving(); }));
    device.injectStepsState(INDIGO_ALERT_STATE);
    ASSERT_TRUE(until([&] { return !product.runInProgress() && !device.moving(); }));
    EXPECT_EQ(moves(device.requests()).size(), 2u);
}

TEST_F(Focuser, TheProductWindowStaysLockedForAWholeSequence) {
    RecordingFocuserView view;
    product.setView(&view);
    bool sequence = false;
    product.setNeighbours({.sequenceInProgress = [&] {
        return sequence;
    }});
    use(product);
    start();
    product.awakeFromNib();
    auto& device = addFocuser({.name = "Focuser A"});
    connect(product, view, device);

    // Between two capture runs of a sequence no capture runs, yet nothing may move the focuser.
    sequence = true;
    product.updateGUI();
    ASSERT_TRUE(until([&] { return !view.enabled; }));
    EXPECT_FALSE(view.controls.moveEnabled || view.controls.multiEnabled || view.controls.stepsEnabled);
    EXPECT_TRUE(view.controls.stopEnabled);
    sequence = false;
    product.updateGUI();
    ASSERT_TRUE(until([&] { return view.enabled; }));
    EXPECT_TRUE(view.controls.moveEnabled && view.controls.multiEnabled && view.controls.stepsEnabled);
}
