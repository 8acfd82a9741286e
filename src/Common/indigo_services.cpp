// The local server and its Bonjour publication, the services found by Bonjour and their
// connections, and the servers connected by host and port.

#include "Common/indigo_client.h"
#include "Common/indigo_delegate.h"
#include "indigo/indigo_log.h"
#include "indigo/indigo_remote.h"
#include "indigo/indigo_server.h"
#include "platform/constants.h"
#include "platform/net/net_service.h"

#include <chrono>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <thread>

namespace {

using zeta::platform::ResolvedService;
using zeta::platform::ServiceKey;

constexpr auto kResolveTimeout = std::chrono::seconds(5);
constexpr auto kEnumerateDelay = std::chrono::seconds(3);

std::string keyText(const ServiceKey& key) {
    return key.name + '\n' + key.type + '\n' + key.domain;
}

std::string serviceName() {
    return DEFAULTS().stringForKey("indigoServiceName", APP_NAME());
}

std::string serviceType() {
    return DEFAULTS().stringForKey("indigoServiceType", "_indigo._tcp");
}

std::string errorDictionary(const std::string& error) {
    return "{\n    error = \"" + error + "\";\n}";
}

} // namespace

// The Bonjour side answers on the main queue; the server side on the server's worker.
struct INDIGO::Services final : zeta::platform::DnsSdListener {
    explicit Services(INDIGO& owner) : owner(owner) {}

    INDIGO& owner;

    // Guards the copies others read and the server's state.
    mutable std::mutex mutex;
    std::condition_variable serverEnded;
    std::vector<Service> found;
    std::vector<ConfiguredServer> configured;
    bool serverRunning = false; // a server task holds the server (queued, running or ending)
    int boundPort = 0;
    bool publishing = false;     // the service is being or has been published (indigoService)
    std::string publicationName; // the name asked for, then the name the daemon registered
    std::string registeredName;  // set once the daemon has registered it
    bool stopping = false;
    int restartsQueued = 0; // restart tasks not yet finished

    // Main queue only.
    std::map<std::string, indigo_server_entry*> servers;
    std::set<std::string> ownCandidates; // found under our name, waiting for the port to tell

    std::mutex dnsSdMutex;
    std::unique_ptr<zeta::platform::DnsSd> dnsSd;

    zeta::platform::DnsSd* bonjour() {
        std::lock_guard lock(dnsSdMutex);
        if (!dnsSd && !stopping) dnsSd = std::make_unique<zeta::platform::DnsSd>(*this, dispatch::mainQueue());
        return dnsSd.get();
    }

    void tellServices() {
        owner.tellDelegates([](INDIGODelegate* delegate) { delegate->updateServices(); });
    }

    Service* listed(const ServiceKey& key) {
        for (Service& service : found) {
            if (service.name == key.name && service.type == key.type && service.domain == key.domain) return &service;
        }
        return nullptr;
    }

    bool mayBeOwn(const ServiceKey& key) {
        std::lock_guard lock(mutex);
        return publishing && key.name == publicationName;
    }

    void list(const ServiceKey& key) {
        owner.message("INDIGO Service " + key.name + " was discovered");
        {
            std::lock_guard lock(mutex);
            found.push_back(Service{key.name, key.type, key.domain, {}, {}, 0, false, false});
        }
        tellServices();
    }

    void disconnect(const std::string& key) {
        const auto entry = servers.find(key);
        if (entry == servers.end()) return;
        indigo_server_entry* server = entry->second;
        servers.erase(entry);
        indigo_disconnect_server(server);
    }

    // --- DnsSdListener, on the main queue ---

    void serviceFound(const ServiceKey& key) override {
        if (listed(key) != nullptr) return;
        // Our own service is told by its name and then its port; a service of another
        // machine may well carry the same name.
        if (mayBeOwn(key)) {
            ownCandidates.insert(keyText(key));
        } else {
            list(key);
        }
        if (auto* dns = bonjour()) dns->resolve(key, kResolveTimeout);
    }

    void serviceResolved(const ServiceKey& key, const ResolvedService& resolved) override {
        if (ownCandidates.erase(keyText(key)) > 0) {
            {
                std::lock_guard lock(mutex);
                if (publishing && key.name == publicationName && resolved.port == boundPort) return;
            }
            list(key);
        }
        if (listed(key) == nullptr) return;
        owner.message("INDIGO Service " + key.name + " was successfully resolved to " + resolved.hostName + ":" +
                      std::to_string(resolved.port));
        // Resolved again: the old connection goes first, so its devices and slot go with it.
        disconnect(keyText(key));
        indigo_server_entry* entry = nullptr;
        const std::string host = resolved.address.empty() ? resolved.hostName : resolved.address;
        indigo_connect_server(key.name.c_str(), host.c_str(), resolved.port, &entry);
        if (entry != nullptr) servers[keyText(key)] = entry;
        {
            std::lock_guard lock(mutex);
            if (Service* service = listed(key)) {
                service->host = resolved.hostName;
                service->address = resolved.address;
                service->port = resolved.port;
                service->connected = entry != nullptr;
            }
        }
        tellServices();
    }

    void serviceNotResolved(const ServiceKey& key, const std::string& error) override {
        if (ownCandidates.erase(keyText(key)) > 0) return;
        if (listed(key) == nullptr) return;
        owner.message("INDIGO Service " + key.name + " could not be resolved");
        owner.message(errorDictionary(error));
        tellServices();
    }

    void serviceRemoved(const ServiceKey& key) override {
        if (ownCandidates.erase(keyText(key)) > 0) return;
        owner.message("INDIGO Service " + key.name + " was removed");
        disconnect(keyText(key));
        {
            std::lock_guard lock(mutex);
            for (auto it = found.begin(); it != found.end(); ++it) {
                if (it->name == key.name && it->type == key.type && it->domain == key.domain) {
                    found.erase(it);
                    break;
                }
            }
        }
        tellServices();
    }

    void serviceWillPublish(const std::string& name) override {
        {
            // Renamed after a conflict: reports of the browser about it follow this one.
            std::lock_guard lock(mutex);
            if (publishing) publicationName = name;
        }
        owner.message("INDIGO Service " + name + " is ready to publish");
    }

    void servicePublished(const std::string& name) override {
        std::lock_guard lock(mutex);
        if (!publishing) return;
        publicationName = name;
        registeredName = name;
    }

    void serviceNotPublished(const std::string& name, const std::string& error) override {
        owner.message("INDIGO Service " + name + " could not be published");
        owner.message(errorDictionary(error));
    }

    void dnsSdUnavailable(const std::string& reason) override {
        owner.message("Bonjour is not available (" + reason + "): no services are published or browsed");
    }

    // --- the local server ---

    // Publishes the server once per run of it (on the server's threads).
    void clientCallback() {
        std::string name;
        int port;
        {
            std::lock_guard lock(mutex);
            if (publishing || stopping) return;
            publishing = true;
            boundPort = indigo_server_tcp_port;
            port = boundPort;
            name = serviceName();
            publicationName = name;
            registeredName.clear();
        }
        if (auto* dns = bonjour()) dns->publish(name, serviceType(), port);
    }

    // Runs the server on this worker until it ends; the caller has set serverRunning.
    void runServer() {
        bool stop;
        {
            std::lock_guard lock(mutex);
            stop = stopping;
        }
        const long long port = DEFAULTS().integerForKey("indigoPortNumber", 0);
        if (stop) {
            // The client is going: no server any more.
        } else if (port < 0 || port > 65535) {
            owner.message("INDIGO Server port " + std::to_string(port) + " is not a TCP port");
        } else {
            indigo_server_tcp_port = static_cast<int>(port);
            // A failure to bind is logged by the server itself.
            indigo_server_start(&INDIGO::serverCallback);
        }
        bool withdraw;
        {
            std::lock_guard lock(mutex);
            withdraw = publishing;
            publishing = false;
            publicationName.clear();
            registeredName.clear();
            boundPort = 0;
        }
        if (withdraw) {
            std::lock_guard lock(dnsSdMutex);
            if (dnsSd) dnsSd->withdraw();
        }
        // Told under the lock: once it is released this object may go (stopServices).
        std::lock_guard lock(mutex);
        serverRunning = false;
        serverEnded.notify_all();
    }

    // Takes the server for a new run: ends a running one and waits for its task to finish.
    bool claimServer() {
        std::unique_lock lock(mutex);
        while (serverRunning && !stopping) {
            // Asked again each time: a task that had not started listening yet ignored it.
            indigo_server_shutdown();
            serverEnded.wait_for(lock, std::chrono::milliseconds(100));
        }
        if (stopping) return false;
        serverRunning = true;
        return true;
    }
};

INDIGO::Services* INDIGO::makeServices() {
    return new Services(*this);
}

void INDIGO::ServicesDeleter::operator()(Services* services) const {
    delete services;
}

void INDIGO::stopServices() {
    if (!services_) return;
    Services& s = *services_;
    {
        std::lock_guard lock(s.mutex);
        s.stopping = true;
    }
    {
        // Bonjour stops first: no report reaches this object any more.
        std::unique_ptr<zeta::platform::DnsSd> dnsSd;
        {
            std::lock_guard lock(s.dnsSdMutex);
            dnsSd = std::move(s.dnsSd);
        }
    }
    {
        std::unique_lock lock(s.mutex);
        while (s.serverRunning || s.restartsQueued > 0) {
            indigo_server_shutdown();
            s.serverEnded.wait_for(lock, std::chrono::milliseconds(100));
        }
    }
    for (auto& [key, entry] : s.servers)
        indigo_disconnect_server(entry);
    s.servers.clear();
}

void INDIGO::serverCallback(int count) {
    InstanceUse use;
    if (use.self == nullptr || !use.self->services_) return;
    use.self->services_->clientCallback();
    if (indigo_get_log_level() == INDIGO_LOG_INFO) use.self->message(std::to_string(count) + " clients connected");
}

void INDIGO::startServer() {
    services_->bonjour();
    if (!services_->claimServer()) return;
    dispatch::globalQueue(dispatch::QoS::Default).async([services = services_.get()] { services->runServer(); });
}

void INDIGO::restartServer() {
    Services* services = services_.get();
    {
        std::lock_guard lock(services->mutex);
        if (services->stopping) return;
        ++services->restartsQueued;
    }
    dispatch::globalQueue(dispatch::QoS::Default).async([services] {
        if (services->claimServer()) services->runServer();
        std::lock_guard lock(services->mutex);
        --services->restartsQueued;
        services->serverEnded.notify_all();
    });
}

void INDIGO::restart() {
    dispatch::after(kEnumerateDelay, dispatch::globalQueue(dispatch::QoS::Default), [this] {
        InstanceUse use;
        if (use.self == this) indigo_enumerate_properties(&client_, INDIGO_ALL_PROPERTIES);
    });
}

void INDIGO::startBrowsing() {
    auto* dns = services_->bonjour();
    if (dns == nullptr) return;
    dns->browse("_indigo._tcp", "local.");
    dns->browse("_indi._tcp", "local.");
}

std::vector<INDIGO::Service> INDIGO::services() const {
    std::lock_guard lock(services_->mutex);
    return services_->found;
}

std::vector<INDIGO::ConfiguredServer> INDIGO::configuredServers() const {
    std::lock_guard lock(services_->mutex);
    return services_->configured;
}

indigo_server_entry* INDIGO::addServer(std::string_view host, int port) {
    const std::string hostText(host);
    indigo_server_entry* entry = nullptr;
    if (indigo_connect_server(nullptr, hostText.c_str(), port, &entry) != INDIGO_OK || entry == nullptr) return nullptr;
    {
        std::lock_guard lock(services_->mutex);
        services_->configured.push_back(ConfiguredServer{entry, hostText, port});
    }
    services_->tellServices();
    return entry;
}

void INDIGO::removeServer(indigo_server_entry* entry) {
    indigo_disconnect_server(entry);
    bool removed = false;
    {
        std::lock_guard lock(services_->mutex);
        auto& list = services_->configured;
        for (auto it = list.begin(); it != list.end(); ++it) {
            if (it->entry == entry) {
                list.erase(it);
                removed = true;
                break;
            }
        }
    }
    if (removed) services_->tellServices();
}

int INDIGO::serverPort() const {
    std::lock_guard lock(services_->mutex);
    return services_->boundPort;
}

std::string INDIGO::publishedServiceName() const {
    std::lock_guard lock(services_->mutex);
    return services_->registeredName;
}

void INDIGO::addControlPanel() {
    struct Resource {
        const char* name;
        const char* path;
        const char* contentType;
    };
    static const Resource resources[] = {
        {"ctrl.data", "/ctrl", "text/html"},
        {"angular.min.js.data", "/resource/angular.min.js", "text/javascript"},
        {"bootstrap.min.js.data", "/resource/bootstrap.min.js", "text/javascript"},
        {"jquery.min.js.data", "/resource/jquery.min.js", "text/javascript"},
        {"bootstrap.css.data", "/resource/bootstrap.css", "text/css"},
        {"logo.png.data", "/resource/logo.png", "text/png"},
        {"glyphicons-halflings-regular.ttf.data", "/fonts/glyphicons-halflings-regular.ttf", "application/x-font-ttf"},
    };
    for (const Resource& resource : resources) {
        const auto file = MAIN_BUNDLE().resourcePath() / resource.name;
        if (!FILE_MANAGER().fileExistsAtPath(file)) continue;
        std::ifstream in(file, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        if (!in || in.bad()) {
            message("Error loading control panel resources (" + file.string() + " cannot be read)");
            return;
        }
        addServerResource(bytes.str(), resource.path, resource.contentType);
    }
}

void INDIGO::addServerResource(const std::string& data, std::string_view path, std::string_view contentType) {
    const std::string pathText(path);
    const std::string typeText(contentType);
    // The server copies what it is given.
    indigo_server_add_resource(pathText.c_str(), reinterpret_cast<unsigned char*>(const_cast<char*>(data.data())),
                               static_cast<unsigned>(data.size()), typeText.c_str());
}
