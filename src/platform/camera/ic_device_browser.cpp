#include "platform/camera/ic_device_browser.h"

#include "platform/camera/simulated_device_source.h"
#include "platform/camera/usb_device_source.h"

#include <algorithm>
#include <cstdlib>

namespace zeta::platform {

// Receives the sources' reports on their threads and hands them to the callback queue. It
// outlives the browser in callbacks already queued; those find `browser` cleared.
class ICDeviceBrowser::Listener final : public ICDeviceSource::Listener, public std::enable_shared_from_this<Listener> {
public:
    Listener(ICDeviceBrowser& browser, dispatch::Queue& queue) : browser(&browser), queue(queue) {}

    void deviceAppeared(const std::shared_ptr<ICDeviceConnection>& connection) override {
        auto device = std::make_shared<ICCameraDevice>(connection, queue);
        {
            std::lock_guard lock(mutex);
            if (!browser) return;
            std::lock_guard devicesLock(browser->mutex_);
            // A source started again reports the devices it reported before: they are known.
            auto& devices = browser->devices_;
            if (std::any_of(devices.begin(), devices.end(),
                            [&](const auto& d) { return d->connection() == connection; }))
                return;
            devices.push_back(device);
        }
        queue.async([self = shared_from_this(), device] {
            std::lock_guard lock(self->mutex);
            if (!self->browser) return;
            if (const auto delegate = self->browser->delegate()) delegate->didAddDevice(*self->browser, device, false);
        });
    }

    void deviceDisappeared(const std::shared_ptr<ICDeviceConnection>& connection) override {
        std::shared_ptr<ICCameraDevice> device;
        {
            std::lock_guard lock(mutex);
            if (!browser) return;
            std::lock_guard devicesLock(browser->mutex_);
            auto& devices = browser->devices_;
            const auto found = std::find_if(devices.begin(), devices.end(),
                                            [&](const auto& d) { return d->connection() == connection; });
            if (found == devices.end()) return;
            device = *found;
            devices.erase(found);
        }
        // The device tells its own delegate first; then the browser tells its delegate.
        device->handleRemoval([self = shared_from_this(), device] {
            self->queue.async([self, device] {
                std::lock_guard lock(self->mutex);
                if (!self->browser) return;
                if (const auto delegate = self->browser->delegate())
                    delegate->didRemoveDevice(*self->browser, device, false);
            });
        });
    }

    // Held while the browser is used from a callback; recursive, so a delegate may destroy
    // the browser from its callback.
    std::recursive_mutex mutex;
    ICDeviceBrowser* browser;
    dispatch::Queue& queue;
};

std::vector<std::shared_ptr<ICDeviceSource>> ICDeviceBrowser::defaultSources() {
    std::vector<std::shared_ptr<ICDeviceSource>> sources;
    sources.push_back(std::make_shared<UsbDeviceSource>());
    if (const char* names = std::getenv("ZETA_SIMULATED_CAMERAS"); names && *names) {
        sources.push_back(SimulatedDeviceSource::withPresets(names));
    }
    return sources;
}

ICDeviceBrowser::ICDeviceBrowser(dispatch::Queue& callbackQueue, std::vector<std::shared_ptr<ICDeviceSource>> sources)
    : callbackQueue_(callbackQueue), sources_(std::move(sources)) {
    listener_ = std::make_shared<Listener>(*this, callbackQueue_);
}

ICDeviceBrowser::~ICDeviceBrowser() {
    stop();
    std::lock_guard lock(listener_->mutex);
    listener_->browser = nullptr;
}

void ICDeviceBrowser::setDelegate(std::weak_ptr<ICDeviceBrowserDelegate> delegate) {
    std::lock_guard lock(mutex_);
    delegate_ = std::move(delegate);
}

std::shared_ptr<ICDeviceBrowserDelegate> ICDeviceBrowser::delegate() const {
    std::lock_guard lock(mutex_);
    return delegate_.lock();
}

void ICDeviceBrowser::setBrowsedDeviceTypeMask(uint32_t mask) {
    std::lock_guard lock(mutex_);
    mask_ = mask;
}

uint32_t ICDeviceBrowser::browsedDeviceTypeMask() const {
    std::lock_guard lock(mutex_);
    return mask_;
}

void ICDeviceBrowser::start() {
    {
        std::lock_guard lock(mutex_);
        if (browsing_) return;
        browsing_ = true;
    }
    for (const auto& source : sources_)
        source->start(*listener_);
}

void ICDeviceBrowser::stop() {
    {
        std::lock_guard lock(mutex_);
        if (!browsing_) return;
        browsing_ = false;
    }
    for (const auto& source : sources_)
        source->stop();
}

bool ICDeviceBrowser::isBrowsing() const {
    std::lock_guard lock(mutex_);
    return browsing_;
}

std::vector<std::shared_ptr<ICCameraDevice>> ICDeviceBrowser::devices() const {
    std::lock_guard lock(mutex_);
    return devices_;
}

} // namespace zeta::platform
