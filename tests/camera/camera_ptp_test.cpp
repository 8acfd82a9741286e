// A simulated PTP camera, driven by the in-process camera driver, in the camera window.

#include "Common/device.h"
#include "ccd_ica/indigo_ccd_ica.h"
#include "indigo/indigo_driver.h"
#include "widget_fixture.h"

#include <QLabel>
#include <cstdlib>

using namespace camera_test;

namespace {

// The driver's camera browser reads the list once per process: every test names the same.
constexpr const char* kCameras = "generic,nikon";

TEST_F(WidgetFixture, ASimulatedPtpCameraIsListedAndConnects) {
    ::setenv("ZETA_SIMULATED_CAMERAS", kCameras, 1);
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

// The sensor row shows what the chosen camera reports: the D800's from its sensor table, and
// nothing of it once a camera that reports no sensor (a generic PTP body) is chosen instead.
TEST_F(WidgetFixture, TheSensorRowFollowsTheChosenCamera) {
    ::setenv("ZETA_SIMULATED_CAMERAS", kCameras, 1);
    indigo->startWithLocalServer(false, false);
    indigo_driver_entry* driver = nullptr;
    ASSERT_EQ(indigo_add_driver(indigo_ccd_ica, true, &driver), INDIGO_OK);
    controller.awakeFromNib();
    ASSERT_TRUE(waitFor([&] { return indexOf("Nikon D800") >= 0 && indexOf("Simulated Camera") >= 0; }));

    const auto connected = [&](const std::string& name) {
        return waitFor([&] {
            const auto camera = controller.camera();
            return camera && camera->name() == name && camera->connected() && controller.durationEnabled();
        });
    };
    choose("Nikon D800");
    ASSERT_TRUE(connected("Nikon D800"));
    ASSERT_TRUE(waitFor([&] { return !widget->ccdField()->text().isEmpty(); }));
    EXPECT_TRUE(widget->ccdField()->text().startsWith(QString("7360 × 4912, pixel size 4.88 µm")))
        << widget->ccdField()->text().toStdString();

    choose("Simulated Camera");
    ASSERT_TRUE(connected("Simulated Camera"));
    QCoreApplication::processEvents();
    EXPECT_EQ(widget->ccdField()->text().toStdString(), "");
    EXPECT_EQ(controller.ccdWidth(), 0);
    EXPECT_EQ(controller.pixelSize(), 0);

    controller.selectCamera(-1);
    EXPECT_EQ(indigo_remove_driver(driver), INDIGO_OK);
}

} // namespace
