#include "app/services_controller.h"

#include "Common/indigo_client.h"
#include "app/port_text.h"

#include <algorithm>

namespace zeta::app {

int ServicesController::remotePort(std::string_view text) {
    const auto port = parsePortText(text);
    return port && *port >= 1 ? *port : kDefaultPort;
}

std::optional<int> ServicesController::enteredPort(std::string_view text) {
    if (text.empty()) return kDefaultPort;
    const auto port = parsePortText(text);
    if (!port || *port < 1) return std::nullopt;
    return port;
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
    for (const ServerAddress& server : failed_) {
        if (std::find(configuredServers_.begin(), configuredServers_.end(), server) == configuredServers_.end())
            configuredServers_.push_back(server);
    }
    if (view_ != nullptr) view_->showEntryError({});
    // Shown at once: rows left from the last showing would name servers no longer in the list.
    reload();
}

void ServicesController::savePreferences() {
    const auto connected = admin_->configuredServers();
    for (const ServerAddress& entry : connected) {
        if (std::find(configuredServers_.begin(), configuredServers_.end(), entry) == configuredServers_.end())
            admin_->removeServer(entry);
    }
    std::vector<ServerAddress> failed;
    for (const ServerAddress& server : configuredServers_) {
        // Read again each time: a server entered twice is connected once.
        const auto now = admin_->configuredServers();
        if (std::find(now.begin(), now.end(), server) != now.end()) continue;
        if (admin_->addServer(server)) continue;
        if (std::find(failed.begin(), failed.end(), server) != failed.end()) continue;
        failed.push_back(server);
        if (indigo())
            indigo()->message("Can't connect to the server " + server.host + ":" + std::to_string(server.port));
    }
    failed_ = std::move(failed);
    reload();
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
    const bool failed = std::find(failed_.begin(), failed_.end(), server) != failed_.end();
    std::string text = server.host + " (" + std::to_string(server.port) + ")";
    if (failed) text += " - could not connect";
    return ServiceRow{std::move(text), false, failed};
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
    const auto refuse = [this](const std::string& reason) {
        if (view_ != nullptr) view_->showEntryError(reason);
        return false;
    };
    if (host.empty()) return refuse("Enter the server's host name.");
    const auto port = enteredPort(portText);
    if (!port) return refuse("The port must be a whole number from 1 to 65535.");
    if (view_ != nullptr) view_->showEntryError({});
    configuredServers_.push_back(ServerAddress{std::string(host), *port});
    reload();
    return true;
}

void ServicesController::removeAction(std::optional<std::size_t> selectedRow) {
    if (selectedRow && *selectedRow >= services_.size()) {
        const std::size_t index = *selectedRow - services_.size();
        if (index < configuredServers_.size()) {
            const ServerAddress removed = configuredServers_[index];
            configuredServers_.erase(configuredServers_.begin() + static_cast<std::ptrdiff_t>(index));
            // Gone from the list, no longer waiting to be tried again.
            if (std::find(configuredServers_.begin(), configuredServers_.end(), removed) == configuredServers_.end())
                failed_.erase(std::remove(failed_.begin(), failed_.end(), removed), failed_.end());
        }
    }
    reload();
}

} // namespace zeta::app
