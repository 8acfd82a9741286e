#pragma once
// CameraController: the camera window. It keeps the cameras of the bus in the camera popup,
// connects the one chosen (disconnecting the one before), applies the settings stored for a
// camera each time it reports itself connected, follows its sensor size, frame and binning,
// shows and changes mode, frame type, offset, gain, gamma, duration and cooler, and shows the
// window's state, the frame rate of previews and the progress of an exposure.
//
// Per-device settings live in the user defaults under device name + "." + setting
// (".mode", ".frameType", ".offset", ".gain", ".gamma", ".temperature", ".duration").
//
// Threads
// - Bus events arrive on "indigoSyncQueue"; there the controller reads `camera`, clears mode
//   and frame type, writes the geometry fields and sends the connection step's requests.
//   Everything shown hops to the main queue.
// - Actions, updateGUI() and the view run on the main queue.
// - previewInProgress/captureInProgress, the geometry fields, state() and camera() may be read
//   from any thread (the capture engine, the image window, the quit rules).
//
// Lifetime: the controller outlives the client's events (BaseController); tasks it queued on
// the main queue are dropped once it is gone.

#include "Common/base_controller.h"
#include "Common/indigo_client.h"
#include "Common/main_hop.h"
#include "camera/camera_view.h"
#include "camera/device_popup.h"
#include "image_window/image_window_view.h"
#include "platform/user_defaults.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class ImageController;

namespace zeta::camera {

class CameraController : public BaseController, public zeta::imaging::CameraSensor {
public:
    explicit CameraController(zeta::platform::UserDefaults& defaults = zeta::platform::UserDefaults::standard());
    ~CameraController() override;

    // Wiring, on the main thread before awakeFromNib().
    // The view's cooler controls are looked up here, once (the bus queue asks about them).
    void setView(CameraView* view);
    void setImageController(ImageController* imageController) { imageController_ = imageController; }
    // Runs on the main queue after every change of the camera popup or its enabled state (the
    // application device republishes CAMERA_LIST from camerasPopUp()).
    void setDeviceListChanged(std::function<void()> changed) { deviceListChanged_ = std::move(changed); }
    DevicePopup& camerasPopUp() { return cameras_; }
    // The capture runs disable the popup while they go on.
    void setCamerasPopUpEnabled(bool enabled);
    const CameraList& cameraList() const { return cameras_; }

    // Start-up: cooler unit and set-points, time-lapse and name template, then cameraAction().
    virtual void awakeFromNib();

    void defineProperty(const std::shared_ptr<INDIGO::Property>& property) override;
    void updateProperty(const std::shared_ptr<INDIGO::Property>& property) override;
    void deleteProperty(const std::shared_ptr<INDIGO::Property>& property) override;
    bool canQuit() override;
    // Waits for a background request in flight and drops the ones not yet run. A subclass
    // that overrides the send hooks calls it first in its destructor, so that no request
    // reaches it half destroyed; the base destructor calls it too. Call it also before
    // taking the client away (tests do; the application keeps its client for good).
    void retireBackgroundRequests();
    // The preferences sheet was confirmed: follows a change of "useFahrenheit".
    void savePreferences() override;

    // --- Actions (main queue) ----------------------------------------------------------------
    // Switches to the camera selected in the popup (also when it is the current one).
    virtual void cameraAction();
    // The user picked entry index of the popup.
    void selectCamera(int index);
    // The popup entry chosen in the mode or frame-type popup carries the item name.
    void modeAction(const std::optional<std::string>& itemName);
    void frameTypeAction(const std::optional<std::string>& itemName);
    // The duration box was edited or picked: stored for the camera (a value that is no number
    // is not stored).
    virtual void durationAction();
    // A group's slider or stepper moved; released is false while a slider drag goes on.
    void groupAction(Group group, GroupSender sender, bool released);
    void coolerAction();
    // The binning popup chose bin × bin.
    void binningAction(int bin);
    // A frame box was edited: the four boxes go to the camera, or the window says what is wrong.
    void frameAction();
    virtual void batchAction();
    virtual void captureAction() {}
    virtual void stopAction() {}

    // --- Refreshes (main queue) ----------------------------------------------------------------
    virtual void updateGUI();
    void updateDeviceList();
    void updateCoolerState();
    void updateStateImage();

    // --- Fields --------------------------------------------------------------------------------
    std::shared_ptr<INDIGO::Device> camera() const;
    std::optional<std::string> mode() const;
    std::optional<std::string> frameType() const;
    indigo_property_state state() const { return static_cast<indigo_property_state>(state_.load()); }
    // Stores the state and queues the state image.
    void setState(indigo_property_state state);

    bool previewInProgress() const { return previewInProgress_.load(); }
    void setPreviewInProgress(bool value) { previewInProgress_.store(value); }
    bool captureInProgress() const { return captureInProgress_.load(); }
    void setCaptureInProgress(bool value) { captureInProgress_.store(value); }

    std::int64_t ccdWidth() const override { return ccdWidth_.load(); }
    std::int64_t ccdHeight() const override { return ccdHeight_.load(); }
    std::int64_t frameLeft() const { return frameLeft_.load(); }
    std::int64_t frameTop() const { return frameTop_.load(); }
    std::int64_t frameWidth() const { return frameWidth_.load(); }
    std::int64_t frameHeight() const { return frameHeight_.load(); }
    std::int64_t horizontalBin() const { return horizontalBin_.load(); }
    std::int64_t verticalBin() const { return verticalBin_.load(); }
    bool frameEnabled() const { return frameEnabled_.load(); }
    bool binningEnabled() const { return binningEnabled_.load(); }
    double pixelSize() const { return pixelSize_.load(); }
    SensorInfo sensor() const;

    bool modeEnabled() const { return modeEnabled_; }
    bool frameTypeEnabled() const { return frameTypeEnabled_; }
    bool offsetEnabled() const { return offsetEnabled_; }
    bool gainEnabled() const { return gainEnabled_; }
    bool gammaEnabled() const { return gammaEnabled_; }
    bool coolerEnabled() const { return coolerEnabled_; }
    bool durationEnabled() const { return durationEnabled_; }
    bool useFarenheit() const { return useFarenheit_; }
    // The frame count of a capture batch as the count box shows it (0 without a view).
    int frameCount() const;
    const std::optional<std::string>& temperature() const { return temperature_; }
    // Frame rates of the running preview, newest last (emptied when the duration changes).
    const std::deque<double>& fps() const { return fps_; }

    // The key of a per-device setting: device name + "." + setting.
    static std::string deviceKey(const std::string& device, const char* setting);

    // Rates kept for the frame-rate field.
    static constexpr std::size_t kFpsHistory = 10;

protected:
    // Every request to a camera goes through these (in the order made; the client sends them
    // in that order).
    virtual void sendSwitch(const std::shared_ptr<INDIGO::Property>& property, const std::string& item);
    virtual void sendNumbers(const std::shared_ptr<INDIGO::Property>& property, const INDIGO::NumberValues& values);
    virtual void sendEnableBLOB(const std::shared_ptr<INDIGO::Property>& property, bool enable);

    // Resets the setting flags, run flags, state and the image window's selection.
    virtual void resetControls();
    // The frame-rate figure of a run that has ended goes (main queue).
    void clearFrameRate();
    // A log line of the window (the message log).
    void message(std::string_view text);
    // The part of the reset the DSLR window shares: all of it but the selection (a star
    // selected for focusing outlives the camera's reset) and the closing updateGUI.
    void resetCameraState();
    zeta::platform::UserDefaults& defaults() { return defaults_; }
    CameraView* view() const { return view_; }
    ImageController* imageController() const { return imageController_; }
    // Runs on the bus queue once per connection of the camera, after the saved configuration
    // was loaded and the stored settings sent; a window with settings of its own restores
    // them here rather than loading the configuration again.
    virtual void connectionRestored(const std::shared_ptr<INDIGO::Device>&) {}
    // Whether the window shows a cooler set-point for this camera (bus queue): only then does
    // the connection apply a stored set-point.
    virtual bool coolerShownFor(const std::shared_ptr<INDIGO::Device>&) const { return coolerPresent_.load(); }

    // What a switch popup shows, read on the bus queue while the event is delivered (the
    // device may write the record again while the main queue runs).
    struct SwitchReading {
        std::vector<SwitchEntry> entries;
        int selected = -1;
        std::optional<std::string> on;
        bool readOnly = false;
    };
    static SwitchReading readSwitches(const std::shared_ptr<INDIGO::Property>& property);

private:
    template <class Task>
    void onMain(Task&& task);

    void addCamera(const std::shared_ptr<INDIGO::Device>& device);
    void removeCamera(const std::shared_ptr<INDIGO::Device>& device);
    void dropCamera(const std::shared_ptr<INDIGO::Device>& device);
    void restoreDuration(const std::shared_ptr<INDIGO::Device>& device);
    void connectionStep(const std::shared_ptr<INDIGO::Device>& device);
    void redispatch(const std::shared_ptr<INDIGO::Device>& device, const char* name);
    void restoreSwitch(const std::shared_ptr<INDIGO::Device>& device, const char* property, const char* setting);
    void restoreNumber(const std::shared_ptr<INDIGO::Device>& device, const char* property, const char* item,
                       const char* setting);
    void restoreCooler(const std::shared_ptr<INDIGO::Device>& device);

    struct NumberReading {
        double min = 0, max = 0, step = 0, value = 0;
        bool readOnly = false;
    };
    struct CoolerReading {
        std::optional<double> power;
        std::optional<double> celsius;
        std::string image{"NSStatusNone"};
    };
    static CoolerReading readCooler(const std::shared_ptr<INDIGO::Device>& device);
    void updateSwitchPopup(const SwitchReading& reading, bool modes);
    void updateGroup(Group group, const NumberReading& reading);
    void updateCooler(const std::shared_ptr<INDIGO::Property>& property);
    void updateExposure(bool busy, double remaining);
    void frameArrived(std::chrono::steady_clock::time_point when);
    void showCoolerUnit();
    void showSensor();
    // Back to no sensor, frame and binning: the chosen camera tells its own.
    void forgetGeometry();
    void setCamera(std::shared_ptr<INDIGO::Device> device);
    bool sameCamera(const std::shared_ptr<INDIGO::Device>& device) const;

    zeta::platform::UserDefaults& defaults_;
    CameraView* view_ = nullptr;
    ImageController* imageController_ = nullptr;
    std::function<void()> deviceListChanged_;
    CameraList cameras_;
    zeta::common::MainHop main_;
    // Held by a background request while it runs; `live` false once the controller retires.
    struct BackgroundGate {
        std::mutex mutex;
        bool live = true;
        std::uint64_t transfersOn = 0; // BLOB transfers turned on, counted under the mutex
    };
    std::shared_ptr<BackgroundGate> background_ = std::make_shared<BackgroundGate>();
    std::uint64_t transfersOnSoFar() const {
        std::lock_guard lock(background_->mutex);
        return background_->transfersOn;
    }

    mutable std::mutex mutex_; // camera_, connected_, mode_, frameType_, lastFrame_
    std::shared_ptr<INDIGO::Device> camera_;
    bool settingsApplied_ = false;      // the connection step ran for the camera's current connection
    bool seenConnected_ = false;        // the camera reported itself connected since it was chosen
    std::vector<std::string> restored_; // the properties whose setting this connection restored
    std::optional<std::string> mode_;
    std::optional<std::string> frameType_;
    std::optional<std::chrono::steady_clock::time_point> lastFrame_;

    std::atomic<int> state_{0};
    std::atomic<bool> previewInProgress_{false};
    std::atomic<bool> captureInProgress_{false};
    std::atomic<std::int64_t> frameLeft_{0}, frameTop_{0}, frameWidth_{0}, frameHeight_{0};
    std::atomic<std::int64_t> ccdWidth_{0}, ccdHeight_{0};
    std::atomic<std::int64_t> horizontalBin_{1}, verticalBin_{1}, maxBin_{0};
    std::atomic<bool> frameEnabled_{false};
    std::atomic<bool> binningEnabled_{false};
    std::atomic<bool> coolerPresent_{false};
    std::atomic<double> pixelSize_{0};

    bool modeEnabled_ = false;
    bool frameTypeEnabled_ = false;
    bool offsetEnabled_ = false;
    bool gainEnabled_ = false;
    bool gammaEnabled_ = false;
    bool coolerEnabled_ = false;
    bool durationEnabled_ = false;
    bool useFarenheit_ = false;
    std::optional<std::string> temperature_;
    CoolerReading coolerReading_;
    std::deque<double> fps_;
    double exposureDuration_ = 0; // the longest remaining time of the running exposure
};

} // namespace zeta::camera
