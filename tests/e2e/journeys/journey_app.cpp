#include "journey_app.h"

#include "app/app_launch.h"
#include "app/preferences_dialog.h"
#include "platform/constants.h"
#include "platform/dispatch.h"
#include "platform/user_defaults.h"
#include "support/qt_application.h"

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <exception>

namespace journey {

JourneyApp::JourneyApp(const std::string& simulatedCameras, WindowSize size) {
    // Off screen also when run by hand from a desktop session: a journey never takes the screen.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    test_support::application();
    QApplication::setApplicationName(QString::fromStdString(APP_NAME()));
    ::setenv("ZETA_SIMULATED_CAMERAS", simulatedCameras.c_str(), 1);
    // The first-launch sheet would open the help pages in a browser.
    zeta::platform::UserDefaults::standard().setBool(true, "initialized_" + APP_VERSION());
    launch_ = std::make_unique<zeta::app::AppLaunch>();
    if (size == WindowSize::Roomy) launch_->window().resize(1600, 1000);
    launch_->finishLaunching();
    launch_->window().activateWindow();
    if (!QTest::qWaitForWindowExposed(&launch_->window())) throw JourneyError("the main window did not show");
}

JourneyApp::~JourneyApp() {
    quit();
}

zeta::app::MainWindow& JourneyApp::window() {
    if (!launch_) throw JourneyError("the application has quit");
    return launch_->window();
}

bool JourneyApp::quitsAfter(const std::function<void()>& step, std::chrono::milliseconds within) {
    window();
    bool timedOut = false;
    std::exception_ptr failed;
    // An exception must not pass through the event loop: it ends the loop and is thrown after.
    QTimer::singleShot(0, qApp, [&] {
        try {
            step();
        } catch (...) {
            failed = std::current_exception();
            QCoreApplication::exit(1);
        }
    });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, qApp, [&] {
        timedOut = true;
        QCoreApplication::exit(1);
    });
    watchdog.start(within);
    const int code = QApplication::exec();
    if (failed) std::rethrow_exception(failed);
    return !timedOut && code == 0;
}

void JourneyApp::quit() {
    if (!launch_) return;
    if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    launch_->window().preferencesDialog()->hide();
    launch_->terminate();
    // What the windows queued for themselves runs while they are there: a later launch in this
    // process must not meet it.
    QCoreApplication::processEvents();
    dispatch::drainMainQueue();
    launch_.reset();
}

} // namespace journey
