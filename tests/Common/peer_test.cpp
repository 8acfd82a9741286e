// Against a real INDI peer: indiserver with indi_simulator_ccd, connected through the bus.

#include "Common/indigo.h"
#include "imaging/fits_image_rep.h"
#include "imaging/image.h"
#include "indigo/indigo_remote.h"
#include "platform/system_log.h"
#include "support/eventually.h"
#include "support/fixture_device.h"
#include "support/indi_server.h"
#include "support/recording_controller.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <map>

using namespace test_support;
using test_support::IndiServer;

namespace {

constexpr const char* kCamera = "CCD Simulator";

// Decodes every CCD_IMAGE update it hears, as the camera window does.
class FrameController : public RecordingController {
public:
    void updateProperty(const std::shared_ptr<INDIGO::Property>& property) override {
        RecordingController::updateProperty(property);
        if (property->device()->name() != kCamera || property->name() != "CCD_IMAGE" ||
            property->state() != INDIGO_OK_STATE)
            return;
        const auto item = property->item<INDIGO::BLOBItem>("IMAGE");
        if (!item) return;
        auto image = item->image();
        std::lock_guard lock(mutex_);
        frames_.push_back(image);
        formats_.push_back(item->format());
    }
    std::vector<std::shared_ptr<Image>> frames() {
        std::lock_guard lock(mutex_);
        return frames_;
    }
    std::vector<std::string> formats() {
        std::lock_guard lock(mutex_);
        return formats_;
    }

private:
    std::mutex mutex_;
    std::vector<std::shared_ptr<Image>> frames_;
    std::vector<std::string> formats_;
};

} // namespace

TEST(Peer, SimulatorCameraThroughTheBus) {
    zeta::platform::ImageRep::registerImageRepClass<INDIGO::RawImageRep>();
    zeta::platform::ImageRep::registerImageRepClass<FITSIO::FITSImageRep>();
    zeta::platform::setSystemLogHandler([](std::string_view) {});

    IndiServer server({"indi_simulator_ccd"});
    ASSERT_TRUE(server.waitUntilListening());
    // The driver must run on untouched by our connection: one that is told a protocol version
    // it does not speak exits, is restarted and withdraws its device, and a request sent
    // meanwhile is lost ("I pressed Connect and nothing happened").
    std::map<std::string, pid_t> drivers;
    ASSERT_TRUE(eventually([&] { return (drivers = server.driverPids()).count("indi_simulator_ccd") == 1; }));
    auto indigo = std::make_shared<INDIGO>();
    FrameController controller;
    controller.setIndigo(indigo);
    indigo->startWithLocalServer(false, false);

    indigo_server_entry* entry = nullptr;
    ASSERT_EQ(indigo_connect_server("peer", "127.0.0.1", server.port(), &entry), INDIGO_OK);
    ASSERT_NE(entry, nullptr);

    std::shared_ptr<INDIGO::Device> camera;
    ASSERT_TRUE(eventually([&] {
        camera = indigo->device(kCamera);
        return camera && camera->connectionProperty();
    }));
    EXPECT_FALSE(camera->connected());
    EXPECT_FALSE(camera->groups().empty());
    const auto connection = camera->connectionProperty();
    EXPECT_EQ(connection->group(), camera->group(connection->group())->name());

    indigo->setSwitchItem(connection, "CONNECTED", true);
    ASSERT_TRUE(eventually([&] {
        return camera->connected() && camera->property("CCD_EXPOSURE") && camera->property("CCD_IMAGE");
    })) << "connected follows CONNECTION and the camera's properties arrive";
    EXPECT_GT(camera->properties().size(), 20u);

    const auto image = camera->property("CCD_IMAGE");
    EXPECT_EQ(image->type(), INDIGO_BLOB_VECTOR);
    indigo->enableBLOB(image, true);
    const auto exposure = camera->property("CCD_EXPOSURE");
    indigo->setNumberItems(exposure, {{"EXPOSURE", 0.1}});
    ASSERT_TRUE(eventually([&] { return controller.frames().size() >= 1; }, std::chrono::seconds(20)));
    const auto first = controller.frames().front();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->width(), 1280);
    EXPECT_EQ(first->height(), 1024);
    EXPECT_EQ(first->bitsPerPixel(), 16);
    EXPECT_EQ(controller.formats().front().substr(0, 5), ".fits");

    // The next update's frame is decoded anew: the cache was reset before the delegates heard.
    indigo->setNumberItems(exposure, {{"EXPOSURE", 0.1}});
    ASSERT_TRUE(eventually([&] { return controller.frames().size() >= 2; }, std::chrono::seconds(20)));
    const auto second = controller.frames()[1];
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first);
    EXPECT_EQ(second->width(), 1280);

    indigo->setSwitchItem(connection, "DISCONNECTED", true);
    EXPECT_TRUE(eventually([&] { return !camera->connected(); }));

    EXPECT_EQ(indigo_disconnect_server(entry), INDIGO_OK);
    EXPECT_TRUE(eventually([&] { return indigo->device(kCamera) == nullptr; })) << "its devices leave the model";
    EXPECT_EQ(server.driverPids(), drivers) << server.log();
    EXPECT_THAT(server.log(), testing::Not(testing::HasSubstr("client version")));
    indigo.reset();
    controller.setIndigo(nullptr);
    zeta::platform::setSystemLogHandler({});
}
