// The local server and its Bonjour publication, the services found by Bonjour and their
// connections, and the servers connected by host and port.

#include "Common/indigo_client.h"
#include "indigo/indigo_remote.h"
#include "indigo/indigo_server.h"

struct INDIGO::Services {
    mutable std::mutex mutex;
    std::vector<Service> found;
    std::vector<ConfiguredServer> configured;
};

INDIGO::Services* INDIGO::makeServices() {
    return new Services;
}

void INDIGO::ServicesDeleter::operator()(Services* services) const {
    delete services;
}

void INDIGO::stopServices() {}

void INDIGO::startServer() {}

void INDIGO::startBrowsing() {}

std::vector<INDIGO::Service> INDIGO::services() const {
    std::lock_guard lock(services_->mutex);
    return services_->found;
}

std::vector<INDIGO::ConfiguredServer> INDIGO::configuredServers() const {
    std::lock_guard lock(services_->mutex);
    return services_->configured;
}

indigo_server_entry* INDIGO::addServer(std::string_view host, int port) {
    (void)host;
    (void)port;
    return nullptr;
}

void INDIGO::removeServer(indigo_server_entry* entry) {
    (void)entry;
}

void INDIGO::restartServer() {}

void INDIGO::restart() {}

int INDIGO::serverPort() const {
    return 0;
}

std::string INDIGO::publishedServiceName() const {
    return {};
}

void INDIGO::addControlPanel() {}

void INDIGO::addServerResource(const std::string& data, std::string_view path, std::string_view contentType) {
    (void)data;
    (void)path;
    (void)contentType;
}
