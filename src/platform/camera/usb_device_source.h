#pragma once
// PTP cameras on USB through libusb-1.0: every device with a Still Image class interface
// (class 6, subclass 1, protocol 1) that has a bulk-in, a bulk-out and an interrupt-in
// endpoint. The bus is scanned once a second on the source's own thread (joined by stop()),
// which also notices cameras that are unplugged.

#include "platform/camera/ic_device_source.h"

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace zeta::platform {

class UsbDeviceSource final : public ICDeviceSource {
public:
    UsbDeviceSource();
    ~UsbDeviceSource() override;

    void start(Listener& listener) override;
    void stop() override;

private:
    struct Context;
    void run(Listener& listener);
    void scan(Listener& listener);

    std::shared_ptr<Context> context_; // null when libusb cannot start
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    // Cameras present, by bus location.
    std::map<uint32_t, std::shared_ptr<ICDeviceConnection>> present_;
};

} // namespace zeta::platform
