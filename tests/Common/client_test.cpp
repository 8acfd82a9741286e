// The client core over the in-process bus: start-up, the model kept in step with a real
// device's events, and the fan-out to the delegates.

#include "Common/indigo.h"
#include "indigo/indigo_log.h"
#include "platform/system_log.h"
#include "support/client_fixture.h"

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>

using namespace test_support;

TEST_F(Client, ConnectedFollowsTheConnectionSwitch) {
    struct Case {
        const char* what;
        indigo_property_state defineState;
        bool defineOn;
        bool connectedAfterDefine;
        indigo_property_state updateState;
        bool updateOn;
        bool connectedAfterUpdate;
    };
    const Case cases[] = {
        {"busy define, busy update", INDIGO_BUSY_STATE, true, false, INDIGO_BUSY_STATE, true, true},
        {"ok define", INDIGO_OK_STATE, true, true, INDIGO_OK_STATE, false, false},
        {"alert define", INDIGO_ALERT_STATE, true, false, INDIGO_ALERT_STATE, true, true},
        {"ok define, off", INDIGO_OK_STATE, false, false, INDIGO_IDLE_STATE, true, true},
    };
    start();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto* connection = switchProperty(c.what, "CONNECTION", "Main",
                                          {{"CONNECTED", c.defineOn}, {"DISCONNECTED", !c.defineOn}}, c.defineState);
        FixtureDevice& device = attach(c.what, {connection});
        const auto held = indigo->device(c.what);
        ASSERT_NE(held, nullptr);
        EXPECT_EQ(held->connected(), c.connectedAfterDefine);
        EXPECT_EQ(held->connectionProperty(), held->property("CONNECTION"));

        connection->state = c.updateState;
        connection->items[0].sw.value = c.updateOn;
        connection->items[1].sw.value = !c.updateOn;
        // The flag is set before the delegates hear of the update.
        bool seen = !c.connectedAfterUpdate;
        controller.onProperty = [&](const std::string& kind, const std::shared_ptr<INDIGO::Property>& property) {
            if (kind == "update") seen = property->device()->connected();
        };
        device.update(connection);
        controller.onProperty = nullptr;
        EXPECT_EQ(held->connected(), c.connectedAfterUpdate);
        EXPECT_EQ(seen, c.connectedAfterUpdate);
    }
}

TEST_F(Client, EventsReachEveryDelegateInRegistrationOrder) {
    RecordingController& second = addController("second");
    std::vector<std::string> order;
    std::mutex mutex;
    controller.onProperty = [&](const std::string& kind, const std::shared_ptr<INDIGO::Property>&) {
        std::lock_guard lock(mutex);
        order.push_back("first " + kind);
    };
    second.onProperty = [&](const std::string& kind, const std::shared_ptr<INDIGO::Property>&) {
        std::lock_guard lock(mutex);
        order.push_back("second " + kind);
    };
    start();
    auto* position = numberProperty("Focuser", "FOCUSER_POSITION", "Focuser", {{"POSITION", 100}});
    FixtureDevice& device = attach("Focuser", {position});
    device.update(position);
    device.remove(position);
    EXPECT_EQ(order, (std::vector<std::string>{"first define", "second define", "first update", "second update",
                                               "first delete", "second delete"}));

    // Assigned twice, a controller hears everything twice.
    second.setIndigo(indigo);
    device.define(position);
    EXPECT_EQ(
        second.events(),
        (std::vector<std::string>{"second:initialize", "second:define Focuser.FOCUSER_POSITION",
                                  "second:update Focuser.FOCUSER_POSITION", "second:delete Focuser.FOCUSER_POSITION",
                                  "second:define Focuser.FOCUSER_POSITION", "second:define Focuser.FOCUSER_POSITION"}));
    controller.onProperty = nullptr;
    second.onProperty = nullptr;
}

TEST_F(Client, ARepeatedDefinitionChangesNothingButItsMessageIsLogged) {
    start();
    auto* position = numberProperty("Focuser", "FOCUSER_POSITION", "Focuser", {{"POSITION", 100}});
    FixtureDevice& device = attach("Focuser", {position});
    const auto first = indigo->device("Focuser")->property("FOCUSER_POSITION");

    auto* other = numberProperty("Focuser", "FOCUSER_POSITION", "Elsewhere", {{"OTHER", 1}});
    device.add(other);
    device.define(other, "defined again");
    const auto held = indigo->device("Focuser");
    EXPECT_EQ(held->property("FOCUSER_POSITION"), first);
    EXPECT_EQ(first->property(), position) << "the record reference is not replaced";
    EXPECT_EQ(held->group("Elsewhere"), nullptr);
    EXPECT_EQ(controller.events(), (std::vector<std::string>{"initialize", "define Focuser.FOCUSER_POSITION"}));
    EXPECT_TRUE(indigo->messages().back().ends_with(" defined again"));
}

TEST_F(Client, DeletionsEmptyGroupsAndDevicesBeforeTheDelegatesHear) {
    start();
    auto* connection = switchProperty("Camera", "CONNECTION", "Main", {{"CONNECTED", true}});
    auto* info = textProperty("Camera", "INFO", "Main", {{"DEVICE_NAME", "Camera"}});
    auto* exposure = numberProperty("Camera", "CCD_EXPOSURE", "Camera", {{"EXPOSURE", 1}});
    FixtureDevice& device = attach("Camera", {connection, info, exposure});
    const auto held = indigo->device("Camera");
    ASSERT_EQ(held->groups().size(), 2u);

    // Deleting CONNECTION alone leaves the flag and the remembered property as they were.
    const auto connectionProperty = held->connectionProperty();
    device.remove(connection);
    EXPECT_EQ(held->connectionProperty(), connectionProperty);
    EXPECT_TRUE(connectionProperty->deleted());
    EXPECT_TRUE(held->connected());
    device.define(connection);
    EXPECT_NE(held->connectionProperty(), connectionProperty) << "a new definition is remembered";

    // One of two properties of a group: the group stays.
    device.remove(info);
    EXPECT_NE(held->group("Main"), nullptr);
    // The last of its group: the group goes.
    device.remove(exposure);
    EXPECT_EQ(held->group("Camera"), nullptr);
    EXPECT_EQ(propertyNames("Camera"), std::vector<std::string>{"CONNECTION"});

    // Deleting everything: one delete per property, the device is gone before the last is told.
    device.define(info);
    device.define(exposure);
    std::vector<std::string> deleted;
    bool deviceGoneAtLast = false;
    controller.onProperty = [&](const std::string& kind, const std::shared_ptr<INDIGO::Property>& property) {
        if (kind != "delete") return;
        deleted.push_back(property->name());
        deviceGoneAtLast = indigo->device("Camera") == nullptr;
        EXPECT_EQ(property->device()->property(property->name()), nullptr) << "already out of the model";
    };
    device.remove(nullptr);
    controller.onProperty = nullptr;
    std::sort(deleted.begin(), deleted.end());
    EXPECT_EQ(deleted, (std::vector<std::string>{"CCD_EXPOSURE", "CONNECTION", "INFO"}));
    EXPECT_TRUE(deviceGoneAtLast);
    EXPECT_TRUE(held->groups().empty());
    EXPECT_EQ(indigo->device("Camera"), nullptr);
    // The flag keeps its last value; the device gone, it forgets its connection property.
    EXPECT_TRUE(held->connected());
    EXPECT_EQ(held->connectionProperty(), nullptr);
}

TEST_F(Client, EventsForWhatTheModelDoesNotHoldAreDropped) {
    start();
    auto* known = numberProperty("Known", "VALUE", "Main", {{"X", 1}});
    FixtureDevice& device = attach("Known", {known});
    // Updates and deletions the model never saw defined: the bus delivers them, nobody hears.
    FixtureDevice early("Early");
    auto* unseen = early.add(numberProperty("Early", "VALUE", "Main", {{"X", 1}}));
    indigo->updateProperty(unseen);
    indigo->deleteProperty(unseen);
    auto* stranger = numberProperty("Known", "OTHER", "Main", {{"X", 1}});
    device.add(stranger);
    indigo->updateProperty(stranger);
    indigo->deleteProperty(stranger);
    indigo->defineProperty(nullptr);

    EXPECT_EQ(indigo->device("Early"), nullptr) << "no empty device is made";
    EXPECT_EQ(indigo->devices().size(), 1u);
    EXPECT_EQ(propertyNames("Known"), std::vector<std::string>{"VALUE"});
    EXPECT_EQ(controller.events(), (std::vector<std::string>{"initialize", "define Known.VALUE"}));
}

TEST_F(Client, ABLOBUpdateResetsTheCachesBeforeAnyDelegateReads) {
    RecordingController& second = addController("second");
    start();
    auto* image = blobProperty("Camera", "CCD_IMAGE", "Camera", "IMAGE");
    FixtureDevice& device = attach("Camera", {image});
    std::vector<std::vector<std::uint8_t>> firstSaw, secondSaw;
    const auto reader = [](std::vector<std::vector<std::uint8_t>>& saw) {
        return [&saw](const std::string& kind, const std::shared_ptr<INDIGO::Property>& property) {
            if (kind != "update") return;
            const zeta::platform::Data bytes = property->item<INDIGO::BLOBItem>("IMAGE")->value();
            saw.emplace_back(bytes.bytes(), bytes.bytes() + bytes.length());
        };
    };
    controller.onProperty = reader(firstSaw);
    second.onProperty = reader(secondSaw);
    std::vector<std::uint8_t> frames[3] = {{1}, {2, 2}, {3, 3, 3}};
    for (auto& frame : frames) {
        image->items[0].blob.value = frame.data();
        image->items[0].blob.size = static_cast<std::int64_t>(frame.size());
        device.update(image);
    }
    controller.onProperty = nullptr;
    second.onProperty = nullptr;
    const std::vector<std::vector<std::uint8_t>> expected(std::begin(frames), std::end(frames));
    EXPECT_EQ(firstSaw, expected);
    EXPECT_EQ(secondSaw, expected);
}

TEST_F(Client, MessagesOfTheBusAreLoggedAfterTheModelStep) {
    start();
    auto* position = numberProperty("Focuser", "FOCUSER_POSITION", "Focuser", {{"POSITION", 100}});
    FixtureDevice& device = attach("Focuser", {position});
    std::size_t logSizeDuringUpdate = 0;
    controller.onProperty = [&](const std::string& kind, const std::shared_ptr<INDIGO::Property>&) {
        if (kind == "update") logSizeDuringUpdate = indigo->messageCount();
    };
    const std::size_t before = indigo->messageCount();
    device.update(position, "Focuser moved");
    controller.onProperty = nullptr;
    EXPECT_EQ(logSizeDuringUpdate, before);
    indigo_send_message(&device.device, "[INFO] Setting current filter");
    indigo_send_message(&device.device, "not \xff UTF-8");
    device.update(position, "");
    indigo_error("bus says \xc3 half a character");
    const auto messages = controller.messages();
    ASSERT_GE(messages.size(), 4u);
    const std::vector<std::string> tail(messages.end() - 4, messages.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"Focuser moved", "[INFO] Setting current filter", "",
                                              "bus says \xef\xbf\xbd half a character"}));
}

TEST_F(Client, ADelegateMayRaiseAnEventFromInsideOne) {
    start();
    auto* position = numberProperty("Focuser", "FOCUSER_POSITION", "Focuser", {{"POSITION", 100}});
    FixtureDevice& device = attach("Focuser", {position});
    auto* extra = device.add(numberProperty("Focuser", "EXTRA", "Focuser", {{"X", 1}}));
    controller.onProperty = [&](const std::string& kind, const std::shared_ptr<INDIGO::Property>&) {
        if (kind == "update") indigo->defineProperty(extra); // on indigoSyncQueue itself
    };
    device.update(position);
    controller.onProperty = nullptr;
    EXPECT_EQ(propertyNames("Focuser"), (std::vector<std::string>{"EXTRA", "FOCUSER_POSITION"}));
}

TEST_F(Client, ADeletedPropertyStaysReadableAfterItsDeviceIsGone) {
    start();
    std::shared_ptr<INDIGO::Property> kept;
    {
        FixtureDevice device("Wheel");
        device.add(numberProperty("Wheel", "WHEEL_SLOT", "Wheel", {{"SLOT", 3}}));
        device.attach();
        kept = indigo->device("Wheel")->property("WHEEL_SLOT");
    } // detached: the property is deleted and the device frees its record
    ASSERT_TRUE(kept->deleted());
    EXPECT_EQ(kept->item<INDIGO::NumberItem>("SLOT")->value(), 3);
    EXPECT_EQ(kept->device()->name(), "Wheel");
    EXPECT_EQ(indigo->device("Wheel"), nullptr);
}

TEST_F(Client, ConcurrentEventsFromManyThreadsKeepTheModelWhole) {
    start();
    constexpr int kDevices = 4;
    constexpr int kRounds = 50;
    std::vector<std::thread> threads;
    std::atomic<int> defined{0};
    controller.onProperty = [&](const std::string& kind, const std::shared_ptr<INDIGO::Property>&) {
        if (kind == "define") defined++;
    };
    for (int d = 0; d < kDevices; ++d) {
        threads.emplace_back([d] {
            const std::string name = "Device " + std::to_string(d);
            FixtureDevice device(name.c_str());
            auto* a = device.add(numberProperty(name.c_str(), "A", "G", {{"X", 1}}));
            auto* b = device.add(numberProperty(name.c_str(), "B", "G", {{"X", 1}}));
            device.attach();
            for (int round = 0; round < kRounds; ++round) {
                device.update(a);
                device.remove(b);
                device.define(b);
            }
        });
    }
    for (int i = 0; i < 200; ++i) {
        for (const auto& [name, device] : indigo->devices())
            for (const auto& [property, held] : device->properties())
                (void)held->state();
    }
    for (auto& thread : threads)
        thread.join();
    controller.onProperty = nullptr;
    EXPECT_EQ(defined.load(), kDevices * (2 + kRounds));
    EXPECT_TRUE(indigo->devices().empty()) << "every device detached";
}

TEST(BaseController, BusyTokenAndDefaults) {
    BaseController controller;
    EXPECT_EQ(controller.indigo(), nullptr);
    EXPECT_TRUE(controller.canQuit());
    EXPECT_TRUE(controller.tryLock());
    EXPECT_FALSE(controller.tryLock());
    EXPECT_FALSE(controller.tryLock());
    controller.unlock();
    EXPECT_TRUE(controller.tryLock());
    std::thread other([&] { controller.unlock(); });
    controller.lock(); // waits for the other thread's unlock
    other.join();
    EXPECT_FALSE(controller.tryLock());

    // A controller that replaces nothing takes every event without effect.
    auto indigo = std::make_shared<INDIGO>();
    controller.setIndigo(indigo);
    EXPECT_EQ(indigo->delegates(), std::vector<INDIGODelegate*>{&controller});
    zeta::platform::setSystemLogHandler([](std::string_view) {});
    indigo->startWithLocalServer(false, false);
    FixtureDevice device("Camera");
    auto* value = device.add(numberProperty("Camera", "VALUE", "Main", {{"X", 1}}));
    device.attach();
    device.update(value);
    device.remove(value);
    indigo->message("note");
    controller.loadPreferences();
    controller.savePreferences();
    controller.addDriver(nullptr);
    controller.updateServices();
    device.detach();
    zeta::platform::setSystemLogHandler({});
}
