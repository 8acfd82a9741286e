// The CCD and focuser device bases, driven the way a camera driver drives them.

#include "bus_fixtures.h"
#include "indigo/indigo_ccd_driver.h"
#include "indigo/indigo_focuser_driver.h"
#include "indigo/indigo_timer.h"

#include <chrono>
#include <cstring>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <thread>

using namespace indigo_test;
using namespace std::chrono_literals;
using testing::ElementsAre;
using testing::UnorderedElementsAre;

namespace {

// A camera on the CCD base: connecting takes a moment (a timer), an exposure ends with an
// image published through indigo_process_dslr_image.
class FixtureCamera {
public:
    explicit FixtureCamera(const char* name) {
        indigo_copy_name(device.name, name);
        device.version = INDIGO_VERSION_CURRENT;
        device.private_data = this;
        device.attach = [](indigo_device* device) {
            if (indigo_ccd_attach(device, 1) != INDIGO_OK) return INDIGO_FAILED;
            return indigo_ccd_enumerate_properties(device, nullptr, nullptr);
        };
        device.enumerate_properties = indigo_ccd_enumerate_properties;
        device.change_property = [](indigo_device* device, indigo_client* client, indigo_property* property) {
            FixtureCamera& camera = *static_cast<FixtureCamera*>(device->private_data);
            if (indigo_property_match(CONNECTION_PROPERTY, property)) {
                indigo_property_copy_values(CONNECTION_PROPERTY, property, false);
                CONNECTION_PROPERTY->state = INDIGO_BUSY_STATE;
                indigo_update_property(device, CONNECTION_PROPERTY, nullptr);
                indigo_set_timer(device, 0.02, [](indigo_device* device) {
                    CONNECTION_PROPERTY->state = INDIGO_OK_STATE;
                    indigo_ccd_change_property(device, nullptr, CONNECTION_PROPERTY);
                });
                return INDIGO_OK;
            }
            if (indigo_property_match(CCD_EXPOSURE_PROPERTY, property)) {
                if (CCD_EXPOSURE_PROPERTY->state == INDIGO_BUSY_STATE) return INDIGO_OK;
                indigo_property_copy_values(CCD_EXPOSURE_PROPERTY, property, false);
                CCD_EXPOSURE_PROPERTY->state = INDIGO_BUSY_STATE;
                indigo_update_property(device, CCD_EXPOSURE_PROPERTY, nullptr);
                CCD_IMAGE_PROPERTY->state = INDIGO_BUSY_STATE;
                indigo_update_property(device, CCD_IMAGE_PROPERTY, nullptr);
                if (!camera.holdExposure) {
                    indigo_set_timer(device, 0.02, [](indigo_device* device) {
                        FixtureCamera& camera = *static_cast<FixtureCamera*>(device->private_data);
                        indigo_process_dslr_image(device, camera.nextImage.data(),
                                                  static_cast<int>(camera.nextImage.size()), camera.nextSuffix.c_str());
                        CCD_EXPOSURE_PROPERTY->state = INDIGO_OK_STATE;
                        indigo_update_property(device, CCD_EXPOSURE_PROPERTY, nullptr);
                    });
                }
            }
            return indigo_ccd_change_property(device, client, property);
        };
        device.detach = indigo_ccd_detach;
    }
    ~FixtureCamera() { indigo_detach_device(&device); }

    indigo_device device{};
    std::vector<unsigned char> nextImage;
    std::string nextSuffix;
    bool holdExposure = false;
};

// A lens focuser on the focuser base: connections complete at once.
class FixtureFocuser {
public:
    explicit FixtureFocuser(const char* name) {
        indigo_copy_name(device.name, name);
        device.attach = [](indigo_device* device) {
            if (indigo_focuser_attach(device, 1) != INDIGO_OK) return INDIGO_FAILED;
            return indigo_focuser_enumerate_properties(device, nullptr, nullptr);
        };
        device.enumerate_properties = indigo_focuser_enumerate_properties;
        device.change_property = [](indigo_device* device, indigo_client* client, indigo_property* property) {
            if (indigo_property_match(CONNECTION_PROPERTY, property)) {
                indigo_property_copy_values(CONNECTION_PROPERTY, property, false);
                CONNECTION_PROPERTY->state = INDIGO_OK_STATE;
            }
            return indigo_focuser_change_property(device, client, property);
        };
        device.detach = indigo_focuser_detach;
    }
    ~FixtureFocuser() { indigo_detach_device(&device); }

    indigo_device device{};
};

class Collector {
public:
    explicit Collector(RecordingClient& client) : client_(client) {}

    // Waits until an event satisfies the predicate; returns what arrived up to it.
    std::vector<BusEvent> until(const std::function<bool(const BusEvent&)>& predicate) {
        const auto end = std::chrono::steady_clock::now() + 5s;
        std::vector<BusEvent> seen;
        while (std::chrono::steady_clock::now() < end) {
            for (BusEvent& event : client_.take()) {
                seen.push_back(event);
                if (predicate(event)) return seen;
            }
            std::this_thread::sleep_for(2ms);
        }
        ADD_FAILURE() << "event did not arrive";
        return seen;
    }

private:
    RecordingClient& client_;
};

std::function<bool(const BusEvent&)> is(const std::string& kind, const std::string& name, indigo_property_state state) {
    return [=](const BusEvent& e) {
        return e.kind == kind && e.name == name && e.state == state;
    };
}

std::vector<std::string> names(const std::vector<BusEvent>& events, const std::string& kind) {
    std::vector<std::string> result;
    for (const BusEvent& e : events) {
        if (e.kind == kind) result.push_back(e.name);
    }
    return result;
}

void connect(indigo_client* client, const char* device, bool on) {
    const char* items[] = {on ? CONNECTION_CONNECTED_ITEM_NAME : CONNECTION_DISCONNECTED_ITEM_NAME};
    const bool values[] = {true};
    indigo_change_switch_property(client, device, CONNECTION_PROPERTY_NAME, 1, items, values);
}

TEST(CcdBase, ConnectsExposesAndPublishesTheImageByteForByte) {
    RecordingClient client("camera window");
    indigo_attach_client(&client.client);
    Collector events(client);
    FixtureCamera camera("Fixture Camera");
    ASSERT_EQ(indigo_attach_device(&camera.device), INDIGO_OK);

    std::vector<BusEvent> seen = client.take();
    EXPECT_THAT(names(seen, "define"), ElementsAre("CONNECTION", "INFO", "CONFIG"));
    EXPECT_STREQ(seen[1].record->items[2].name, "DEVICE_INTERFACE");
    EXPECT_STREQ(seen[1].record->items[2].text.value, "2");
    EXPECT_STREQ(seen[1].record->items[0].text.value, "Fixture Camera");

    connect(&client.client, "Fixture Camera", true);
    seen = events.until(is("update", "CONNECTION", INDIGO_OK_STATE));
    EXPECT_EQ(seen.front().brief(), "update Fixture Camera.CONNECTION");
    EXPECT_EQ(seen.front().state, INDIGO_BUSY_STATE);
    EXPECT_THAT(names(seen, "define"), ElementsAre("CCD_INFO", "CCD_MODE", "CCD_BIN", "CCD_FRAME", "CCD_EXPOSURE",
                                                   "CCD_ABORT_EXPOSURE", "CCD_IMAGE_FORMAT", "CCD_IMAGE"));
    EXPECT_TRUE(seen.back().record->items[0].sw.value); // CONNECTED

    // The first image is checked inside the update callback, while the record is current.
    std::vector<unsigned char> received;
    std::string format;
    const unsigned char* firstBytes = nullptr;
    client.setOnEvent([&](const BusEvent& e) {
        if (e.kind == "update" && e.name == "CCD_IMAGE" && e.state == INDIGO_OK_STATE) {
            const indigo_item& image = e.record->items[0];
            EXPECT_STREQ(image.name, "IMAGE");
            EXPECT_STREQ(image.blob.url, "");
            received.assign(static_cast<const unsigned char*>(image.blob.value),
                            static_cast<const unsigned char*>(image.blob.value) + image.blob.size);
            format = image.blob.format;
            if (firstBytes == nullptr) firstBytes = static_cast<const unsigned char*>(image.blob.value);
        }
    });
    for (int i = 0; i < 3000; ++i)
        camera.nextImage.push_back(static_cast<unsigned char>(i * 7 + 3));
    camera.nextImage[10] = 0; // binary data, zero bytes included
    camera.nextSuffix = ".nef";
    const std::vector<unsigned char> firstImage = camera.nextImage;
    setNumber(&client.client, "Fixture Camera", CCD_EXPOSURE_PROPERTY_NAME, CCD_EXPOSURE_ITEM_NAME, 0.5);
    seen = events.until(is("update", "CCD_EXPOSURE", INDIGO_OK_STATE));
    std::vector<std::string> order;
    for (const BusEvent& e : seen)
        order.push_back(e.name + "=" + std::to_string(e.state));
    EXPECT_THAT(order, ElementsAre("CCD_EXPOSURE=2", "CCD_IMAGE=2", "CCD_IMAGE=1", "CCD_EXPOSURE=1"));
    EXPECT_EQ(received, firstImage);
    EXPECT_EQ(format, ".nef");

    // A larger image moves to a new buffer; the bytes a reader held stay readable.
    camera.nextImage.assign(100000, 0xAB);
    camera.nextSuffix = ".jpeg";
    setNumber(&client.client, "Fixture Camera", CCD_EXPOSURE_PROPERTY_NAME, CCD_EXPOSURE_ITEM_NAME, 0);
    events.until(is("update", "CCD_EXPOSURE", INDIGO_OK_STATE));
    EXPECT_EQ(received, camera.nextImage);
    EXPECT_EQ(format, ".jpeg");
    EXPECT_EQ(std::memcmp(firstBytes, firstImage.data(), firstImage.size()), 0);
    client.setOnEvent(nullptr);

    // Nothing to publish: CCD_IMAGE goes Alert with a word why.
    indigo_process_dslr_image(&camera.device, nullptr, 0, ".jpeg");
    seen = client.take();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].state, INDIGO_ALERT_STATE);
    EXPECT_FALSE(seen[0].message.empty());

    connect(&client.client, "Fixture Camera", false);
    seen = events.until(is("update", "CONNECTION", INDIGO_OK_STATE));
    EXPECT_THAT(names(seen, "delete"),
                UnorderedElementsAre("CCD_INFO", "CCD_MODE", "CCD_BIN", "CCD_FRAME", "CCD_EXPOSURE",
                                     "CCD_ABORT_EXPOSURE", "CCD_IMAGE_FORMAT", "CCD_IMAGE"));
    EXPECT_TRUE(seen.back().record->items[1].sw.value); // DISCONNECTED

    ASSERT_EQ(indigo_detach_device(&camera.device), INDIGO_OK);
    EXPECT_THAT(names(client.take(), "delete"), ElementsAre("CONNECTION", "INFO", "CONFIG"));
    EXPECT_EQ(camera.device.device_context, nullptr);
}

TEST(CcdBase, AbortEndsABusyExposureWithAlert) {
    RecordingClient client("aborter");
    indigo_attach_client(&client.client);
    Collector events(client);
    FixtureCamera camera("Fixture Abort Camera");
    indigo_attach_device(&camera.device);
    connect(&client.client, "Fixture Abort Camera", true);
    events.until(is("update", "CONNECTION", INDIGO_OK_STATE));

    camera.holdExposure = true;
    setNumber(&client.client, "Fixture Abort Camera", CCD_EXPOSURE_PROPERTY_NAME, CCD_EXPOSURE_ITEM_NAME, 30);
    client.take();
    // A second request while Busy is ignored by the driver.
    setNumber(&client.client, "Fixture Abort Camera", CCD_EXPOSURE_PROPERTY_NAME, CCD_EXPOSURE_ITEM_NAME, 60);
    EXPECT_TRUE(client.take().empty());

    const char* items[] = {CCD_ABORT_EXPOSURE_ITEM_NAME};
    const bool values[] = {true};
    indigo_change_switch_property(&client.client, "Fixture Abort Camera", CCD_ABORT_EXPOSURE_PROPERTY_NAME, 1, items,
                                  values);
    std::vector<std::string> order;
    for (const BusEvent& e : client.take())
        order.push_back(e.name + "=" + std::to_string(e.state));
    EXPECT_THAT(order, ElementsAre("CCD_EXPOSURE=3", "CCD_IMAGE=3", "CCD_ABORT_EXPOSURE=1"));
}

TEST(CcdBase, SettingsAndConfigAreAcknowledgedOnlyWhileConnected) {
    RecordingClient client("settings");
    indigo_attach_client(&client.client);
    Collector events(client);
    FixtureCamera camera("Fixture Settings Camera");
    indigo_attach_device(&camera.device);
    client.take();

    // Before connecting: the frame is not defined, so the base leaves it alone.
    setNumber(&client.client, "Fixture Settings Camera", CCD_FRAME_PROPERTY_NAME, CCD_FRAME_WIDTH_ITEM_NAME, 640);
    EXPECT_TRUE(client.take().empty());

    const char* load[] = {CONFIG_LOAD_ITEM_NAME};
    const bool on[] = {true};
    indigo_change_switch_property(&client.client, "Fixture Settings Camera", CONFIG_PROPERTY_NAME, 1, load, on);
    std::vector<BusEvent> seen = client.take();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].brief(), "update Fixture Settings Camera.CONFIG");
    EXPECT_EQ(seen[0].state, INDIGO_OK_STATE);
    EXPECT_FALSE(seen[0].record->items[0].sw.value);

    connect(&client.client, "Fixture Settings Camera", true);
    events.until(is("update", "CONNECTION", INDIGO_OK_STATE));
    setNumber(&client.client, "Fixture Settings Camera", CCD_FRAME_PROPERTY_NAME, CCD_FRAME_WIDTH_ITEM_NAME, 640);
    seen = client.take();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].state, INDIGO_OK_STATE);
    EXPECT_EQ(seen[0].record->items[2].number.value, 640);

    // Read-only and hidden properties are not the client's to change.
    setNumber(&client.client, "Fixture Settings Camera", CCD_INFO_PROPERTY_NAME, CCD_INFO_WIDTH_ITEM_NAME, 1);
    setNumber(&client.client, "Fixture Settings Camera", CCD_STREAMING_PROPERTY_NAME, CCD_STREAMING_COUNT_ITEM_NAME, 5);
    EXPECT_TRUE(client.take().empty());

    // An enumeration while connected defines the CCD properties again, a shown
    // CCD_STREAMING among them.
    indigo_device* device = &camera.device;
    CCD_STREAMING_PROPERTY->hidden = false;
    indigo_enumerate_properties(&client.client, nullptr);
    EXPECT_THAT(names(client.take(), "define"),
                ElementsAre("CONNECTION", "INFO", "CONFIG", "CCD_INFO", "CCD_MODE", "CCD_BIN", "CCD_FRAME",
                            "CCD_EXPOSURE", "CCD_ABORT_EXPOSURE", "CCD_STREAMING", "CCD_IMAGE_FORMAT", "CCD_IMAGE"));
}

TEST(FocuserBase, ConnectsAndLeavesMovesToTheDriver) {
    RecordingClient client("focuser window");
    indigo_attach_client(&client.client);
    FixtureFocuser focuser("Fixture Camera (focuser)");
    ASSERT_EQ(indigo_attach_device(&focuser.device), INDIGO_OK);
    std::vector<BusEvent> seen = client.take();
    EXPECT_THAT(names(seen, "define"), ElementsAre("CONNECTION", "INFO", "CONFIG"));
    EXPECT_STREQ(seen[1].record->items[2].text.value, "8");

    connect(&client.client, "Fixture Camera (focuser)", true);
    seen = client.take();
    EXPECT_THAT(names(seen, "define"), ElementsAre("FOCUSER_SPEED", "FOCUSER_DIRECTION", "FOCUSER_STEPS",
                                                   "FOCUSER_POSITION", "FOCUSER_ABORT_MOTION"));
    EXPECT_EQ(seen.back().brief(), "update Fixture Camera (focuser).CONNECTION");

    setNumber(&client.client, "Fixture Camera (focuser)", FOCUSER_SPEED_PROPERTY_NAME, FOCUSER_SPEED_ITEM_NAME, 3);
    const char* outward[] = {FOCUSER_DIRECTION_MOVE_OUTWARD_ITEM_NAME};
    const bool on[] = {true};
    indigo_change_switch_property(&client.client, "Fixture Camera (focuser)", FOCUSER_DIRECTION_PROPERTY_NAME, 1,
                                  outward, on);
    seen = client.take();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].record->items[0].number.value, 3);
    EXPECT_FALSE(seen[1].record->items[0].sw.value);
    EXPECT_TRUE(seen[1].record->items[1].sw.value);

    setNumber(&client.client, "Fixture Camera (focuser)", FOCUSER_STEPS_PROPERTY_NAME, FOCUSER_STEPS_ITEM_NAME, 100);
    EXPECT_TRUE(client.take().empty());

    ASSERT_EQ(indigo_detach_device(&focuser.device), INDIGO_OK);
    EXPECT_THAT(names(client.take(), "delete"),
                ElementsAre("FOCUSER_SPEED", "FOCUSER_DIRECTION", "FOCUSER_STEPS", "FOCUSER_POSITION",
                            "FOCUSER_ABORT_MOTION", "CONNECTION", "INFO", "CONFIG"));
}

TEST(DeviceBase, DisconnectAsksTheDeviceLikeAClient) {
    RecordingClient client("disconnect");
    indigo_attach_client(&client.client);
    FixtureFocuser focuser("Fixture Disconnect");
    indigo_attach_device(&focuser.device);
    connect(&client.client, "Fixture Disconnect", true);
    client.take();
    EXPECT_EQ(indigo_device_disconnect(nullptr, "Fixture Disconnect"), INDIGO_OK);
    const std::vector<BusEvent> seen = client.take();
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back().brief(), "update Fixture Disconnect.CONNECTION");
    EXPECT_TRUE(seen.back().record->items[1].sw.value);
    EXPECT_EQ(names(seen, "delete").size(), 5u);
}

} // namespace
