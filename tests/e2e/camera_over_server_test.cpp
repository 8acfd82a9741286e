// A simulated USB camera driven by the in-process camera driver, seen by the real INDI
// clients indi_getprop and indi_setprop through Zeta's own server.
#include "ccd_ica/indigo_ccd_ica.h"
#include "indigo/indigo_driver.h"
#include "platform/camera/simulated_device_source.h"
#include "wire_fixtures.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using namespace wire_test;
using testing::HasSubstr;

// Everything indi_getprop hears within a second.
std::string listing(const TempDir& home, int port, const std::string& pattern) {
    const std::string out = home.path() / "getprop.txt";
    Process getprop({"indi_getprop", "-h", "127.0.0.1", "-p", std::to_string(port), "-t", "1", pattern},
                    {{"HOME", home.path()}}, out);
    getprop.wait();
    return readFile(out);
}

TEST(CameraOverServer, IndiClientsListAndConnectASimulatedCamera) {
    TempDir home;
    indigo_start();
    auto source = zeta::platform::SimulatedDeviceSource::withPresets("generic");
    ASSERT_TRUE(indigo_ccd_ica_use_device_sources({source}));
    indigo_driver_entry* entry = nullptr;
    ASSERT_EQ(indigo_add_driver(indigo_ccd_ica, true, &entry), INDIGO_OK);
    RunningServer server;

    std::string text;
    EXPECT_TRUE(eventually([&] {
        text = listing(home, server.port, "Simulated Camera.*.*");
        return text.find("Simulated Camera.CONNECTION.CONNECT=Off") != std::string::npos;
    })) << text;
    EXPECT_THAT(text, HasSubstr("Simulated Camera.CONNECTION.DISCONNECT=On"));

    Process connect({"indi_setprop", "-h", "127.0.0.1", "-p", std::to_string(server.port), "-s",
                     "Simulated Camera.CONNECTION.CONNECT=On"},
                    {{"HOME", home.path()}});
    EXPECT_EQ(connect.wait(), 0);
    // Connected, the camera's exposure, image and DSLR settings are there in INDI's names.
    EXPECT_TRUE(eventually([&] {
        text = listing(home, server.port, "Simulated Camera.*.*");
        return text.find("Simulated Camera.CONNECTION.CONNECT=On") != std::string::npos &&
               text.find("Simulated Camera.DSLR_AF.") != std::string::npos;
    })) << text;
    EXPECT_THAT(text, HasSubstr("Simulated Camera.CCD_EXPOSURE.CCD_EXPOSURE_VALUE="));
    EXPECT_THAT(text, HasSubstr("Simulated Camera.DSLR_ISO."));

    // Shut down, the driver lets go of the camera: its device goes and nothing of it is left.
    EXPECT_EQ(indigo_remove_driver(entry), INDIGO_OK);
    EXPECT_TRUE(eventually([&] {
        return listing(home, server.port, "Simulated Camera.*.*").find("Simulated Camera.") == std::string::npos;
    }));
}

} // namespace
