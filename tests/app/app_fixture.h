#pragma once
// One launch of the application on the real widgets, offscreen: the delegate and the main
// window made as main() makes them, will- and did-finish-launching run, and the shut-down
// when the launch ends.

#include "app/main_window.h"
#include "app/zt_app_delegate.h"

#include <QApplication>
#include <QDesktopServices>
#include <QUrl>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

namespace app_test {

// The process's one application object.
QApplication& application();

// Runs the event loop (and so the main queue) until the predicate holds; false after the time.
bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(30));

// Records the addresses the desktop is asked to open, for as long as it lives.
class UrlRecorder final : public QObject {
    Q_OBJECT
public:
    UrlRecorder();
    ~UrlRecorder() override;
    std::vector<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls.push_back(url); }
};

struct Launch {
    explicit Launch(std::shared_ptr<zeta::app::IndigoAdmin> admin = nullptr, bool finish = true);
    ~Launch();
    zeta::app::ZTAppDelegate delegate;
    zeta::app::MainWindow window;
    bool terminated = false;
    void terminate();
};

} // namespace app_test
