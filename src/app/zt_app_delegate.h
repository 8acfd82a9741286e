#pragma once
// ZTAppDelegate: the application delegate actually made. It makes the one INDIGO client and
// the administration window controllers (message log, drivers table, services panel), starts
// the bus with the in-process camera driver, owns the preferences sheet and decides whether
// the application may quit.
//
// Later windows plug in here: their controllers are made by whoever builds the window, then
// handed over with addWindowController() before applicationDidFinishLaunching(), which
// connects them to the shared client (so they hear every bus event from the start), asks
// them canQuit() and tells them savePreferences() after the sheet's OK.

#include "app/application_delegate.h"
#include "app/application_device.h"
#include "app/drivers_controller.h"
#include "app/indigo_admin.h"
#include "app/messages_controller.h"
#include "app/properties_controller.h"
#include "app/services_controller.h"

#include <atomic>
#include <memory>
#include <vector>

namespace zeta::app {

// Stands in for the camera window's two busy flags until that window exists.
struct CameraWindowFlags {
    std::atomic<bool> previewInProgress{false};
    std::atomic<bool> captureInProgress{false};
};

class ZTAppDelegate : public ApplicationDelegate {
public:
    // admin: the client's administration calls; made from the client when not given (tests
    // pass a fake).
    explicit ZTAppDelegate(std::shared_ptr<IndigoAdmin> admin = nullptr);
    ~ZTAppDelegate() override;

    MessagesController& messagesController() { return *messagesController_; }
    DriversController& driversController() { return *driversController_; }
    ServicesController& servicesController() { return *servicesController_; }
    IndigoAdmin& admin() { return *admin_; }
    CameraWindowFlags& cameraWindow() { return cameraWindow_; }
    // The application's own device; windows with a device popup connect to it before launch.
    DeviceController& deviceController() { return *deviceController_; }
    PropertiesController& propertiesController() { return *propertiesController_; }

    // A window controller of another window; it must outlive this delegate's client. Connected
    // to the client at once.
    void addWindowController(BaseController* controller);

    void preferences() override;
    void preferencesOK() override;
    bool canQuit() override;
    void applicationDidFinishLaunching() override;

private:
    std::vector<BaseController*> windowControllers_;
    CameraWindowFlags cameraWindow_;
    std::shared_ptr<IndigoAdmin> admin_;
    std::unique_ptr<MessagesController> messagesController_;
    std::unique_ptr<DriversController> driversController_;
    std::unique_ptr<ServicesController> servicesController_;
    std::unique_ptr<DeviceController> deviceController_;
    std::unique_ptr<PropertiesController> propertiesController_;
};

} // namespace zeta::app
