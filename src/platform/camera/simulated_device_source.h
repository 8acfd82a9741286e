#pragma once
// Simulated cameras as a device source: plug() makes a camera appear, unplug() (or the camera
// pulling its own cable in a fault) makes it vanish.

#include "platform/camera/ic_device_source.h"
#include "platform/camera/simulated_camera.h"

#include <memory>
#include <mutex>
#include <vector>

namespace zeta::platform {

class SimulatedDeviceSource final : public ICDeviceSource, public std::enable_shared_from_this<SimulatedDeviceSource> {
public:
    // The presets named in the text ("generic,nikon"); unknown names are skipped.
    static std::shared_ptr<SimulatedDeviceSource> withPresets(std::string_view names);

    SimulatedDeviceSource() = default;
    ~SimulatedDeviceSource() override;

    void plug(std::shared_ptr<SimulatedCamera> camera);
    void unplug(const std::shared_ptr<SimulatedCamera>& camera);
    std::vector<std::shared_ptr<SimulatedCamera>> cameras() const;

    void start(Listener& listener) override;
    void stop() override;

private:
    class Connection;
    void disappeared(const std::shared_ptr<Connection>& connection);

    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<Connection>> connections_;
    Listener* listener_ = nullptr;
};

} // namespace zeta::platform
