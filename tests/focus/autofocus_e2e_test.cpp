// Autofocus end to end, offscreen: a camera of ours looking at a star whose width follows the
// focuser of ours, an endless preview from the DSLR window's capture engine, the real image
// window measuring the selected star on every frame shown, and the real focuser window running
// autofocus from its button.

#include "Common/raw_image_rep.h"
#include "camera/dslr_window.h"
#include "camera/zt_camera_controller.h"
#include "focus/focuser_widget.h"
#include "focus_fixture.h"
#include "image_window/image_controller.h"
#include "image_window/image_window.h"
#include "imaging/image.h"
#include "platform/image/image_rep.h"
#include "support/qt_application.h"
#include "support/star_camera.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <atomic>
#include <cmath>

using namespace focus_test;

namespace {

using test_support::application;

class AutofocusEndToEnd : public FocusBus {
protected:
    void SetUp() override {
        application();
        zeta::platform::ImageRep::registerImageRepClass<INDIGO::RawImageRep>();
        FocusBus::SetUp();
    }
    void TearDown() override {
        cameraController.stopAction();
        dispatch::drainMainQueue();
        image.setFrameShown({});
        camera.reset();
        widget.reset();
        dslrWindow.reset();
        imageWindow.reset();
        FocusBus::TearDown();
    }

    static bool settle(const std::function<bool()>& done, std::chrono::milliseconds timeout = 10s) {
        return dispatch::runMainQueueUntil(
            [&] {
                QCoreApplication::processEvents();
                return done();
            },
            timeout);
    }

    // Both windows up, the focuser at 0 and connected, the preview running and the star
    // selected in the image window.
    void startPreviewWithStar(double best) {

        imageWindow = std::make_unique<ImageWindow>(image);
        imageWindow->resize(400, 400);
        imageWindow->show();

        Neighbours neighbours;
        neighbours.previewInProgress = [this] {
            return cameraController.previewInProgress();
        };
        neighbours.starSelected = [this] {
            return image.selectedStar().has_value();
        };
        neighbours.selectedStar = [this] {
            StarReading star;
            star.selected = image.selectedStar().has_value();
            star.peak = image.peakValue();
            star.hfd = image.hfdValue();
            star.fwhm = image.fwhmValue();
            return star;
        };
        focuser.setNeighbours(neighbours);
        image.setFrameShown([this] { focuser.autofocus(); });
        widget = std::make_unique<FocuserWidget>(focuser);
        widget->show();
        cameraController.setImageController(&image);
        cameraController.setFocuserController(&focuser);
        dslrWindow = std::make_unique<zeta::camera::DslrWindow>(cameraController);
        cameraController.awakeFromNib();
        dslrWindow->show();

        use(focuser);
        use(cameraController);
        start();
        // Devices join the bus once it runs.
        focusDevice = &addFocuser({.name = "Star Focuser"});
        focusDevice->setMoveTime(50ms);
        test_support::StarCamera::Options options;
        options.model.best = best;
        options.seed = 7;
        options.position = [&device = *focusDevice] {
            return device.position();
        };
        camera = std::make_unique<test_support::StarCamera>(options);
        focuser.awakeFromNib();
        ASSERT_TRUE(settle([&] { return indexOf(focuser.focusersPopUp().titles(), focusDevice->name()) > 0; }));
        focuser.selectFocuser(indexOf(focuser.focusersPopUp().titles(), focusDevice->name()));
        ASSERT_TRUE(settle([&] { return connectionDone(*focusDevice) && widget->initialStepField()->text() == "4"; }));
        ASSERT_TRUE(settle([&] { return indexOf(cameraController.cameraList().titles(), "Star Camera") >= 0; }));
        cameraController.selectCamera(indexOf(cameraController.cameraList().titles(), "Star Camera"));
        ASSERT_TRUE(settle([&] {
            const auto device = cameraController.camera();
            return device && device->connected() && dslrWindow->capturePreviewButton()->isEnabled();
        }));

        QTest::mouseClick(dslrWindow->capturePreviewButton(), Qt::LeftButton);
        ASSERT_TRUE(cameraController.previewInProgress());
        ASSERT_TRUE(settle([&] { return image.current() != nullptr; }));
        const double zoom = image.zoom();
        const double middle = test_support::StarModel{}.width / 2.0;
        image.selectedWithPoint({middle / zoom, middle / zoom});
        ASSERT_TRUE(image.selectedStar().has_value());
        focuser.updateGUI();
    }

    void clickAutofocus() {
        QPushButton* button = widget->autofocusButton();
        ASSERT_TRUE(button->isEnabled());
        QTest::mouseClick(button, Qt::LeftButton);
        ASSERT_TRUE(focuser.autofocusInProgress());
        EXPECT_TRUE(button->isChecked());
    }

    std::vector<std::string> autofocusLines() const {
        std::vector<std::string> lines;
        for (const std::string& line : logLines())
            if (line.rfind("Autofocus - ", 0) == 0) lines.push_back(line);
        return lines;
    }

    test_support::TestFocuser* focusDevice = nullptr;
    std::unique_ptr<test_support::StarCamera> camera;
    ImageController image;
    std::unique_ptr<ImageWindow> imageWindow;
    std::unique_ptr<FocuserWidget> widget;
    ZTCameraController cameraController{defaults};
    std::unique_ptr<zeta::camera::DslrWindow> dslrWindow;
};

class FromEitherSide : public AutofocusEndToEnd, public ::testing::WithParamInterface<double> {};

TEST_P(FromEitherSide, EndsWithinOneFinalStepOfBest) {
    const double best = GetParam();
    ASSERT_NO_FATAL_FAILURE(startPreviewWithStar(best));
    ASSERT_NO_FATAL_FAILURE(clickAutofocus());

    ASSERT_TRUE(settle([&] { return !focuser.autofocusInProgress(); }, 120s))
        << ::testing::PrintToString(autofocusLines());
    ASSERT_TRUE(settle([&] { return !focusDevice->moving(); }));
    const auto lines = autofocusLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "Autofocus - done") << ::testing::PrintToString(lines);
    EXPECT_LE(std::abs(focusDevice->position() - best), 1.0) << ::testing::PrintToString(lines);
    // The run took frames only between moves: every group restarted at (1/4) after a move.
    for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
        if (lines[i - 1].find("step size") != std::string::npos) {
            EXPECT_EQ(lines[i], "Autofocus - stacking images (1/4)");
        }
    }
    settle([&] { return widget->autofocusButton()->isEnabled(); });
    EXPECT_FALSE(widget->autofocusButton()->isChecked());
}

INSTANTIATE_TEST_SUITE_P(FortyStepsOff, FromEitherSide, ::testing::Values(40.0, -40.0),
                         [](const auto& info) { return info.param > 0 ? std::string("Below") : std::string("Above"); });

TEST_F(AutofocusEndToEnd, LosingTheStarAborts) {
    ASSERT_NO_FATAL_FAILURE(startPreviewWithStar(40));
    ASSERT_NO_FATAL_FAILURE(clickAutofocus());
    ASSERT_TRUE(settle([&] { return logged("Autofocus - stacking images (2/4)"); }));
    camera->setStarVisible(false);

    ASSERT_TRUE(settle([&] { return !focuser.autofocusInProgress(); }));
    const auto lines = autofocusLines();
    EXPECT_EQ(lines.back(), "Autofocus - lost star");
    EXPECT_FALSE(logged("Autofocus - done"));
    EXPECT_FALSE(image.selectedStar().has_value());
    EXPECT_TRUE(settle([&] { return focusDevice->requests().back() == "FOCUSER_ABORT_MOTION ABORT_MOTION=On"; }));
}

TEST_F(AutofocusEndToEnd, TheCameraWindowsStopEndsIt) {
    ASSERT_NO_FATAL_FAILURE(startPreviewWithStar(40));
    ASSERT_NO_FATAL_FAILURE(clickAutofocus());
    ASSERT_TRUE(settle([&] { return logged("Autofocus - stacking images (1/4)"); }));

    QTest::mouseClick(dslrWindow->captureStopButton(), Qt::LeftButton);
    EXPECT_FALSE(focuser.autofocusInProgress());
    EXPECT_TRUE(settle([&] { return focusDevice->requests().back() == "FOCUSER_ABORT_MOTION ABORT_MOTION=On"; }));
    ASSERT_TRUE(settle([&] { return !cameraController.previewInProgress(); }));
    const auto lines = autofocusLines();
    dispatch::drainMainQueue();
    EXPECT_EQ(autofocusLines(), lines);
    EXPECT_FALSE(widget->autofocusButton()->isChecked());
}

} // namespace
