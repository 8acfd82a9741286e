#pragma once
// One launch of the application on the real widgets, offscreen: the delegate and the main
// window made as main() makes them, will- and did-finish-launching run, and the shut-down
// when the launch ends.

#include "app/main_window.h"
#include "app/zt_app_delegate.h"
#include "support/qt_application.h"

#include <QDesktopServices>
#include <QUrl>
#include <memory>
#include <vector>

namespace app_test {

using test_support::application;
using test_support::waitFor;

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
