#pragma once
// FocuserController: the focuser window. It lists the focusers of the bus, connects the one
// chosen, mirrors its speed, position, temperature and move state, and moves it: by steps with
// backlash on reversal, continuously while a button is held (steps 0 on a focuser that can
// abort), and, in the product window (ZTFocuserController), in runs of several steps.
//
// Threads
// - Bus events arrive on "indigoSyncQueue" and hop to the main queue for everything shown.
// - Actions, updateGUI() and the view run on the main queue.
// - focusIn(), focusOut(), state() and focuser() may be called from any thread: the capture
//   engine steps the focuser outward between frames from its own worker with focusOut(), waits
//   while state() is INDIGO_BUSY_STATE, and ends a run with stopAction() (main queue).
// - A multi-step run (ZTFocuserController::multiAction) runs on a thread the controller owns
//   and joins; stopAction(), another focuser and the destructor end it.
//
// Lifetime: the controller outlives the client's events (BaseController) and the tasks it
// queued on the main queue (drain the main queue before destroying it).

#include "Common/base_controller.h"
#include "Common/main_hop.h"
#include "focus/autofocus_routine.h"
#include "focus/device_popup.h"
#include "focus/focus_rules.h"
#include "focus/focuser_view.h"
#include "focus/neighbours.h"
#include "platform/user_defaults.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace zeta::focus {

class FocuserController : public BaseController {
public:
    // Which speed control moved.
    enum class SpeedControl { Slider, Stepper };

    explicit FocuserController(zeta::platform::UserDefaults& defaults = zeta::platform::UserDefaults::standard());
    ~FocuserController() override;

    // Wiring, on the main thread before the first action.
    void setView(FocuserView* view) { view_ = view; }
    void setNeighbours(Neighbours neighbours) { neighbours_ = std::move(neighbours); }
    // Called on the main queue after every change of the device popup or its enabled state
    // (the application device republishes FOCUSER_LIST from focusersPopUp()).
    void setDeviceListChanged(std::function<void()> changed) { deviceListChanged_ = std::move(changed); }
    DevicePopup& focusersPopUp() { return focusers_; }

    // Start-up: reads "useFahrenheit" and selects entry 0 (no focuser).
    virtual void awakeFromNib();

    void defineProperty(const std::shared_ptr<INDIGO::Property>& property) override;
    void updateProperty(const std::shared_ptr<INDIGO::Property>& property) override;
    void deleteProperty(const std::shared_ptr<INDIGO::Property>& property) override;
    // The preferences sheet was confirmed: the temperature unit may have changed.
    void savePreferences() override;

    // --- Actions (main queue) ----------------------------------------------------------------
    // Selects and connects the focuser of the popup's selected entry.
    void focuserAction();
    // The view's popup chose an entry.
    void selectFocuser(int index);
    // The slider or the stepper moved to value; released is true for the slider's last event
    // of a drag. The speed is sent from the stepper and on release, and stored every time.
    void speedAction(SpeedControl sender, double value, bool released);
    // A focus button was pressed or released (towards Inward or Outward).
    void focusAction(Direction button, bool pressed);
    // The step fields changed: stored for the device. Negative values count as 0; autofocus
    // steps are absent in a window without them.
    void settingsAction(int steps, int backlash, std::optional<int> initialStep = std::nullopt,
                        std::optional<int> finalStep = std::nullopt);
    // Aborts the motion where the focuser can, ends autofocus and any multi-step run.
    void stopAction();
    // Starts autofocus on the selected star during a preview (ignored outside one). The first
    // move follows the first group of five frames.
    void autofocusAction();
    // One step of autofocus for the frame just shown: call once per new frame, on the main
    // queue, after the image window has measured the selected star on it.
    void autofocus();
    // The clock autofocus measures a focuser's Busy time with (tests replace it).
    void setAutofocusClock(std::function<std::chrono::steady_clock::time_point()> clock) { clock_ = std::move(clock); }

    // --- For other windows ---------------------------------------------------------------------
    // One move of the steps field, with backlash on reversal; nothing without a focuser that
    // has FOCUSER_DIRECTION and FOCUSER_STEPS, or with steps below 1. Any thread.
    virtual void focusOut();
    virtual void focusIn();
    // The last FOCUSER_STEPS state of the selected focuser (Idle after a new selection). Any thread.
    indigo_property_state state() const { return state_.load(); }
    std::shared_ptr<INDIGO::Device> focuser() const;
    // Refreshes the enabled state of every control (main queue).
    virtual void updateGUI();
    // The state text: position, and temperature in the chosen unit.
    std::string focuserState() const;
    // Tells the application device that the popup changed (any thread; runs on the main queue).
    void updateDeviceList();

    Direction direction() const;
    bool autofocusInProgress() const { return autofocusInProgress_.load(); }
    int steps() const { return steps_.load(); }
    int backlash() const { return backlash_.load(); }
    int initialStep() const { return initialStep_.load(); }
    int finalStep() const { return finalStep_.load(); }
    // True while a multi-step run is going on.
    bool runInProgress() const { return running_.load(); }

protected:
    // Sends one move: the direction switch, then the steps (in that order on the one FIFO sender).
    void sendMove(const std::shared_ptr<INDIGO::Device>& device, const FocusMove& move);
    void move(Direction towards);
    void restoreDeviceSettings(const std::shared_ptr<INDIGO::Device>& device);
    void showSpeed(const std::shared_ptr<INDIGO::Property>& property);
    // Sends the stored speed once per connection.
    void restoreSpeed(const std::shared_ptr<INDIGO::Property>& speed);
    void showDevices();
    // Ends a multi-step run and waits for its thread.
    void stopRun();
    // Runs a multi-step run of count moves on the run thread.
    void startRun(int count, Direction towards);

    bool speedEnabled_ = false;
    bool useTemperature_ = true;
    bool useFahrenheit_ = false;
    std::optional<double> position_;
    std::optional<double> temperature_;
    FocuserView* view_ = nullptr;
    Neighbours neighbours_;
    std::atomic<bool> autofocusInProgress_{false};
    DeviceList focusers_{"No focuser"};

private:
    void runLoop(int count, Direction towards);
    void carryOut(const std::vector<AutofocusAction>& actions);

    zeta::platform::UserDefaults& defaults_;
    std::function<void()> deviceListChanged_;

    mutable std::mutex mutex_; // focuser_ and rules_
    std::shared_ptr<INDIGO::Device> focuser_;
    MoveRules rules_;
    std::atomic<indigo_property_state> state_{INDIGO_IDLE_STATE};
    std::atomic<int> steps_{1};
    std::atomic<int> backlash_{0};
    std::atomic<int> initialStep_{4};
    std::atomic<int> finalStep_{1};
    AutofocusRoutine routine_; // main queue only
    // An autofocus move was sent and no FOCUSER_STEPS update has come since: the frames until
    // then were taken before the focuser started and count as taken while it moves.
    std::atomic<bool> autofocusMoveSent_{false};
    std::function<std::chrono::steady_clock::time_point()> clock_ = [] {
        return std::chrono::steady_clock::now();
    };
    std::atomic<bool> speedRestored_{false};
    // Set from a selection until the device reports itself connected: the disconnection a
    // reselection of the same focuser causes must not drop it again.
    std::atomic<bool> awaitingConnection_{false};

    std::mutex runMutex_;
    std::condition_variable runWake_;
    bool runStop_ = false;
    std::atomic<bool> running_{false};
    std::thread run_;
    // Last: it goes first, and the main-queue work still queued then does nothing.
    zeta::common::MainHop main_;
};

// The product window: rewind and forward runs, and the general window's autofocus button and
// step fields; a running sequence locks it as a capture run does; the state text has no
// temperature.
class ZTFocuserController : public FocuserController {
public:
    using FocuserController::FocuserController;

    void awakeFromNib() override;
    void updateGUI() override;
    // A run of single moves, as many as the camera window's frame count: inward for rewind,
    // outward otherwise. Returns at once; each move waits for the focuser to settle, and an
    // Alert, stopAction() or another focuser ends the run. A new run replaces a running one.
    void multiAction(bool rewind);
};

} // namespace zeta::focus
