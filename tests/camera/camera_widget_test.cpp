// The camera window's widget, offscreen, with a test camera of our own on the in-process bus:
// what the INDI simulator does not have (mode, gamma, cooler power, exposure progress).

#include "Common/device.h"
#include "support/test_camera.h"
#include "widget_fixture.h"

#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QSlider>

using namespace camera_test;
using test_support::TestCamera;
using zeta::camera::Group;

namespace {

constexpr const char* kCam = "Widget Camera";

class CameraWidgetTest : public WidgetFixture {
protected:
    void SetUp() override {
        WidgetFixture::SetUp();
        indigo->startWithLocalServer(false, false);
        controller.awakeFromNib();
        camera.addCameraProperties();
        camera.attach();
        ASSERT_TRUE(waitFor([&] { return indexOf(kCam) >= 0; }));
        choose(kCam);
        ASSERT_TRUE(waitFor([&] { return controller.durationEnabled() && widget->modesPopUp()->count() == 2; }));
    }
    void TearDown() override {
        camera.detach();
        WidgetFixture::TearDown();
    }
    TestCamera camera{kCam};
};

TEST_F(CameraWidgetTest, ControlsFollowTheCamera) {
    EXPECT_EQ(widget->modesPopUp()->currentText(), "RAW 16 1x1");
    EXPECT_TRUE(widget->modesPopUp()->isEnabled());
    EXPECT_EQ(widget->frameTypesPopUp()->currentText(), "Light");
    EXPECT_TRUE(widget->ccdField()->text().startsWith("1280 × 1024")) << widget->ccdField()->text().toStdString();
    EXPECT_EQ(widget->coolerStateField()->text(), "0 % / 20 °C");
    EXPECT_EQ(widget->coolerCombo()->currentText(), "Off");
    EXPECT_EQ(widget->stateImage()->property("statusImage").toString(), "NSStatusNone");

    // Gamma moves in tenths: a drag to 1.23 shows 1.2 and sends it at the release.
    QSlider* gamma = widget->slider(Group::Gamma);
    EXPECT_EQ(widget->stepper(Group::Gamma)->singleStep(), 0.1);
    gamma->setSliderDown(true);
    gamma->setValue(1230);
    EXPECT_EQ(widget->field(Group::Gamma)->text(), "1.2");
    EXPECT_EQ(controller.count("Widget Camera CCD_GAMMA GAMMA=1.2"), 0u);
    gamma->setSliderDown(false);
    EXPECT_EQ(controller.count("Widget Camera CCD_GAMMA GAMMA=1.2"), 1u);
    EXPECT_DOUBLE_EQ(defaults.doubleForKey("Widget Camera.gamma", 0), 1.2);

    // A mode picked in the popup goes to the camera, which answers with it on.
    widget->modesPopUp()->setCurrentIndex(1);
    emit widget->modesPopUp()->activated(1);
    ASSERT_TRUE(waitFor([&] { return controller.mode() == "RAW8_1x1"; }));
    EXPECT_EQ(widget->modesPopUp()->currentText(), "RAW 8 1x1");
    EXPECT_EQ(defaults.stringForKey("Widget Camera.mode", ""), "RAW8_1x1");
}

TEST_F(CameraWidgetTest, ExposureProgressAndFrameRate) {
    QProgressBar* progress = widget->imagerProgressIndicator();
    EXPECT_FALSE(progress->isVisible());
    camera.setNumber("CCD_EXPOSURE", "EXPOSURE", 2);
    camera.update("CCD_EXPOSURE", INDIGO_BUSY_STATE);
    camera.setNumber("CCD_EXPOSURE", "EXPOSURE", 0.5);
    camera.update("CCD_EXPOSURE", INDIGO_BUSY_STATE);
    ASSERT_TRUE(waitFor([&] { return progress->isVisible() && progress->value() == 750; }));
    camera.setNumber("CCD_EXPOSURE", "EXPOSURE", 0);
    camera.update("CCD_EXPOSURE", INDIGO_OK_STATE);
    ASSERT_TRUE(waitFor([&] { return !progress->isVisible(); }));

    controller.setPreviewInProgress(true);
    camera.update("CCD_IMAGE");
    camera.update("CCD_IMAGE");
    ASSERT_TRUE(waitFor([&] { return widget->fpsField()->text().endsWith(" fps"); }));
    // Another camera choice clears it.
    choose(kCam);
    EXPECT_EQ(widget->fpsField()->text(), "");
}

} // namespace
