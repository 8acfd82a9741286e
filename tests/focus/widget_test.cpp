// The real focuser and wheel widgets, driven with QTest offscreen, on the in-process bus.

#include "focus/focus_button.h"
#include "focus/focuser_widget.h"
#include "focus/wheel_widget.h"
#include "focus_fixture.h"
#include "support/qt_application.h"

#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QTest>

using namespace focus_test;

namespace {

using test_support::application;

class Widgets : public FocusBus {
protected:
    void SetUp() override {
        application();
        FocusBus::SetUp();
    }
    static bool settle(const std::function<bool()>& done) {
        return dispatch::runMainQueueUntil(
            [&] {
                QCoreApplication::processEvents();
                return done();
            },
            10s);
    }
    static void choose(QComboBox* combo, const QString& title) {
        const int index = combo->findText(title);
        ASSERT_GE(index, 0) << title.toStdString();
        combo->setCurrentIndex(index);
        emit combo->activated(index); // as a pick from the open list does
    }
};

} // namespace

TEST_F(Widgets, FocuserWindowWithoutAFocuser) {
    FocuserWidget widget(focuser);
    use(focuser);
    start();
    focuser.awakeFromNib();
    ASSERT_TRUE(settle([&] { return widget.focusersPopUp()->count() == 1; }));
    EXPECT_EQ(widget.focusersPopUp()->currentText(), "No focuser");
    EXPECT_EQ(widget.stepsField()->text(), "N/A");
    EXPECT_EQ(widget.backlashField()->text(), "N/A");
    EXPECT_FALSE(widget.stepsField()->isEnabled());
    EXPECT_EQ(widget.speedField()->text(), "--");
    EXPECT_FALSE(widget.speedSlider()->isEnabled());
    EXPECT_EQ(widget.speedSlider()->value(), widget.speedSlider()->maximum());
    EXPECT_EQ(widget.speedStepper()->value(), 1);
    EXPECT_FALSE(widget.focusInButton()->isEnabled());
    EXPECT_FALSE(widget.stopButton()->isEnabled());
    EXPECT_EQ(widget.stateImageName(), "NSStatusNone");
    EXPECT_EQ(widget.focuserStateField()->text(), "-- / -- °C");
}

TEST_F(Widgets, HoldingAButtonWithStepsZeroMovesUntilReleaseAndLeavingIsNoNewPress) {
    FocuserWidget widget(product);
    use(product);
    start();
    product.awakeFromNib();
    auto& device = addFocuser({.name = "Focuser A"});
    device.setMoveTime(60s);
    ASSERT_TRUE(settle([&] { return widget.focusersPopUp()->findText("Focuser A") > 0; }));
    choose(widget.focusersPopUp(), "Focuser A");
    ASSERT_TRUE(settle([&] {
        return widget.stepsField()->text() == "1" && widget.focusOutButton()->isEnabled() && connectionDone(device);
    }));
    EXPECT_EQ(widget.focuserStateField()->text(), "0"); // the product window shows the position only

    widget.stepsField()->clear();
    QTest::keyClicks(widget.stepsField(), "0");
    EXPECT_EQ(product.steps(), 0);
    EXPECT_EQ(defaults.integerForKey("Focuser A.steps", -1), 0);
    device.clearEvents();

    FocusButton* out = widget.focusOutButton();
    const QPoint inside = out->rect().center();
    QTest::mousePress(out, Qt::LeftButton, Qt::NoModifier, inside);
    EXPECT_TRUE(out->isPressed());
    ASSERT_TRUE(settle([&] { return device.moving(); }));
    QTest::mouseMove(out, QPoint(-40, -40)); // out of the button and back in
    QTest::mouseMove(out, inside);
    QTest::mouseRelease(out, Qt::LeftButton, Qt::NoModifier, inside);
    EXPECT_FALSE(out->isPressed());
    ASSERT_TRUE(settle([&] { return !device.moving(); }));
    EXPECT_EQ(device.events(),
              (std::vector<std::string>{"FOCUSER_DIRECTION MOVE_OUTWARD=On", "FOCUSER_STEPS STEPS=65535",
                                        "FOCUSER_ABORT_MOTION ABORT_MOTION=On", "aborted"}));
    ASSERT_TRUE(settle([&] { return widget.stateImageName() == "NSStatusUnavailable"; }));

    // A click with steps outside continuous mode is one move, sent on release.
    widget.stepsField()->clear();
    QTest::keyClicks(widget.stepsField(), "25");
    device.setMoveTime(1ms);
    device.clearEvents();
    QTest::mouseClick(widget.focusInButton(), Qt::LeftButton);
    ASSERT_TRUE(settle([&] { return device.position() == -25; }));
    EXPECT_EQ(moves(device.requests()),
              (std::vector<std::string>{"FOCUSER_DIRECTION MOVE_INWARD=On", "FOCUSER_STEPS STEPS=25"}));
    ASSERT_TRUE(settle([&] { return widget.focuserStateField()->text() == "-25"; }));
}

TEST_F(Widgets, TheProductWindowRunsAutofocusAndLetsGoOfAFocuserThatWent) {
    FocuserWidget widget(product);
    use(product);
    bool preview = false, star = false;
    Neighbours neighbours;
    neighbours.previewInProgress = [&] {
        return preview;
    };
    neighbours.starSelected = [&] {
        return star;
    };
    product.setNeighbours(neighbours);
    start();
    product.awakeFromNib();
    addFocuser({.name = "Focuser A"});
    ASSERT_TRUE(settle([&] { return widget.focusersPopUp()->findText("Focuser A") > 0; }));
    choose(widget.focusersPopUp(), "Focuser A");
    ASSERT_TRUE(settle([&] { return widget.stepsField()->text() == "1" && widget.focusOutButton()->isEnabled(); }));
    ASSERT_NE(widget.autofocusButton(), nullptr);
    ASSERT_NE(widget.rewindAction(), nullptr);
    EXPECT_EQ(widget.initialStepField()->text(), "4");
    EXPECT_EQ(widget.finalStepField()->text(), "1");
    EXPECT_TRUE(widget.initialStepField()->isEnabled());
    // Autofocus needs a preview and a selected star, as in the general window.
    EXPECT_FALSE(widget.autofocusButton()->isEnabled());
    preview = true;
    product.updateGUI();
    EXPECT_FALSE(widget.autofocusButton()->isEnabled());
    star = true;
    product.updateGUI();
    ASSERT_TRUE(widget.autofocusButton()->isEnabled());
    QTest::mouseClick(widget.autofocusButton(), Qt::LeftButton);
    EXPECT_TRUE(product.autofocusInProgress());
    EXPECT_TRUE(widget.autofocusButton()->isChecked());
    // The routine moves the focuser: no hand moves or step changes meanwhile.
    EXPECT_FALSE(widget.focusOutButton()->isEnabled());
    EXPECT_FALSE(widget.stepsField()->isEnabled());
    EXPECT_FALSE(widget.initialStepField()->isEnabled());
    QTest::mouseClick(widget.stopButton(), Qt::LeftButton);
    EXPECT_FALSE(product.autofocusInProgress());
    EXPECT_TRUE(widget.focusOutButton()->isEnabled());

    // Another client disconnects the focuser: the window takes its no-focuser look at once.
    preview = star = false;
    indigo->setSwitchItem(product.focuser()->connectionProperty(), "DISCONNECTED", true);
    ASSERT_TRUE(settle([&] { return widget.focusersPopUp()->currentText() == "No focuser"; }));
    EXPECT_FALSE(widget.focusOutButton()->isEnabled());
    EXPECT_FALSE(widget.focusInButton()->isEnabled());
    EXPECT_FALSE(widget.rewindButton()->isEnabled());
    EXPECT_FALSE(widget.stopButton()->isEnabled());
    EXPECT_EQ(widget.stateImageName(), "NSStatusNone");
    EXPECT_EQ(widget.stepsField()->text(), "N/A");
}

TEST_F(Widgets, SpeedStepperSendsAtOnce) {
    FocuserWidget widget(focuser);
    use(focuser);
    start();
    focuser.awakeFromNib();
    auto& device = addFocuser({.name = "Focuser A", .speed = 37, .speedStep = 5});
    ASSERT_TRUE(settle([&] { return widget.focusersPopUp()->findText("Focuser A") > 0; }));
    choose(widget.focusersPopUp(), "Focuser A");
    ASSERT_TRUE(settle([&] { return widget.speedSlider()->isEnabled() && connectionDone(device); }));
    EXPECT_EQ(widget.speedField()->text(), "35");
    device.clearEvents();
    widget.speedStepper()->stepUp(); // 37 + 5
    EXPECT_EQ(widget.speedField()->text(), "40");
    ASSERT_TRUE(settle([&] { return !device.requests().empty(); }));
    EXPECT_EQ(device.requests(), std::vector<std::string>{"FOCUSER_SPEED SPEED=40"});
}

TEST_F(Widgets, WheelWindowSelectsTheRightSlotsForRepeatedNames) {
    WheelWidget widget(wheel);
    use(wheel);
    start();
    auto& device = addWheel("Wheel A", {"L", "R", "G", "B", "L"});
    device.setMoveTime(1ms);
    ASSERT_TRUE(settle([&] { return widget.wheelsPopUp()->findText("Wheel A") > 0; }));
    choose(widget.wheelsPopUp(), "Wheel A");
    ASSERT_TRUE(settle([&] { return widget.filtersPopUp()->count() == 5 && widget.filtersPopUp()->isEnabled(); }));
    for (int entry : {4, 0, 2, 4}) {
        widget.filtersPopUp()->setCurrentIndex(entry);
        emit widget.filtersPopUp()->activated(entry);
        EXPECT_EQ(widget.filtersPopUp()->currentIndex(), -1);
        ASSERT_TRUE(settle([&] { return widget.filtersPopUp()->currentIndex() == entry; })) << entry;
        EXPECT_EQ(device.slot(), entry + 1);
    }
}
