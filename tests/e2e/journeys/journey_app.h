#pragma once
// The journey harness: the whole application driven only as a user can.
//
// How to write a journey (a test program in this folder):
// - Add it to CMakeLists.txt here with zeta_add_journey(NAME ... SOURCES ... [PEER]); PEER
//   when it starts indiserver or another outside program.
// - Name its suites "Journey..." (TEST(JourneyCapture, ...)).
// - Start the application with JourneyApp (as main() does, offscreen, with simulated cameras
//   and, through the test environment, a HOME and XDG folders of its own), and drive it with
//   JourneyUser: find controls by the text a user reads (a label beside a box, a button's
//   title, an accessible name, a menu path), click, type, pick, wait for what the window
//   shows. An INDI peer (JourneyPeer) is started on a free port and added through the
//   services panel, as a user adds it; indi_getprop reads what the peer holds.
// - Never call a controller or set a property that no control sets. Read results where a user
//   or a peer would: the widgets' text, the files written, indi_getprop.
// - A step that cannot be done (no such control, disabled, a wait that runs out) throws
//   JourneyError, which fails the test with the step's description.
// - Each test runs in its own process under ctest, so the launch starts from empty defaults;
//   a test that launches twice in one process sees what the first launch stored.

#include <chrono>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

namespace zeta::app {
class AppLaunch;
class MainWindow;
} // namespace zeta::app

namespace journey {

struct JourneyError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class JourneyApp {
public:
    // Launches with the given simulated cameras (ZETA_SIMULATED_CAMERAS, comma-separated;
    // "" for none). The first-launch sheet is taken as seen, as it is after any first run.
    // The window's size: room for the docks beside the image view, or what the application
    // chooses itself (its default, or the layout the last run saved) for journeys about it.
    enum class WindowSize { Roomy, AsTheApplicationChooses };

    explicit JourneyApp(const std::string& simulatedCameras = "generic", WindowSize size = WindowSize::Roomy);
    // Quits: the bus ends before the views go.
    ~JourneyApp();
    JourneyApp(const JourneyApp&) = delete;
    JourneyApp& operator=(const JourneyApp&) = delete;

    zeta::app::MainWindow& window();
    // Runs the application's event loop as main() does, with the user's step as its first
    // event: true when the application ended the loop itself (it quit) within the time.
    bool quitsAfter(const std::function<void()>& step, std::chrono::milliseconds within = std::chrono::seconds(30));
    // Ends the application as main() does after its event loop (once).
    void quit();

private:
    std::unique_ptr<zeta::app::AppLaunch> launch_;
};

} // namespace journey
