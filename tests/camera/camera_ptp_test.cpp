// A simulated PTP camera, driven by the in-process camera driver, in the camera window.

#include "Common/device.h"
#include "ccd_ica/indigo_ccd_ica.h"
#include "widget_fixture.h"

#include <cstdlib>

using namespace camera_test;

namespace {

TEST_F(WidgetFixture, ASimulatedPtpCameraIsListedAndConnects) {
    ::setenv("ZETA_SIMULATED_CAMERAS", "generic", 1);
    indigo->setInProcessDrivers({indigo_ccd_ica});
    indigo->startWithLocalServer(false, false);
    controller.awakeFromNib();
    ASSERT_TRUE(waitFor([&] {
        const auto device = indigo->device("Simulated Camera");
        return indexOf("Simulated Camera") >= 0 && device && device->connectionProperty();
    }));
    choose("Simulated Camera");
    EXPECT_TRUE(logged("'Simulated Camera' selected"));
    ASSERT_TRUE(waitFor([&] {
        const auto camera = controller.camera();
        return camera && camera->name() == "Simulated Camera" && camera->connected() && controller.durationEnabled();
    }));
    EXPECT_EQ(controller.count("Simulated Camera CONNECTION CONNECTED"), 1u);
    EXPECT_EQ(widget->camerasPopUp()->currentText(), "Simulated Camera");
}

} // namespace
