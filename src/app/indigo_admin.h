#pragma once
// What the administration windows (drivers table, services panel, preferences sheet) ask of
// the INDIGO client: the driver catalogue, the services found and the servers connected by
// host and port, and the local server's restart. One interface so that the controllers can
// be driven by a fake, and one place that knows the client's calls.

#include <memory>
#include <optional>
#include <string>
#include <vector>

class INDIGO;

namespace zeta::app {

struct DriverInfo {
    std::string name;
    // The label, with " [INDI]" for a driver that runs as an executable.
    std::string description;
    std::string version;
    bool loaded = false;
};

struct ServerAddress {
    std::string host;
    int port = 0;
    bool operator==(const ServerAddress&) const = default;
};

class IndigoAdmin {
public:
    virtual ~IndigoAdmin() = default;

    // The catalogue's drivers in display order.
    virtual std::vector<std::string> driverNames() const = 0;
    virtual std::optional<DriverInfo> driver(const std::string& name) const = 0;
    // Loads or unloads a driver and stores its "load_" preference; blocking, any thread.
    virtual void loadDriver(const std::string& name) = 0;
    virtual void unloadDriver(const std::string& name) = 0;

    // Names of the Bonjour services found, in the client's order.
    virtual std::vector<std::string> serviceNames() const = 0;
    // The servers connected by host and port, in the client's order.
    virtual std::vector<ServerAddress> configuredServers() const = 0;
    // Connects a server; false (and nothing recorded) when it cannot be reached.
    virtual bool addServer(const ServerAddress& server) = 0;
    // Disconnects the connected server with exactly this host and port.
    virtual void removeServer(const ServerAddress& server) = 0;

    // Shuts the local server down and starts it again with the stored port, name and type.
    virtual void restartServer() = 0;
    // After 3 s, asks every device for all its properties again.
    virtual void restart() = 0;
};

// The administration calls of the shared client.
std::unique_ptr<IndigoAdmin> makeIndigoAdmin(std::shared_ptr<INDIGO> indigo);

} // namespace zeta::app
