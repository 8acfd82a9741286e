#pragma once
// DeviceController: the application's own INDIGO device, named after the application. It
// publishes INFO and, for each window with a device popup, a one-of-many list of that popup's
// entries (CAMERA_LIST, WHEEL_LIST, FOCUSER_LIST) so that any client, the property browser or
// a remote one through the server, sees which device each window uses and can pick another.
//
// Threads
// - initialize() and the windows' actions run on the main queue. The bus calls the device on
//   its own threads (a remote client's request arrives on the server's thread).
// - List rebuilds run on the serial queue "indigoSyncQueue2", queued without waiting, so the
//   main queue never blocks on a bus call; popups are read there (DevicePopup is safe to read
//   from any thread). The list records are guarded by one lock shared with the change handler.
// - A selection from a client is answered on the bus thread (Busy, or Alert when the window is
//   busy); the popup is switched and the window's action called later on the main queue.
//
// Lifetime: the device stays attached until the controller goes; the destructor waits for
// queued rebuilds, detaches the device (which waits for calls running on other threads) and
// drops the main-queue work still pending.

#include "Common/base_controller.h"
#include "Common/device_list.h"
#include "indigo/indigo_bus.h"
#include "platform/dispatch.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace zeta::app {

// What the device reads of a window's device popup and how it picks an entry.
using DevicePopup = zeta::common::DevicePopup;

class DeviceController : public BaseController {
public:
    enum Panel { Camera = 0, Wheel = 1, Focuser = 2 };

    DeviceController();
    ~DeviceController() override;

    // A window's popup (held weakly: the window may go) and its selection action, run on the
    // main queue after a client's selection. Connect before initialize(); a window not
    // connected gets no list.
    void connectPanel(Panel panel, std::weak_ptr<DevicePopup> popup, std::function<void()> action);

    // Attaches the device to the bus (once).
    void initialize() override;

    // Rebuild the named list from its popup (any thread; the work is queued).
    void updateCameraList() { updateList(Camera); }
    void updateWheelList() { updateList(Wheel); }
    void updateFocuserList() { updateList(Focuser); }
    void updateList(Panel panel);

    // Waits until the rebuilds queued so far have run (tests, shut-down).
    void waitForRebuilds();

    indigo_device* device() { return &device_; }

    // The bus callbacks' bodies.
    indigo_result attach();
    indigo_result enumerateProperties(indigo_client* client, indigo_property* request);
    indigo_result changeProperty(indigo_client* client, indigo_property* request);

private:
    struct List {
        std::weak_ptr<DevicePopup> popup;
        std::function<void()> action;
        bool connected = false;
        indigo_property* property = nullptr;
    };

    void rebuild(Panel panel);

    std::recursive_mutex mutex_;
    List lists_[3];
    indigo_property* infoProperty_ = nullptr;
    indigo_device device_{};
    bool attached_ = false;
    // Main-queue work holds this weakly, so that it does nothing once the controller is gone.
    std::shared_ptr<DeviceController*> alive_;
    dispatch::SerialQueue indigoSyncQueue_{"indigoSyncQueue2"};
};

// The list property name of a panel ("CAMERA_LIST", ...).
const char* listPropertyName(DeviceController::Panel panel);

} // namespace zeta::app
