#pragma once
// Finds PTP cameras through the camera framework's device browser, makes one camera object per
// device (its class chosen by the device's USB vendor id), keeps the objects while their
// devices are present and announces each new one to the delegate, which then becomes the
// camera's delegate too.
//
// Threads: the device browser calls back on its callback queue, the driver's run loop, and
// only there is the camera list touched (cameras() included). start() and stop() may be
// called from any thread.

#include "ccd_ica/ptp_camera.h"
#include "platform/camera/ic_device_browser.h"

#include <memory>
#include <vector>

// How a camera class is made from a device.
using PTPCameraFactory = std::shared_ptr<PTPCamera> (*)(PTPCamera::Device, std::shared_ptr<PTPDelegateProtocol>,
                                                        dispatch::Queue&);

struct PTPCameraClass {
    uint16_t usbVendorID;
    PTPCameraFactory make;
};

// The camera class for a USB vendor id: the vendor's own, or the generic PTPCamera.
PTPCameraFactory ptpCameraFactory(uint16_t usbVendorID);

class PTPBrowser {
public:
    // The browser of devices on local connections with the run loop as its callback queue; it
    // does not browse until start().
    explicit PTPBrowser(std::shared_ptr<PTPDelegateProtocol> delegate, dispatch::Queue& runLoop,
                        std::vector<std::shared_ptr<zeta::platform::ICDeviceSource>> sources =
                            zeta::platform::ICDeviceBrowser::defaultSources());
    ~PTPBrowser();
    PTPBrowser(const PTPBrowser&) = delete;
    PTPBrowser& operator=(const PTPBrowser&) = delete;

    void start();
    void stop();

    const std::shared_ptr<PTPDelegateProtocol>& delegate() const { return delegate_; }
    // The cameras present, in the order found. Run loop only.
    const std::vector<std::shared_ptr<PTPCamera>>& cameras() const { return cameras_; }

private:
    class Adapter;
    void deviceAdded(const std::shared_ptr<zeta::platform::ICCameraDevice>& device);
    void deviceRemoved(const std::shared_ptr<zeta::platform::ICCameraDevice>& device);

    const std::shared_ptr<PTPDelegateProtocol> delegate_;
    dispatch::Queue& runLoop_;
    std::vector<std::shared_ptr<PTPCamera>> cameras_;
    std::shared_ptr<Adapter> adapter_;
    // Declared last: destroyed first, so no callback reaches a browser being torn down.
    std::unique_ptr<zeta::platform::ICDeviceBrowser> icBrowser_;
};
