#pragma once
// The solver panel's search for local solving services ("_astrometry._tcp") on DNS-SD: every
// service found is resolved, and the panel hears of each one found, resolved and removed, on
// the main queue.

#include "platform/net/net_service.h"

#include <memory>

class SolverController;

namespace zeta::solver {

class SolverBrowser : public zeta::platform::DnsSdListener {
public:
    explicit SolverBrowser(SolverController& controller);
    ~SolverBrowser() override;

    // Starts the search; it runs for the life of the browser. Without a DNS-SD daemon the
    // message log says so once and the panel keeps the web service.
    void start();

    void serviceFound(const zeta::platform::ServiceKey& service) override;
    void serviceRemoved(const zeta::platform::ServiceKey& service) override;
    void serviceResolved(const zeta::platform::ServiceKey& service,
                         const zeta::platform::ResolvedService& resolved) override;
    void serviceNotResolved(const zeta::platform::ServiceKey& service, const std::string& error) override;
    void serviceWillPublish(const std::string&) override {}
    void servicePublished(const std::string&) override {}
    void serviceNotPublished(const std::string&, const std::string&) override {}
    void dnsSdUnavailable(const std::string& reason) override;

private:
    SolverController& controller_;
    std::unique_ptr<zeta::platform::DnsSd> dnsSd_;
};

} // namespace zeta::solver
