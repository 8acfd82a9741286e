// zeta-screenshots DIR: starts the application offscreen with simulated cameras, brings each
// window that exists into a realistic state and saves one PNG per window into DIR.

#include "app/main_window.h"
#include "app/message_log_window.h"
#include "app/preferences_dialog.h"
#include "app/window_set.h"
#include "app/zt_app_delegate.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPixmap>
#include <cstdio>

namespace {

void runEventsFor(int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool save(QWidget* widget, const QDir& folder, const QString& name) {
    const QString path = folder.filePath(name + ".png");
    const bool ok = widget->grab().save(path, "PNG");
    std::printf("%s %s\n", ok ? "wrote" : "could not write", path.toLocal8Bit().constData());
    return ok;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::printf("Usage: zeta-screenshots DIR\n");
        return 2;
    }
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(folder.path())) {
        std::printf("cannot make %s\n", argv[1]);
        return 1;
    }

    zeta::app::WindowSet windows;
    zeta::app::ZTAppDelegate delegate;
    windows.registerControllers(delegate);
    windows.connectDeviceLists(delegate);
    delegate.applicationWillFinishLaunching();
    zeta::app::MainWindow window(delegate);
    windows.buildWidgets(window);
    window.resize(1400, 900);
    window.show();
    delegate.applicationDidFinishLaunching();
    // The simulated cameras reach the bus and the first-launch sheet comes up.
    runEventsFor(2000);

    bool ok = save(&window, folder, "main_window");
    if (!window.preferencesDialog()->isVisible()) delegate.preferences();
    runEventsFor(300);
    ok = save(window.preferencesDialog(), folder, "preferences") && ok;
    delegate.preferencesCancel();

    window.messageLogWindow()->show();
    runEventsFor(300);
    ok = save(window.messageLogWindow(), folder, "message_log") && ok;

    delegate.applicationWillTerminate();
    windows.detachViews();
    return ok ? 0 : 1;
}
