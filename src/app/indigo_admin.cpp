// The administration calls of the shared client.

#include "app/indigo_admin.h"

#include "Common/indigo_client.h"
#include "indigo/indigo_driver.h"
#include "indigo/indigo_remote.h"
#include "platform/dispatch.h"

#include <chrono>
#include <mutex>

namespace zeta::app {

namespace {

class ClientAdmin final : public IndigoAdmin {
public:
    explicit ClientAdmin(std::shared_ptr<INDIGO> indigo) : indigo_(std::move(indigo)) {}

    std::vector<std::string> driverNames() const override { return {}; }
    std::optional<DriverInfo> driver(const std::string&) const override { return std::nullopt; }
    void loadDriver(const std::string&) override {}
    void unloadDriver(const std::string&) override {}

    std::vector<std::string> serviceNames() const override { return {}; }

    std::vector<ServerAddress> configuredServers() const override {
        std::lock_guard lock(serversMutex_);
        std::vector<ServerAddress> servers;
        for (const indigo_server_entry& entry : indigo_available_servers) {
            if (entry.thread_started) servers.push_back(ServerAddress{entry.host, entry.port});
        }
        return servers;
    }

    void addServer(const ServerAddress& server) override {
        std::lock_guard lock(serversMutex_);
        indigo_connect_server(nullptr, server.host.c_str(), server.port, nullptr);
    }

    void removeServer(const ServerAddress& server) override {
        std::lock_guard lock(serversMutex_);
        for (indigo_server_entry& entry : indigo_available_servers) {
            if (entry.thread_started && server.host == entry.host && server.port == entry.port) {
                indigo_disconnect_server(&entry);
                return;
            }
        }
    }

    void restartServer() override {}

    void restart() override {
        dispatch::after(std::chrono::seconds(3), dispatch::globalQueue(),
                        [indigo = indigo_] { indigo_enumerate_properties(indigo->client(), INDIGO_ALL_PROPERTIES); });
    }

private:
    std::shared_ptr<INDIGO> indigo_;
    mutable std::mutex serversMutex_;
};

} // namespace

std::unique_ptr<IndigoAdmin> makeIndigoAdmin(std::shared_ptr<INDIGO> indigo) {
    return std::make_unique<ClientAdmin>(std::move(indigo));
}

} // namespace zeta::app
