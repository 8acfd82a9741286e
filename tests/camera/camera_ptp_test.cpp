// A simulated PTP camera, driven by the in-process camera driver, in the camera window.

#include "Common/device.h"
#include "ccd_ica/indigo_ccd_ica.h"
#include "indigo/indigo_driver.h"
#include "widget_fixture.h"

#include <cstdlib>

using namespace camera_test;

namespace {

TEST_F(WidgetFixture, ASimulatedPtpCameraIsListedAndConnects) {
    ::setenv("ZETA_SIMULATED_CAMERAS", "generic", 1);
    indigo->startWithLocalServer(false, false);
    indigo_driver_entry* driver = nullptr;
    ASSERT_EQ(indigo_add_driver(indigo_ccd_ica, true, &driver), INDIGO_OK);
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

    // Choosing no camera disconnects it (and the driver lets go of its download folder).
    const auto camera = controller.camera();
    controller.selectCamera(-1);
    EXPECT_EQ(controller.camera(), nullptr);
    ASSERT_TRUE(waitFor([&] { return !camera->connected(); }));
    EXPECT_EQ(indigo_remove_driver(driver), INDIGO_OK);
}

} // namespace
