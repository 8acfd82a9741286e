#include "journey_main_launch.h"

#include "app/app_launch.h"
#include "app/preferences_dialog.h"
#include "journey_app.h"
#include "platform/constants.h"
#include "platform/user_defaults.h"
#include "support/qt_application.h"

#include <QApplication>
#include <QTest>
#include <cstdlib>

namespace journey {

MainLaunch::MainLaunch(const std::string& simulatedCameras) {
    test_support::application();
    QApplication::setApplicationName(QString::fromStdString(APP_NAME()));
    ::setenv("ZETA_SIMULATED_CAMERAS", simulatedCameras.c_str(), 1);
    zeta::platform::UserDefaults::standard().setBool(true, "initialized_" + APP_VERSION());
    launch_ = std::make_unique<zeta::app::AppLaunch>();
    launch_->finishLaunching();
    launch_->window().activateWindow();
    if (!QTest::qWaitForWindowExposed(&launch_->window())) throw JourneyError("the main window did not show");
}

MainLaunch::~MainLaunch() {
    if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    launch_->window().preferencesDialog()->hide();
    launch_->terminate();
    launch_.reset();
    QCoreApplication::processEvents();
}

zeta::app::MainWindow& MainLaunch::window() {
    return launch_->window();
}

} // namespace journey
