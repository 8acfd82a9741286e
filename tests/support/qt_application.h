#pragma once
// The one QApplication of a widget test program, made at first use and kept for the whole
// process, and a wait that runs its event loop (and so the main queue).

#include <QApplication>
#include <QThread>
#include <chrono>
#include <functional>

namespace test_support {

inline QApplication& application() {
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

// Runs the event loop until the predicate holds; false after the time.
inline bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
    application();
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

} // namespace test_support
