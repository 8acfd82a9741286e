#pragma once
// ServicesController: the services panel of the preferences sheet. It lists the Bonjour
// services the client found (not selectable) and the servers entered by host and port. Adding
// and removing change only the panel's list; savePreferences() (OK of the sheet) brings the
// client's connections in line with it, loadPreferences() (opening the sheet) refills it.

#include "Common/base_controller.h"
#include "app/indigo_admin.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zeta::app {

class ServicesView {
public:
    virtual ~ServicesView() = default;
    virtual void reloadServices() = 0;
    virtual void setRemoveEnabled(bool enabled) = 0;
    virtual void setHostText(const std::string& text) = 0;
    virtual void setPortText(const std::string& text) = 0;
    // Why the typed server was refused, beside the fields; empty clears it.
    virtual void showEntryError(const std::string& text) = 0;
};

struct ServiceRow {
    std::string text;
    bool bonjour = false; // a found service, shown with the Bonjour image; else an entered server
    bool failed = false;  // an entered server whose connection failed at the last OK
};

class ServicesController : public BaseController {
public:
    static constexpr int kDefaultPort = 7624;

    explicit ServicesController(std::shared_ptr<IndigoAdmin> admin) : admin_(std::move(admin)) {}

    void setView(ServicesView* view) { view_ = view; }

    void updateServices() override;
    void loadPreferences() override;
    void savePreferences() override;

    // Table: the count disables Remove (every reload asks for it).
    std::size_t numberOfRows();
    std::optional<ServiceRow> row(std::size_t index) const;
    // A Bonjour row is refused; a server row fills the fields and enables Remove.
    bool shouldSelectRow(std::size_t index);

    // Appends a server. An empty host, or a port that is not a whole number from 1 to 65535
    // (an empty port is 7624), is refused with the reason shown beside the fields. False when
    // refused.
    bool addAction(std::string_view host, std::string_view portText);
    // Removes the selected server row; any other selection only reloads.
    void removeAction(std::optional<std::size_t> selectedRow);

    const std::vector<ServerAddress>& configuredServers() const { return configuredServers_; }

    // A remote server's port: digits only, 1 to 65535; 7624 for anything else.
    static int remotePort(std::string_view text);
    // The port typed for a server to add: 7624 when empty, none when it is not a whole number
    // from 1 to 65535.
    static std::optional<int> enteredPort(std::string_view text);

private:
    void reload();

    std::shared_ptr<IndigoAdmin> admin_;
    ServicesView* view_ = nullptr;
    std::vector<ServerAddress> configuredServers_;
    // Entered servers the client could not connect: they stay listed, marked, until removed,
    // and each OK tries them again. In memory only, as the connected ones are.
    std::vector<ServerAddress> failed_;
    // The Bonjour names as the table last counted them, so that rows and count agree.
    std::vector<std::string> services_;
    // Queued reloads check it: the controller may be gone by the time they run.
    std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);
};

} // namespace zeta::app
