#include "solver/solver_browser.h"

#include "Common/indigo.h"
#include "solver/solver_controller.h"

namespace zeta::solver {
namespace {

std::string keyOf(const zeta::platform::ServiceKey& service) {
    return service.name + "\n" + service.type + "\n" + service.domain;
}

// A resolution that never comes leaves the service listed without a URL.
constexpr std::chrono::hours kResolveTimeout{24};

} // namespace

SolverBrowser::SolverBrowser(SolverController& controller) : controller_(controller) {}

SolverBrowser::~SolverBrowser() = default;

void SolverBrowser::start() {
    if (!dnsSd_) dnsSd_ = std::make_unique<zeta::platform::DnsSd>(*this, dispatch::mainQueue());
    dnsSd_->browse("_astrometry._tcp", "");
}

void SolverBrowser::serviceFound(const zeta::platform::ServiceKey& service) {
    controller_.serviceFound(keyOf(service));
    if (dnsSd_) dnsSd_->resolve(service, kResolveTimeout);
}

void SolverBrowser::serviceRemoved(const zeta::platform::ServiceKey& service) {
    controller_.serviceRemoved(keyOf(service));
}

void SolverBrowser::serviceResolved(const zeta::platform::ServiceKey& service,
                                    const zeta::platform::ResolvedService& resolved) {
    // The address connects without an mDNS host lookup on this machine.
    controller_.serviceResolved(keyOf(service), resolved.address.empty() ? resolved.hostName : resolved.address,
                                resolved.port);
}

void SolverBrowser::serviceNotResolved(const zeta::platform::ServiceKey&, const std::string&) {}

void SolverBrowser::dnsSdUnavailable(const std::string& reason) {
    if (auto* indigo = INDIGO::instance())
        indigo->message("Plate solver: local solving services can't be found (" + reason + ")");
}

} // namespace zeta::solver
