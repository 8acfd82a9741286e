// The application's windows as main() builds them, offscreen, with a camera of ours on the
// bus: the main menu's Live View item, and the windows' popups as the application device
// publishes them.

#include "Common/device.h"
#include "app/app_launch.h"
#include "app_fixture.h"
#include "camera/dslr_window.h"
#include "camera/zt_camera_controller.h"
#include "fake_admin.h"
#include "image_window/image_window.h"
#include "imaging/image.h"
#include "platform/camera/star_field.h"
#include "platform/constants.h"
#include "platform/image/data.h"
#include "support/test_camera.h"

#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <gtest/gtest.h>

using namespace app_test;

namespace {

QAction* findAction(QMenu& menu, const QString& text) {
    for (QAction* action : menu.actions())
        if (action->text() == text) return action;
    return nullptr;
}

class WindowSetLaunch : public ::testing::Test {
protected:
    void SetUp() override {
        application();
        DEFAULTS().setBool(true, "initialized_" + APP_VERSION()); // no first-launch sheet
        app = std::make_unique<zeta::app::AppLaunch>(std::make_shared<FakeAdmin>());
        app->finishLaunching();

        camera.addCameraProperties();
        camera.addNumber("CCD_STREAMING", {{"EXPOSURE", 0, 3600, 0, 0}, {"COUNT", -1, 100000, 1, 0}});
        camera.onChange = [](test_support::TestCamera& c, const indigo_property* request) {
            if (std::string(request->name) != "CCD_STREAMING") return false;
            c.update("CCD_STREAMING", INDIGO_BUSY_STATE);
            return true;
        };
        camera.attach();
        ASSERT_TRUE(waitFor([&] {
            const auto titles = controller().camerasPopUp().titles();
            return std::find(titles.begin(), titles.end(), "Camera A") != titles.end();
        }));
    }
    void TearDown() override {
        controller().stopAction();
        app.reset();
        camera.detach();
    }

    ZTCameraController& controller() { return app->windows().dslrController(); }

    std::unique_ptr<zeta::app::AppLaunch> app;
    test_support::TestCamera camera{"Camera A"};
};

} // namespace

TEST_F(WindowSetLaunch, LiveViewMenuStartsLiveViewAndFollowsTheButton) {
    QAction* item = findAction(*app->window().viewMenu(), "Live View");
    ASSERT_NE(item, nullptr);
    QPushButton* button = app->windows().dslrWindow()->liveViewButton();
    EXPECT_FALSE(item->isEnabled()); // no camera chosen yet

    controller().camerasPopUp().selectItemWithTitle("Camera A");
    controller().cameraAction();
    ASSERT_TRUE(waitFor([&] { return button->isEnabled(); }));
    EXPECT_TRUE(item->isEnabled());

    camera.clearChanges();
    item->trigger();
    EXPECT_TRUE(camera.waitForChanges(1));
    EXPECT_EQ(camera.changes().front().rfind("CCD_STREAMING COUNT=-1", 0), 0u) << camera.changes().front();
    EXPECT_TRUE(controller().previewInProgress());
    // Busy now: neither the button nor the item starts another run.
    EXPECT_TRUE(waitFor([&] { return !button->isEnabled(); }));
    EXPECT_FALSE(item->isEnabled());
}

TEST_F(WindowSetLaunch, AClientsChoiceInTheCameraListPicksTheCamera) {
    INDIGO& client = *app->delegate().indigo();
    std::shared_ptr<INDIGO::Property> list;
    ASSERT_TRUE(waitFor([&] {
        const auto own = client.device(APP_NAME());
        list = own ? own->property("CAMERA_LIST") : nullptr;
        return list && list->item<INDIGO::SwitchItem>("Camera A");
    }));
    client.setSwitchItem(list, "Camera A", true);
    EXPECT_TRUE(waitFor([&] {
        const auto chosen = controller().camera();
        return chosen && chosen->name() == "Camera A";
    }));
}

// The image window's selection switch in the View menu and the focus panels in the Window
// menu: a rectangle dragged over a Bahtinov mask is analysed as soon as the menu opens its
// panel, not from the next frame.
TEST_F(WindowSetLaunch, TheMenusSwitchSelectionOnAndOpenThePanelsWithTheirAnalysis) {
    DEFAULTS().removeObjectForKey("enableMarkers");
    app.reset();
    app = std::make_unique<zeta::app::AppLaunch>(std::make_shared<FakeAdmin>());
    app->finishLaunching();
    auto* imageWindow = dynamic_cast<ImageWindow*>(app->window().centralWidget());
    ASSERT_NE(imageWindow, nullptr);
    app->window().resize(1400, 900);
    app->window().show();
    QAction* selectStars = findAction(*app->window().viewMenu(), "Select Stars");
    QAction* bahtinov = findAction(*app->window().windowMenu(), "Bahtinov");
    ASSERT_TRUE(selectStars && bahtinov);
    EXPECT_FALSE(selectStars->isChecked());
    EXPECT_FALSE(selectStars->shortcut().isEmpty());

    zeta::platform::StarFieldScene scene;
    scene.defocus = 20;
    scene.bahtinovMask = true;
    ImageController& images = app->windows().imageController();
    images.setImage(std::make_shared<Image>(zeta::platform::Data(zeta::platform::starFieldJPEG(scene)), ".jpeg"));
    QTest::mouseClick(imageWindow->findChild<QPushButton*>("actualSizeButton"), Qt::LeftButton);
    // Widget rows run down like the frame's; the mask's spikes cross in the middle.
    const auto drag = [&] {
        ClickableView* picture = imageWindow->clickableView();
        QTest::mousePress(picture, Qt::LeftButton, Qt::NoModifier, QPoint(830, 510));
        QTest::mouseMove(picture, QPoint(960, 640));
        QTest::mouseRelease(picture, Qt::LeftButton, Qt::NoModifier, QPoint(1090, 770));
    };
    drag();
    EXPECT_FALSE(images.frameMarker()) << "selection is off until switched on";
    selectStars->trigger();
    EXPECT_TRUE(images.enableMarkers());
    drag();
    ASSERT_TRUE(images.frameMarker());
    EXPECT_FALSE(imageWindow->bahtinovPanel()->isVisible());
    EXPECT_EQ(imageWindow->fieldLabel(zeta::imaging::Field::FocusError)->text(), "--");
    bahtinov->trigger();
    EXPECT_TRUE(imageWindow->bahtinovPanel()->isVisible());
    EXPECT_NE(imageWindow->fieldLabel(zeta::imaging::Field::FocusError)->text(), "--");

    // The next launch starts as the user left it.
    app.reset();
    app = std::make_unique<zeta::app::AppLaunch>(std::make_shared<FakeAdmin>());
    app->finishLaunching();
    EXPECT_TRUE(findAction(*app->window().viewMenu(), "Select Stars")->isChecked());
    EXPECT_TRUE(app->windows().imageController().enableMarkers());
    DEFAULTS().removeObjectForKey("enableMarkers");
}
