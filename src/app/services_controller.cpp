#include "app/services_controller.h"

#include "Common/indigo_client.h"
#include "app/port_text.h"

#include <algorithm>

namespace zeta::app {

int ServicesController::remotePort(std::string_view text) {
    const auto port = parsePortText(text);
    return port && *port >= 1 ? *port : kDefaultPort;
}

void ServicesController::updateServices() {
    dispatch::mainQueue().async([this, alive = std::weak_ptr<int>(lifetime_)] {
        if (!alive.expired()) reload();
    });
}

void ServicesController::reload() {
    if (view_ != nullptr)
        view_->reloadServices();
    else
        numberOfRows();
}

void ServicesController::loadPreferences() {
    configuredServers_ = admin_->configuredServers();
    // Shown at once: rows left from the last showing would name servers no longer in the list.
    reload();
}

void ServicesController::savePreferences() {
    const auto connected = admin_->configuredServers();
    for (const ServerAddress& entry : connected) {
        if (std::find(configuredServers_.begin(), configuredServers_.end(), entry) == configuredServers_.end())
            admin_->removeServer(entry);
    }
    for (const ServerAddress& server : configuredServers_) {
        // Read again each time: a server entered twice is connected once.
        const auto now = admin_->configuredServers();
        if (std::find(now.begin(), now.end(), server) == now.end()) admin_->addServer(server);
    }
}

std::size_t ServicesController::numberOfRows() {
    services_ = admin_->serviceNames();
    if (view_ != nullptr) view_->setRemoveEnabled(false);
    return services_.size() + configuredServers_.size();
}

std::optional<ServiceRow> ServicesController::row(std::size_t index) const {
    if (index < services_.size()) return ServiceRow{services_[index], true};
    index -= services_.size();
    if (index >= configuredServers_.size()) return std::nullopt;
    const ServerAddress& server = configuredServers_[index];
    return ServiceRow{server.host + " (" + std::to_string(server.port) + ")", false};
}

bool ServicesController::shouldSelectRow(std::size_t index) {
    if (index < services_.size()) return false;
    index -= services_.size();
    if (index >= configuredServers_.size()) return false;
    if (view_ != nullptr) {
        view_->setRemoveEnabled(true);
        view_->setHostText(configuredServers_[index].host);
        view_->setPortText(std::to_string(configuredServers_[index].port));
    }
    return true;
}

bool ServicesController::addAction(std::string_view host, std::string_view portText) {
    if (host.empty()) {
        if (indigo()) indigo()->message("Can't add a server without a host name");
        return false;
    }
    configuredServers_.push_back(ServerAddress{std::string(host), remotePort(portText)});
    reload();
    return true;
}

void ServicesController::removeAction(std::optional<std::size_t> selectedRow) {
    if (selectedRow && *selectedRow >= services_.size()) {
        const std::size_t index = *selectedRow - services_.size();
        if (index < configuredServers_.size())
            configuredServers_.erase(configuredServers_.begin() + static_cast<std::ptrdiff_t>(index));
    }
    reload();
}

} // namespace zeta::app
