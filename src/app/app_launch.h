#pragma once
// The application as it starts: the windows' controllers first (they outlive the client that
// calls them), then the delegate, then the main window with every window in its place. The
// caller shows the window and finishes launching; terminate() (or the destructor) ends the
// bus before the views go.

#include "app/main_window.h"
#include "app/window_set.h"
#include "app/zt_app_delegate.h"

#include <memory>

namespace zeta::app {

class AppLaunch {
public:
    // Up to the main window built and the delegate told it will finish launching.
    explicit AppLaunch(std::shared_ptr<IndigoAdmin> admin = nullptr);
    ~AppLaunch();
    AppLaunch(const AppLaunch&) = delete;
    AppLaunch& operator=(const AppLaunch&) = delete;

    // Shows the main window and starts the bus.
    void finishLaunching();
    // Ends the bus and lets go of the views (once).
    void terminate();

    WindowSet& windows() { return windows_; }
    ZTAppDelegate& delegate() { return delegate_; }
    MainWindow& window() { return *window_; }

private:
    WindowSet windows_;
    ZTAppDelegate delegate_;
    std::unique_ptr<MainWindow> window_;
    bool launched_ = false;
};

} // namespace zeta::app
