#pragma once
// A launch exactly as main() makes it: the window at the size and layout the application
// chooses itself (its default, or what the last run saved), for journeys about the window's
// own size and layout. Otherwise as JourneyApp (journey_app.h).

#include <memory>
#include <string>

namespace zeta::app {
class AppLaunch;
class MainWindow;
} // namespace zeta::app

namespace journey {

class MainLaunch {
public:
    explicit MainLaunch(const std::string& simulatedCameras = "");
    ~MainLaunch();
    MainLaunch(const MainLaunch&) = delete;
    MainLaunch& operator=(const MainLaunch&) = delete;

    zeta::app::MainWindow& window();

private:
    std::unique_ptr<zeta::app::AppLaunch> launch_;
};

} // namespace journey
