#include "app/app_launch.h"

namespace zeta::app {

AppLaunch::AppLaunch(std::shared_ptr<IndigoAdmin> admin) : delegate_(std::move(admin)) {
    windows_.registerControllers(delegate_);
    windows_.connectDeviceLists(delegate_);
    delegate_.applicationWillFinishLaunching();
    window_ = std::make_unique<MainWindow>(delegate_);
    windows_.buildWidgets(*window_);
    window_->restoreLayout();
}

AppLaunch::~AppLaunch() {
    terminate();
}

void AppLaunch::finishLaunching() {
    window_->show();
    delegate_.applicationDidFinishLaunching();
    launched_ = true;
}

void AppLaunch::terminate() {
    if (launched_) delegate_.applicationWillTerminate();
    launched_ = false;
    windows_.detachViews();
}

} // namespace zeta::app
