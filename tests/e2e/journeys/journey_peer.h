#pragma once
// An INDI peer for a journey: indiserver with the given simulators on a free port of
// 127.0.0.1 (stopped by pid when the object goes), added to the application the way a user
// adds it, and read back with indi_getprop.

#include "support/indi_server.h"

#include <string>
#include <vector>

namespace journey {

class JourneyPeer {
public:
    // Starts indiserver with these drivers (e.g. "indi_simulator_ccd"); throws JourneyError
    // when it does not listen.
    explicit JourneyPeer(const std::vector<std::string>& drivers);

    int port() const { return server_.port(); }

    // Preferences → Services: host and port typed in, Add, OK.
    void addThroughServices() const;

    // The peer's own value of "Device.PROPERTY.ITEM" (indi_getprop), "" when it has none.
    std::string value(const std::string& what) const;

private:
    test_support::IndiServer server_;
};

} // namespace journey
