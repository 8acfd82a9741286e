#pragma once
// The camera driver on the in-process bus for the whole process, as the driver itself lives:
// simulated cameras are plugged into its device source, a recording client hears what it
// publishes, and its log lines are kept (support/bus_log.h).

#include "ccd_ica/indigo_ccd_ica.h"
#include "indigo/indigo_driver.h"
#include "indigo/indigo_log.h"
#include "platform/camera/simulated_device_source.h"
#include "support/bus_log.h"
#include "support/recording_client.h"

#include <gtest/gtest.h>
#include <memory>

namespace ccd_ica_test {

using test_support::captureLog;
using test_support::loggedLine;

struct Driver {
    std::shared_ptr<zeta::platform::SimulatedDeviceSource> source =
        std::make_shared<zeta::platform::SimulatedDeviceSource>();
    test_support::RecordingClient client{"driver test"};

    Driver() {
        indigo_log_message_handler = captureLog;
        indigo_set_log_level(INDIGO_LOG_INFO);
        indigo_start();
        EXPECT_TRUE(indigo_ccd_ica_use_device_sources({source}));
        indigo_attach_client(&client.client);
        EXPECT_EQ(indigo_add_driver(indigo_ccd_ica, true, nullptr), INDIGO_OK);
    }
};

inline Driver& driver() {
    static Driver* instance = new Driver(); // for the whole process, like the driver itself
    return *instance;
}

inline test_support::RecordingClient& client() {
    return driver().client;
}

} // namespace ccd_ica_test
