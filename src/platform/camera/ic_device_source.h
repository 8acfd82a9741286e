#pragma once
// Where camera devices come from: USB hot-plug (usb_device_source) or simulated cameras
// plugged in by a test or by ZETA_SIMULATED_CAMERAS (simulated_device_source). A browser owns
// its sources; a source reports arrivals and departures from any thread.

#include "platform/camera/ptp_port.h"

#include <cstdint>
#include <memory>
#include <string>

namespace zeta::platform {

// One camera as its source knows it before it is opened.
class ICDeviceConnection {
public:
    virtual ~ICDeviceConnection() = default;
    virtual std::string name() const = 0;
    virtual uint16_t usbVendorID() const = 0;
    virtual uint16_t usbProductID() const = 0;
    // Opens the camera's interface; null when it cannot be opened (busy, no permission, gone).
    virtual std::unique_ptr<PTPPort> open(std::string& error) = 0;
};

class ICDeviceSource {
public:
    class Listener {
    public:
        virtual ~Listener() = default;
        virtual void deviceAppeared(const std::shared_ptr<ICDeviceConnection>& connection) = 0;
        virtual void deviceDisappeared(const std::shared_ptr<ICDeviceConnection>& connection) = 0;
    };

    virtual ~ICDeviceSource() = default;
    // Reports every device present now, then arrivals and departures until stop(). The listener
    // must stay valid until stop() returns.
    virtual void start(Listener& listener) = 0;
    virtual void stop() = 0;
};

} // namespace zeta::platform
