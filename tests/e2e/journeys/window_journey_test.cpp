// A user's main window and settings: the window's size and docks kept from one start to the
// next, and server ports that are refused where they are typed.

#include "app/main_window.h"
#include "journey_app.h"
#include "journey_main_launch.h"
#include "journey_user.h"
#include "platform/constants.h"

#include <QAbstractButton>
#include <QDockWidget>
#include <QListWidget>
#include <QWidget>
#include <gtest/gtest.h>

using journey::JourneyApp;
using journey::JourneyUser;
using journey::MainLaunch;

TEST(JourneyMainWindow, ResizedAndRearrangedItIsTheSameAtTheNextStart) {
    QRect geometry;
    {
        MainLaunch app;
        zeta::app::MainWindow& window = app.window();
        // Dragged smaller, as a window manager does for the user, and the wheel's dock floated
        // with its title bar's button.
        window.setGeometry(20, 30, 760, 540);
        auto* wheel = window.findChild<QDockWidget*>("Filter Wheel dock");
        ASSERT_NE(wheel, nullptr);
        wheel->raise();
        JourneyUser::idle(std::chrono::milliseconds(100));
        JourneyUser::click(wheel->findChild<QAbstractButton*>("qt_dockwidget_floatbutton"));
        ASSERT_TRUE(wheel->isFloating());
        geometry = window.geometry();
        JourneyUser::menu({APP_NAME(), "Quit " + APP_NAME()});
    }
    MainLaunch again;
    EXPECT_EQ(again.window().geometry(), geometry);
    EXPECT_TRUE(again.window().findChild<QDockWidget*>("Filter Wheel dock")->isFloating());
    EXPECT_FALSE(again.window().findChild<QDockWidget*>("Camera dock")->isFloating());
}

TEST(JourneyServices, APortThatIsNotOneIsRefusedWithAMessageAndNothingIsAdded) {
    JourneyApp app("");
    JourneyUser::menu({APP_NAME(), "Preferences"});
    const JourneyUser services = JourneyUser().within("Services");
    auto* list = app.window().findChild<QListWidget*>("servicesTableView");
    ASSERT_NE(list, nullptr);
    for (const char* port : {"99999", "abc"}) {
        services.type("Host", "localhost");
        services.type("Port", port);
        services.click("Add");
        EXPECT_EQ(JourneyUser::textOf(app.window().findChild<QWidget*>("serviceEntryError")),
                  "The port must be a whole number from 1 to 65535.")
            << port;
        EXPECT_EQ(list->count(), 0) << port;
    }
    JourneyUser().within("Preferences").click("OK");
    JourneyUser::menu({APP_NAME(), "Preferences"});
    EXPECT_EQ(list->count(), 0);
}
