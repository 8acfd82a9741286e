// The application's windows as main() builds them, offscreen, with a camera of ours on the
// bus: the main menu's Live View item, and the windows' popups as the application device
// publishes them.

#include "Common/device.h"
#include "app/app_launch.h"
#include "app_fixture.h"
#include "camera/dslr_window.h"
#include "camera/zt_camera_controller.h"
#include "fake_admin.h"
#include "platform/constants.h"
#include "support/test_camera.h"

#include <QMenu>
#include <QPushButton>
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
