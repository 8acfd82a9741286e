#pragma once
// A client's administration calls kept in memory: a catalogue whose loads can be made to
// fail, found services, and server connections that record what was asked.

#include "app/indigo_admin.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <set>

namespace app_test {

class FakeAdmin final : public zeta::app::IndigoAdmin {
public:
    std::vector<std::string> names;
    std::map<std::string, zeta::app::DriverInfo> drivers;
    std::set<std::string> failingLoads;
    std::vector<std::string> services;
    std::vector<zeta::app::ServerAddress> servers;
    std::vector<zeta::app::ServerAddress> unreachable; // addServer fails for these
    std::vector<std::string> calls;
    std::atomic<int> restarts{0};
    std::atomic<int> enumerations{0};

    void addCatalogueDriver(const std::string& name, bool loaded) {
        names.push_back(name);
        drivers[name] = zeta::app::DriverInfo{name, name + " label", "2.0", loaded};
    }

    std::vector<std::string> driverNames() const override {
        std::lock_guard lock(mutex_);
        return names;
    }
    std::optional<zeta::app::DriverInfo> driver(const std::string& name) const override {
        std::lock_guard lock(mutex_);
        const auto found = drivers.find(name);
        if (found == drivers.end()) return std::nullopt;
        return found->second;
    }
    void loadDriver(const std::string& name) override {
        std::lock_guard lock(mutex_);
        calls.push_back("load " + name);
        drivers[name].loaded = failingLoads.count(name) == 0;
    }
    void unloadDriver(const std::string& name) override {
        std::lock_guard lock(mutex_);
        calls.push_back("unload " + name);
        drivers[name].loaded = false;
    }
    std::vector<std::string> serviceNames() const override { return services; }
    std::vector<zeta::app::ServerAddress> configuredServers() const override { return servers; }
    bool addServer(const zeta::app::ServerAddress& server) override {
        calls.push_back("add " + server.host + ":" + std::to_string(server.port));
        if (std::find(unreachable.begin(), unreachable.end(), server) != unreachable.end()) return false;
        servers.push_back(server);
        return true;
    }
    void removeServer(const zeta::app::ServerAddress& server) override {
        calls.push_back("remove " + server.host + ":" + std::to_string(server.port));
        servers.erase(std::remove(servers.begin(), servers.end(), server), servers.end());
    }
    void restartServer() override { ++restarts; }
    void restart() override { ++enumerations; }

    std::vector<std::string> takeCalls() {
        std::lock_guard lock(mutex_);
        auto taken = std::move(calls);
        calls.clear();
        return taken;
    }

private:
    mutable std::mutex mutex_;
};

} // namespace app_test
