#include "platform/camera/simulated_device_source.h"

#include <algorithm>
#include <string>

namespace zeta::platform {

class SimulatedDeviceSource::Connection final : public ICDeviceConnection {
public:
    explicit Connection(std::shared_ptr<SimulatedCamera> camera) : camera(std::move(camera)) {}
    std::string name() const override { return camera->name(); }
    uint16_t usbVendorID() const override { return camera->usbVendorID(); }
    uint16_t usbProductID() const override { return camera->usbProductID(); }
    std::unique_ptr<PTPPort> open(std::string& error) override {
        if (!camera->isPlugged()) {
            error = "The camera has been removed";
            return nullptr;
        }
        return camera->open();
    }
    const std::shared_ptr<SimulatedCamera> camera;
};

std::shared_ptr<SimulatedDeviceSource> SimulatedDeviceSource::withPresets(std::string_view names) {
    auto source = std::make_shared<SimulatedDeviceSource>();
    while (!names.empty()) {
        const std::size_t comma = names.find(',');
        std::string name(names.substr(0, comma));
        name.erase(std::remove(name.begin(), name.end(), ' '), name.end());
        if (auto camera = SimulatedCamera::preset(name)) source->plug(std::move(camera));
        names = comma == std::string_view::npos ? std::string_view{} : names.substr(comma + 1);
    }
    return source;
}

SimulatedDeviceSource::~SimulatedDeviceSource() {
    for (const auto& c : cameras())
        c->setRemovalHandler(nullptr);
}

void SimulatedDeviceSource::plug(std::shared_ptr<SimulatedCamera> camera) {
    auto connection = std::make_shared<Connection>(std::move(camera));
    std::weak_ptr<SimulatedDeviceSource> self = weak_from_this();
    std::weak_ptr<Connection> weakConnection = connection;
    connection->camera->setRemovalHandler([self, weakConnection] {
        const auto source = self.lock();
        const auto gone = weakConnection.lock();
        if (source && gone) source->disappeared(gone);
    });
    // The listener is called under the lock, so that after stop() it is never called again.
    std::lock_guard lock(mutex_);
    connections_.push_back(connection);
    if (listener_) listener_->deviceAppeared(connection);
}

void SimulatedDeviceSource::unplug(const std::shared_ptr<SimulatedCamera>& camera) {
    camera->unplug(); // runs the removal handler, which reports the departure
}

void SimulatedDeviceSource::disappeared(const std::shared_ptr<Connection>& connection) {
    std::lock_guard lock(mutex_);
    const auto found = std::find(connections_.begin(), connections_.end(), connection);
    if (found == connections_.end()) return;
    connections_.erase(found);
    if (listener_) listener_->deviceDisappeared(connection);
}

std::vector<std::shared_ptr<SimulatedCamera>> SimulatedDeviceSource::cameras() const {
    std::lock_guard lock(mutex_);
    std::vector<std::shared_ptr<SimulatedCamera>> cameras;
    for (const auto& c : connections_)
        cameras.push_back(c->camera);
    return cameras;
}

void SimulatedDeviceSource::start(Listener& listener) {
    std::lock_guard lock(mutex_);
    listener_ = &listener;
    for (const auto& c : connections_)
        listener.deviceAppeared(c);
}

void SimulatedDeviceSource::stop() {
    std::lock_guard lock(mutex_);
    listener_ = nullptr;
}

} // namespace zeta::platform
