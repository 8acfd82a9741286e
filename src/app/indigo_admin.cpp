// The administration calls of the shared client.

#include "app/indigo_admin.h"

#include "Common/driver.h"
#include "Common/indigo_client.h"

namespace zeta::app {

namespace {

class ClientAdmin final : public IndigoAdmin {
public:
    explicit ClientAdmin(std::shared_ptr<INDIGO> indigo) : indigo_(std::move(indigo)) {}

    std::vector<std::string> driverNames() const override { return indigo_->driverNames(); }

    std::optional<DriverInfo> driver(const std::string& name) const override {
        const auto driver = indigo_->driver(name);
        if (!driver) return std::nullopt;
        return DriverInfo{driver->name(), driver->description(), driver->version(), driver->state()};
    }

    void loadDriver(const std::string& name) override {
        if (const auto driver = indigo_->driver(name)) driver->load();
    }

    void unloadDriver(const std::string& name) override {
        if (const auto driver = indigo_->driver(name)) driver->unload();
    }

    std::vector<std::string> serviceNames() const override {
        std::vector<std::string> names;
        for (const INDIGO::Service& service : indigo_->services())
            names.push_back(service.name);
        return names;
    }

    std::vector<ServerAddress> configuredServers() const override {
        std::vector<ServerAddress> servers;
        for (const INDIGO::ConfiguredServer& server : indigo_->configuredServers())
            servers.push_back(ServerAddress{server.host, server.port});
        return servers;
    }

    bool addServer(const ServerAddress& server) override {
        return indigo_->addServer(server.host, server.port) != nullptr;
    }

    void removeServer(const ServerAddress& server) override {
        for (const INDIGO::ConfiguredServer& entry : indigo_->configuredServers()) {
            if (entry.host == server.host && entry.port == server.port) {
                indigo_->removeServer(entry.entry);
                return;
            }
        }
    }

    void restartServer() override { indigo_->restartServer(); }
    void restart() override { indigo_->restart(); }

private:
    std::shared_ptr<INDIGO> indigo_;
};

} // namespace

std::unique_ptr<IndigoAdmin> makeIndigoAdmin(std::shared_ptr<INDIGO> indigo) {
    return std::make_unique<ClientAdmin>(std::move(indigo));
}

} // namespace zeta::app
