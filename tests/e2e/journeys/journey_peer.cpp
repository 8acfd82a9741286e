#include "journey_peer.h"

#include "journey_user.h"
#include "platform/constants.h"
#include "support/command.h"

namespace journey {

JourneyPeer::JourneyPeer(const std::vector<std::string>& drivers) : server_(drivers) {
    if (!server_.waitUntilListening()) throw JourneyError("indiserver did not listen: " + server_.log());
}

void JourneyPeer::addThroughServices() const {
    JourneyUser::menu({APP_NAME(), "Preferences"});
    const JourneyUser preferences = JourneyUser().within("Preferences");
    const JourneyUser services = preferences.within("Services");
    services.type("Host", "127.0.0.1");
    services.type("Port", std::to_string(port()));
    services.click("Add");
    preferences.click("OK");
}

std::string JourneyPeer::value(const std::string& what) const {
    std::string out = test_support::commandOutput("indi_getprop -1 -t 3 -h 127.0.0.1 -p " + std::to_string(port()) +
                                                  " '" + what + "'");
    while (!out.empty() && (out.back() == '\n' || out.back() == ' '))
        out.pop_back();
    return out;
}

} // namespace journey
