// Focusing in the whole application, driven through its widgets: the simulated Canon body
// previews its star field, a star is selected with the Select Stars switch and a click, the
// lens is put out of focus with the focuser dock, Autofocus brings it back, and the star stays
// selected while another camera is chosen and the first one again.

#include "Common/device.h"
#include "app/app_launch.h"
#include "app_fixture.h"
#include "camera/camera_widget.h"
#include "camera/dslr_window.h"
#include "camera/zt_camera_controller.h"
#include "fake_admin.h"
#include "focus/focus_button.h"
#include "focus/focuser_widget.h"
#include "image_window/image_window.h"
#include "platform/constants.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <cmath>
#include <gtest/gtest.h>

using namespace app_test;
using namespace std::chrono_literals;

namespace {

void choose(QComboBox* popup, const QString& title) {
    const int index = popup->findText(title);
    ASSERT_GE(index, 0) << title.toStdString();
    popup->setCurrentIndex(index);
    emit popup->activated(index); // a pick from the open list
}

double number(QLabel* field) {
    bool ok = false;
    const double value = field->text().toDouble(&ok);
    return ok ? value : std::nan("");
}

TEST(Focusing, AutofocusBringsTheSimulatedLensBackToFocus) {
    ::setenv("ZETA_SIMULATED_CAMERAS", "canon,generic", 1);
    DEFAULTS().setBool(true, "initialized_" + APP_VERSION()); // no first-launch sheet
    DEFAULTS().removeObjectForKey("enableMarkers");
    application();
    zeta::app::AppLaunch app(std::make_shared<FakeAdmin>());
    app.window().resize(1600, 1000);
    app.finishLaunching();
    auto* imageWindow = dynamic_cast<ImageWindow*>(app.window().centralWidget());
    auto* dslr = app.windows().dslrWindow();
    auto* focuser = app.window().findChild<zeta::focus::FocuserWidget*>();
    ASSERT_TRUE(imageWindow && dslr && focuser);

    const QString body = "Canon EOS 5D Mark III";
    QComboBox* cameras = dslr->cameraWidget()->camerasPopUp();
    ASSERT_TRUE(waitFor([&] { return cameras->findText(body) >= 0; }));
    choose(cameras, body);
    ASSERT_TRUE(waitFor([&] { return dslr->capturePreviewButton()->isEnabled(); }, 30s));
    ASSERT_TRUE(waitFor([&] { return focuser->focusersPopUp()->findText(body + " (focuser)") >= 0; }));
    choose(focuser->focusersPopUp(), body + " (focuser)");
    ASSERT_TRUE(waitFor([&] { return focuser->focusOutButton()->isEnabled() && focuser->stepsField()->isEnabled(); }));

    // Out of focus by twelve steps.
    focuser->stepsField()->selectAll();
    QTest::keyClicks(focuser->stepsField(), "12");
    QTest::mouseClick(focuser->focusOutButton(), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return focuser->focuserStateField()->text() != ""; }));
    QTest::qWait(3000);

    QTest::mouseClick(imageWindow->findChild<QToolButton*>("selectStarsButton"), Qt::LeftButton);
    QTest::mouseClick(dslr->capturePreviewButton(), Qt::LeftButton);
    ImageController& images = app.windows().imageController();
    ASSERT_TRUE(waitFor([&] { return images.current() != nullptr; }, 30s));
    // The brightest star is in the middle of the frame; widget rows run down like the frame's.
    const double scale = imageWindow->clickableView()->scale();
    const QPoint star(static_cast<int>(std::lround(960.5 / scale)), static_cast<int>(std::lround(640.5 / scale)));
    QTest::mouseClick(imageWindow->clickableView(), Qt::LeftButton, Qt::NoModifier, star);
    QLabel* fwhm = imageWindow->fieldLabel(zeta::imaging::Field::Fwhm);
    ASSERT_TRUE(waitFor([&] { return !std::isnan(number(fwhm)); }));
    const double blurred = number(fwhm);

    ASSERT_TRUE(waitFor([&] { return focuser->autofocusButton()->isEnabled(); }));
    QTest::mouseClick(focuser->autofocusButton(), Qt::LeftButton);
    const auto logged = [&](const std::string& text) {
        for (const std::string& line : app.delegate().indigo()->messages())
            if (line.find(text) != std::string::npos) return true;
        return false;
    };
    ASSERT_TRUE(waitFor([&] { return logged("Autofocus - done") || logged("Autofocus - lost star"); }, 240s));
    EXPECT_TRUE(logged("Autofocus - done"));
    EXPECT_TRUE(logged("Autofocus - stacking images (4/4)"));
    // Two more frames at the final position: a sharp star again (in focus its FWHM is about
    // 2.8 pixels, three steps away about 3.9).
    QTest::qWait(3000);
    ASSERT_TRUE(waitFor([&] { return !std::isnan(number(fwhm)); }));
    EXPECT_LT(number(fwhm), 3.9) << "blurred " << blurred;
    EXPECT_GT(blurred, number(fwhm) + 1);
    QTest::mouseClick(dslr->captureStopButton(), Qt::LeftButton);

    // Another camera and back: the DSLR window's resets keep the star selected.
    ASSERT_TRUE(waitFor([&] { return cameras->isEnabled(); }));
    const auto connectedTo = [&](const QString& name) {
        const auto camera = app.windows().dslrController().camera();
        return camera && camera->name() == name.toStdString() && camera->connected() &&
               dslr->capturePreviewButton()->isEnabled();
    };
    choose(cameras, "Simulated Camera");
    ASSERT_TRUE(waitFor([&] { return connectedTo("Simulated Camera"); }, 30s));
    choose(cameras, body);
    ASSERT_TRUE(waitFor([&] { return connectedTo(body); }, 30s));
    EXPECT_TRUE(images.selectedStar());
    EXPECT_FALSE(std::isnan(number(fwhm)));
    DEFAULTS().removeObjectForKey("enableMarkers");
}

} // namespace
