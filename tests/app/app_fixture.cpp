#include "app_fixture.h"

#include "app/preferences_dialog.h"

#include <QThread>

namespace app_test {

QApplication& application() {
    static int argc = 1;
    static char name[] = "zeta-test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        auto* made = new QApplication(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
        return made;
    }();
    return *app;
}

bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    application();
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

UrlRecorder::UrlRecorder() {
    QDesktopServices::setUrlHandler("file", this, "open");
    QDesktopServices::setUrlHandler("https", this, "open");
}

UrlRecorder::~UrlRecorder() {
    QDesktopServices::unsetUrlHandler("file");
    QDesktopServices::unsetUrlHandler("https");
}

Launch::Launch(std::shared_ptr<zeta::app::IndigoAdmin> admin, bool finish)
    : delegate((application(), std::move(admin))), window(delegate) {
    delegate.applicationWillFinishLaunching();
    window.show();
    if (finish)
        delegate.applicationDidFinishLaunching();
    else
        terminated = true;
}

void Launch::terminate() {
    if (terminated) return;
    terminated = true;
    delegate.applicationWillTerminate();
}

Launch::~Launch() {
    window.preferencesDialog()->hide();
    terminate();
}

} // namespace app_test
