// The main window as main() builds it, offscreen: the room the image gets at the default size,
// the layout kept from one start to the next, and the panels that hide with the application.

#include "app/app_launch.h"
#include "app/panel_hider.h"
#include "app_fixture.h"
#include "fake_admin.h"
#include "frames.h"
#include "image_window/clickable_view.h"
#include "image_window/image_controller.h"
#include "image_window/image_window.h"
#include "platform/constants.h"

#include <QDockWidget>
#include <QMenu>
#include <QTimer>
#include <gtest/gtest.h>

using namespace app_test;
using zeta::app::AppLaunch;
using zeta::app::MainWindow;

namespace {

std::unique_ptr<AppLaunch> launchApp() {
    application();
    DEFAULTS().setBool(true, "initialized_" + APP_VERSION()); // no first-launch sheet
    auto app = std::make_unique<AppLaunch>(std::make_shared<FakeAdmin>());
    app->finishLaunching();
    return app;
}

QDockWidget* dock(MainWindow& window, const QString& title) {
    return window.findChild<QDockWidget*>(title + " dock");
}

// Quits from the menu, as a user would, and lets the event loop end.
void quitFromTheMenu(MainWindow& window) {
    QTimer::singleShot(0, &window, [&window] { window.findChild<QAction*>("quitAction")->trigger(); });
    QApplication::exec();
}

} // namespace

TEST(MainWindowLayout, AtTheDefaultSizeAFrameFillsAtLeastHalfTheWidth) {
    DEFAULTS().removeAll();
    auto app = launchApp();
    MainWindow& window = app->window();
    EXPECT_EQ(window.size(), MainWindow::defaultSize());
    EXPECT_LE(window.frameGeometry().width(), 1366);
    EXPECT_LE(window.frameGeometry().height(), 768);
    waitFor([] { return false; }, std::chrono::milliseconds(100));

    app->windows().imageController().setImage(greyFrame(1280, 1024, 8, [](int x, int y) { return (x + y) % 256; }));
    auto* imageWindow = window.findChild<ImageWindow*>("imageWindow");
    ASSERT_NE(imageWindow, nullptr);
    const int drawn = imageWindow->clickableView()->width();
    EXPECT_GE(drawn * 2, window.width()) << "drawn " << drawn << " of " << window.width();
    // The docks share one column, the camera in front.
    for (const QString title : {"Camera", "Focuser", "Filter Wheel"})
        EXPECT_EQ(window.dockWidgetArea(dock(window, title)), Qt::LeftDockWidgetArea) << title.toStdString();
    EXPECT_EQ(window.tabifiedDockWidgets(dock(window, "Camera")).size(), 2);
    DEFAULTS().removeAll();
}

TEST(MainWindowLayout, GeometryAndDocksComeBackAtTheNextStartUnlessTheyNoLongerFit) {
    DEFAULTS().removeAll();
    QRect closed;
    {
        auto app = launchApp();
        MainWindow& window = app->window();
        window.setGeometry(30, 40, 700, 500);
        window.addDockWidget(Qt::RightDockWidgetArea, dock(window, "Focuser"));
        dock(window, "Filter Wheel")->setFloating(true);
        quitFromTheMenu(window);
    }
    {
        auto app = launchApp();
        MainWindow& window = app->window();
        EXPECT_EQ(window.geometry(), QRect(30, 40, 700, 500));
        EXPECT_EQ(window.dockWidgetArea(dock(window, "Focuser")), Qt::RightDockWidgetArea);
        EXPECT_TRUE(dock(window, "Filter Wheel")->isFloating());
        // Closing the window saves as quitting does.
        window.move(20, 20);
        closed = window.frameGeometry();
        QTimer::singleShot(0, &window, [&window] { window.close(); });
        QApplication::exec();
    }
    EXPECT_EQ(DEFAULTS().stringForKey("mainWindowFrame", ""),
              QString("20 20 %1 %2").arg(closed.width()).arg(closed.height()).toStdString());
    DEFAULTS().setObject(std::string("9000 9000 700 500"), "mainWindowFrame");
    DEFAULTS().synchronize();
    {
        auto app = launchApp();
        MainWindow& window = app->window();
        EXPECT_EQ(window.size(), MainWindow::defaultSize());
        EXPECT_EQ(window.dockWidgetArea(dock(window, "Focuser")), Qt::LeftDockWidgetArea);
        EXPECT_FALSE(dock(window, "Filter Wheel")->isFloating());
    }
    // A state Qt cannot read falls back too.
    DEFAULTS().setObject(std::string("20 20 700 500"), "mainWindowFrame");
    DEFAULTS().setObject(zeta::platform::DefaultsData{"not a state"}, "mainWindowState");
    {
        auto app = launchApp();
        EXPECT_EQ(app->window().dockWidgetArea(dock(app->window(), "Focuser")), Qt::LeftDockWidgetArea);
    }
    DEFAULTS().removeAll();
}

TEST(Panels, HideWhileTheApplicationIsInactiveWhenHidePanelsIsOn) {
    application();
    struct Case {
        std::optional<bool> hidePanels;
        bool hides;
    };
    for (const Case c : {Case{std::nullopt, true}, Case{true, true}, Case{false, false}}) {
        DEFAULTS().removeAll();
        if (c.hidePanels) DEFAULTS().setBool(*c.hidePanels, "hidePanels");
        QWidget panel(nullptr, Qt::Tool);
        auto* hider = new zeta::app::PanelHider(&panel);
        hider->orderFront();
        ASSERT_TRUE(panel.isVisible());
        hider->applicationStateChanged(Qt::ApplicationInactive);
        EXPECT_EQ(panel.isVisible(), !c.hides);
        hider->applicationStateChanged(Qt::ApplicationActive);
        EXPECT_TRUE(panel.isVisible());
        // A panel the user closed stays closed when the application comes back.
        panel.hide();
        hider->applicationStateChanged(Qt::ApplicationInactive);
        hider->applicationStateChanged(Qt::ApplicationActive);
        EXPECT_FALSE(panel.isVisible());
    }
    DEFAULTS().removeAll();
}

TEST(Panels, WindowMenuEntriesOpenThePanelsThroughTheirPanelAction) {
    DEFAULTS().removeAll();
    auto app = launchApp();
    MainWindow& window = app->window();
    QWidget* browser = window.findChild<QWidget*>("propertyBrowser");
    ASSERT_NE(browser, nullptr);
    for (QAction* action : window.windowMenu()->actions()) {
        if (action->text() == "Properties" || action->text() == "Sequencer") action->trigger();
    }
    ASSERT_TRUE(browser->isVisible());
    QWidget* sequencer = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top->windowTitle() == "Sequencer" && top->isVisible()) sequencer = top;
    ASSERT_NE(sequencer, nullptr);
    for (QWidget* panel : {browser, sequencer}) {
        auto* hider = panel->findChild<zeta::app::PanelHider*>(QString(), Qt::FindDirectChildrenOnly);
        ASSERT_NE(hider, nullptr) << panel->windowTitle().toStdString();
        hider->applicationStateChanged(Qt::ApplicationInactive);
        EXPECT_FALSE(panel->isVisible());
        hider->applicationStateChanged(Qt::ApplicationActive);
        EXPECT_TRUE(panel->isVisible());
        panel->hide();
    }
    DEFAULTS().removeAll();
}
