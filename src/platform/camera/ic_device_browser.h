#pragma once
// The camera framework's device browser: finds PTP cameras (on USB, and simulated ones) and
// reports them as they come and go.
//
// Threads: start() and stop() may be called from any thread. didAddDevice and
// didRemoveDevice run on the browser's callback queue (by default dispatch::mainQueue(), the
// driver's run loop), which is also the queue of every callback of the devices it finds. A
// device's own didRemoveDevice is delivered before the browser's, so the object that drives
// the device still exists when it hears of the removal.
//
// ZETA_SIMULATED_CAMERAS (comma-separated "generic", "nikon", "canon", "sony") plugs
// simulated cameras into the default sources, to try the application without a camera.

#include "platform/camera/ic_camera_device.h"
#include "platform/camera/ic_device_source.h"
#include "platform/dispatch.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace zeta::platform {

class ICDeviceBrowser;

class ICDeviceBrowserDelegate {
public:
    virtual ~ICDeviceBrowserDelegate() = default;
    virtual void didAddDevice(ICDeviceBrowser& browser, const std::shared_ptr<ICCameraDevice>& device,
                              bool moreComing) = 0;
    virtual void didRemoveDevice(ICDeviceBrowser& browser, const std::shared_ptr<ICCameraDevice>& device,
                                 bool moreGoing) = 0;
};

// Device type mask bits: cameras, on local connections.
enum : uint32_t {
    ICDeviceTypeMaskCamera = 0x00000001,
    ICDeviceLocationTypeMaskLocal = 0x00000100,
};

class ICDeviceBrowser {
public:
    // USB cameras, and the simulated cameras ZETA_SIMULATED_CAMERAS names.
    static std::vector<std::shared_ptr<ICDeviceSource>> defaultSources();

    explicit ICDeviceBrowser(dispatch::Queue& callbackQueue = dispatch::mainQueue(),
                             std::vector<std::shared_ptr<ICDeviceSource>> sources = defaultSources());
    ~ICDeviceBrowser();
    ICDeviceBrowser(const ICDeviceBrowser&) = delete;
    ICDeviceBrowser& operator=(const ICDeviceBrowser&) = delete;

    void setDelegate(std::weak_ptr<ICDeviceBrowserDelegate> delegate);
    std::shared_ptr<ICDeviceBrowserDelegate> delegate() const;
    // Only cameras on local connections exist here; the mask is kept for whoever asks.
    void setBrowsedDeviceTypeMask(uint32_t mask);
    uint32_t browsedDeviceTypeMask() const;

    void start();
    void stop();
    bool isBrowsing() const;

    // The devices present now, in the order found.
    std::vector<std::shared_ptr<ICCameraDevice>> devices() const;
    dispatch::Queue& callbackQueue() const { return callbackQueue_; }

private:
    class Listener;

    dispatch::Queue& callbackQueue_;
    std::vector<std::shared_ptr<ICDeviceSource>> sources_;
    std::shared_ptr<Listener> listener_;
    mutable std::mutex mutex_;
    std::weak_ptr<ICDeviceBrowserDelegate> delegate_;
    std::vector<std::shared_ptr<ICCameraDevice>> devices_;
    uint32_t mask_ = ICDeviceTypeMaskCamera | ICDeviceLocationTypeMaskLocal;
    bool browsing_ = false;
};

} // namespace zeta::platform
