// Clients and devices meeting on the bus: fan-out, routing, enumeration, re-entry,
// detaching and the life of property records.

#include "bus_fixtures.h"
#include "indigo/bus/indigo_timer_internal.h"
#include "indigo/indigo_timer.h"

#include <chrono>
#include <condition_variable>
#include <future>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace indigo_test;
using testing::ElementsAre;
using testing::IsEmpty;

namespace {

TEST(Bus, TwoClientsGetDefineUpdateDeleteInPostingOrder) {
    RecordingClient first("first");
    RecordingClient second("second");
    ASSERT_EQ(indigo_attach_client(&first.client), INDIGO_OK);
    ASSERT_EQ(indigo_attach_client(&second.client), INDIGO_OK);
    NumberDevice device("Fixture A");
    ASSERT_EQ(indigo_attach_device(&device.device), INDIGO_OK);
    indigo_property* extra = indigo_init_switch_property(nullptr, "Fixture A", "EXTRA", "Main", "Extra",
                                                         INDIGO_IDLE_STATE, INDIGO_RW_PERM, INDIGO_ONE_OF_MANY_RULE, 1);
    indigo_init_switch_item(extra->items, "ON", "On", true);
    indigo_define_property(&device.device, extra, "hello");
    for (int i = 0; i < 3; ++i) {
        device.value->items[0].number.value = i;
        device.value->state = INDIGO_BUSY_STATE;
        indigo_update_property(&device.device, device.value, nullptr);
    }
    indigo_delete_property(&device.device, extra, "bye");
    indigo_release_property(extra);

    const std::vector<std::string> expected = {"define Fixture A.VALUE", "define Fixture A.EXTRA",
                                               "update Fixture A.VALUE", "update Fixture A.VALUE",
                                               "update Fixture A.VALUE", "delete Fixture A.EXTRA"};
    for (RecordingClient* client : {&first, &second}) {
        const std::vector<BusEvent> events = client->take();
        std::vector<std::string> briefs;
        for (const BusEvent& e : events)
            briefs.push_back(e.brief());
        EXPECT_EQ(briefs, expected);
        ASSERT_EQ(events.size(), expected.size());
        EXPECT_EQ(events[1].message, "hello");
        EXPECT_EQ(events[5].message, "bye");
        for (const BusEvent& e : events)
            EXPECT_EQ(e.thread, std::this_thread::get_id()); // synchronously, on the posting thread
    }
}

TEST(Bus, AttachRunsTheCallbackOnTheCallersThreadAndEnumeratesNothing) {
    NumberDevice device("Fixture Early");
    ASSERT_EQ(indigo_attach_device(&device.device), INDIGO_OK);
    RecordingClient client("late");
    ASSERT_EQ(indigo_attach_client(&client.client), INDIGO_OK);
    EXPECT_EQ(client.attachThread, std::this_thread::get_id());
    EXPECT_THAT(client.take(), IsEmpty());
    EXPECT_EQ(indigo_attach_client(&client.client), INDIGO_FAILED); // already attached

    ASSERT_EQ(indigo_detach_client(&client.client), INDIGO_OK);
    EXPECT_TRUE(client.detached);
    EXPECT_EQ(indigo_detach_client(&client.client), INDIGO_FAILED);
}

TEST(Bus, AChangeReachesOnlyTheNamedDevice) {
    RecordingClient client("changer");
    indigo_attach_client(&client.client);
    NumberDevice a("Fixture Route A");
    NumberDevice b("Fixture Route B");
    indigo_attach_device(&a.device);
    indigo_attach_device(&b.device);
    client.take();

    EXPECT_EQ(setNumber(&client.client, "Fixture Route B", "VALUE", "X", 42), INDIGO_OK);
    EXPECT_EQ(a.changes, 0);
    EXPECT_EQ(b.changes, 1);
    EXPECT_EQ(b.lastClient, &client.client);
    EXPECT_EQ(b.value->items[0].number.value, 42);
    EXPECT_THAT(client.briefs(), ElementsAre("update Fixture Route B.VALUE"));

    // An unknown device is not an error; nothing happens.
    EXPECT_EQ(setNumber(&client.client, "Nobody", "VALUE", "X", 1), INDIGO_OK);
    EXPECT_EQ(a.changes + b.changes, 1);
}

TEST(Bus, ChangeRequestsCopyTheCallersBuffersAndRejectBadShapes) {
    struct Seen {
        int count = -1;
        std::string item;
        std::string text;
    };
    static Seen seen;
    indigo_device device{};
    indigo_copy_name(device.name, "Fixture Text");
    device.change_property = [](indigo_device*, indigo_client*, indigo_property* request) {
        seen.count = request->count;
        if (request->count > 0) {
            seen.item = request->items[0].name;
            seen.text = request->items[0].text.value;
        }
        return INDIGO_OK;
    };
    ASSERT_EQ(indigo_attach_device(&device), INDIGO_OK);

    char name[INDIGO_NAME_SIZE] = "ITEM";
    char text[INDIGO_VALUE_SIZE] = "20\xC2\xB0"
                                   "C";
    const char* items[] = {name};
    const char* values[] = {text};
    EXPECT_EQ(indigo_change_text_property(nullptr, "Fixture Text", "T", 1, items, values), INDIGO_OK);
    EXPECT_EQ(seen.item, "ITEM");
    EXPECT_EQ(seen.text, "20\xC2\xB0"
                         "C");

    EXPECT_EQ(indigo_change_text_property(nullptr, "Fixture Text", "T", 0, nullptr, nullptr), INDIGO_OK);
    EXPECT_EQ(seen.count, 0); // count 0 is a request too

    const std::string longText(2000, 'y');
    const std::string longName(300, 'n');
    const char* longItems[] = {longName.c_str()};
    const char* longValues[] = {longText.c_str()};
    EXPECT_EQ(indigo_change_text_property(nullptr, "Fixture Text", "T", 1, longItems, longValues), INDIGO_OK);
    EXPECT_EQ(seen.item.size(), 127u);
    EXPECT_EQ(seen.text.size(), 511u);

    seen.count = -1;
    const char* unnamed[] = {nullptr};
    EXPECT_EQ(indigo_change_text_property(nullptr, "Fixture Text", "T", 1, unnamed, values), INDIGO_FAILED);
    EXPECT_EQ(indigo_change_text_property(nullptr, "Fixture Text", "T", 1, nullptr, values), INDIGO_FAILED);
    EXPECT_EQ(indigo_change_text_property(nullptr, "Fixture Text", "T", -1, items, values), INDIGO_FAILED);
    EXPECT_EQ(indigo_change_text_property(nullptr, "Fixture Text", "", 1, items, values), INDIGO_FAILED);
    EXPECT_EQ(indigo_change_text_property(nullptr, nullptr, "T", 1, items, values), INDIGO_FAILED);
    EXPECT_EQ(seen.count, -1);
    indigo_detach_device(&device);
}

TEST(Bus, DeleteWithAnEmptyNameWithdrawsEveryPropertyOfTheDevice) {
    RecordingClient client("watcher");
    indigo_attach_client(&client.client);
    NumberDevice device("Fixture Many");
    indigo_attach_device(&device.device);
    indigo_property* other =
        indigo_init_text_property(nullptr, "Fixture Many", "OTHER", "", "", INDIGO_IDLE_STATE, INDIGO_RO_PERM, 0);
    indigo_define_property(&device.device, other, nullptr);
    client.take();

    indigo_property* all =
        indigo_init_text_property(nullptr, "Fixture Many", "", "", "", INDIGO_IDLE_STATE, INDIGO_RO_PERM, 0);
    EXPECT_EQ(indigo_delete_property(&device.device, all, "gone"), INDIGO_OK);
    const std::vector<BusEvent> events = client.take();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].brief(), "delete Fixture Many.");
    EXPECT_EQ(events[0].message, "gone");

    // Both records are off the bus now: their updates and deletes go nowhere.
    indigo_update_property(&device.device, device.value, nullptr);
    indigo_update_property(&device.device, other, nullptr);
    indigo_delete_property(&device.device, other, nullptr);
    EXPECT_THAT(client.briefs(), IsEmpty());

    // A NULL record means the same; the bus names the device itself.
    indigo_define_property(&device.device, other, nullptr);
    client.take();
    indigo_delete_property(&device.device, nullptr, nullptr);
    EXPECT_THAT(client.briefs(), ElementsAre("delete Fixture Many."));
    indigo_release_property(all);
    indigo_release_property(other);
}

TEST(Bus, UpdatesOfUndefinedRecordsAreNotDelivered) {
    RecordingClient client("quiet");
    indigo_attach_client(&client.client);
    indigo_device device{};
    indigo_copy_name(device.name, "Fixture Hidden");
    indigo_property* p =
        indigo_init_number_property(nullptr, "Fixture Hidden", "H", "", "", INDIGO_IDLE_STATE, INDIGO_RW_PERM, 0);
    EXPECT_EQ(indigo_update_property(&device, p, nullptr), INDIGO_OK);
    EXPECT_EQ(indigo_delete_property(&device, p, nullptr), INDIGO_OK);
    EXPECT_THAT(client.briefs(), IsEmpty());
    indigo_define_property(&device, p, nullptr);
    indigo_define_property(&device, p, nullptr); // defining again is delivered again
    indigo_update_property(&device, p, nullptr);
    indigo_delete_property(&device, p, nullptr);
    EXPECT_THAT(client.briefs(), ElementsAre("define Fixture Hidden.H", "define Fixture Hidden.H",
                                             "update Fixture Hidden.H", "delete Fixture Hidden.H"));
    EXPECT_EQ(indigo_update_property(&device, nullptr, nullptr), INDIGO_FAILED);
    indigo_release_property(p);
}

TEST(Bus, EnumerationDefinesAgainToTheAskingClientOnly) {
    RecordingClient asking("asking");
    RecordingClient other("other");
    NumberDevice a("Fixture Enum A");
    NumberDevice b("Fixture Enum B");
    indigo_attach_device(&a.device);
    indigo_attach_device(&b.device);
    indigo_attach_client(&asking.client);
    indigo_attach_client(&other.client);

    EXPECT_EQ(indigo_enumerate_properties(&asking.client, INDIGO_ALL_PROPERTIES), INDIGO_OK);
    std::vector<std::string> seen = asking.briefs();
    EXPECT_NE(std::find(seen.begin(), seen.end(), "define Fixture Enum A.VALUE"), seen.end());
    EXPECT_NE(std::find(seen.begin(), seen.end(), "define Fixture Enum B.VALUE"), seen.end());
    EXPECT_THAT(other.briefs(), IsEmpty());

    indigo_property* onlyB =
        indigo_init_text_property(nullptr, "Fixture Enum B", "", "", "", INDIGO_IDLE_STATE, INDIGO_RW_PERM, 0);
    indigo_enumerate_properties(&asking.client, onlyB);
    EXPECT_THAT(asking.briefs(), ElementsAre("define Fixture Enum B.VALUE"));
    indigo_release_property(onlyB);

    indigo_enumerate_properties(nullptr, nullptr); // no client: everyone hears it
    seen = other.briefs();
    EXPECT_NE(std::find(seen.begin(), seen.end(), "define Fixture Enum A.VALUE"), seen.end());
}

TEST(Bus, CallbacksMayReenterTheBusWithoutDeadlock) {
    RecordingClient client("reentrant");
    NumberDevice device("Fixture Reentry");
    indigo_attach_device(&device.device);
    indigo_attach_client(&client.client);
    std::atomic<int> depth{0};
    client.setOnEvent([&](const BusEvent& e) {
        // Each update asks for another change until the value reaches 5; the device's
        // answer arrives nested inside this callback.
        if (e.kind != "update" || depth > 10) return;
        ++depth;
        const double x = e.record->items[0].number.value;
        if (x < 5) setNumber(&client.client, "Fixture Reentry", "VALUE", "X", x + 1);
        indigo_enumerate_properties(&client.client, e.record);
        --depth;
    });
    auto done =
        std::async(std::launch::async, [&] { return setNumber(&client.client, "Fixture Reentry", "VALUE", "X", 1); });
    ASSERT_EQ(done.wait_for(std::chrono::seconds(10)), std::future_status::ready) << "bus deadlocked";
    EXPECT_EQ(device.value->items[0].number.value, 5);
    EXPECT_EQ(device.changes, 5);
    client.setOnEvent(nullptr);
}

TEST(Bus, AClientMayDetachItselfInsideItsOwnCallback) {
    RecordingClient client("leaving");
    NumberDevice device("Fixture Leave");
    indigo_attach_device(&device.device);
    indigo_attach_client(&client.client);
    client.setOnEvent([&](const BusEvent&) { EXPECT_EQ(indigo_detach_client(&client.client), INDIGO_OK); });
    auto done = std::async(std::launch::async, [&] { return setNumber(nullptr, "Fixture Leave", "VALUE", "X", 3); });
    ASSERT_EQ(done.wait_for(std::chrono::seconds(10)), std::future_status::ready) << "detach waited for itself";
    EXPECT_TRUE(client.detached);
    client.setOnEvent(nullptr);
    setNumber(nullptr, "Fixture Leave", "VALUE", "X", 4);
    EXPECT_EQ(client.take().size(), 1u); // nothing after the detach
}

TEST(Bus, DetachWaitsForACallbackRunningOnAnotherThread) {
    RecordingClient client("slow");
    NumberDevice device("Fixture Slow");
    indigo_attach_device(&device.device);
    indigo_attach_client(&client.client);
    std::promise<void> entered;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> finished{false};
    client.setOnEvent([&](const BusEvent&) {
        entered.set_value();
        released.wait();
        finished = true;
    });
    std::thread poster([&] { setNumber(nullptr, "Fixture Slow", "VALUE", "X", 1); });
    entered.get_future().wait();
    auto detaching = std::async(std::launch::async, [&] { return indigo_detach_client(&client.client); });
    EXPECT_EQ(detaching.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    release.set_value();
    EXPECT_EQ(detaching.get(), INDIGO_OK);
    EXPECT_TRUE(finished);
    poster.join();
    client.setOnEvent(nullptr);
}

// A device frees its properties in its detach callback: a change still running on another
// thread must have ended before that callback starts.
TEST(Bus, ADevicesDetachCallbackRunsAfterItsChangesInFlight) {
    static std::atomic<bool> changing{false};
    static std::atomic<bool> overlapped{false};
    static std::promise<void>* entered = nullptr;
    static std::shared_future<void>* released = nullptr;
    std::promise<void> enteredPromise;
    std::promise<void> release;
    std::shared_future<void> releasedFuture = release.get_future().share();
    entered = &enteredPromise;
    released = &releasedFuture;
    indigo_device device{};
    indigo_copy_name(device.name, "Fixture Busy");
    device.change_property = [](indigo_device*, indigo_client*, indigo_property*) {
        changing = true;
        entered->set_value();
        released->wait();
        changing = false;
        return INDIGO_OK;
    };
    device.detach = [](indigo_device*) {
        overlapped = changing.load();
        return INDIGO_OK;
    };
    ASSERT_EQ(indigo_attach_device(&device), INDIGO_OK);
    std::thread requester([] { setNumber(nullptr, "Fixture Busy", "VALUE", "X", 1); });
    enteredPromise.get_future().wait();
    auto detaching = std::async(std::launch::async, [&] { return indigo_detach_device(&device); });
    EXPECT_EQ(detaching.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    release.set_value();
    EXPECT_EQ(detaching.get(), INDIGO_OK);
    requester.join();
    EXPECT_FALSE(overlapped);
}

TEST(Bus, DetachingADeviceDeletesWhatItLeftDefinedAndCancelsItsTimers) {
    zeta::indigo::ManualTimerClock clock;
    RecordingClient client("observer");
    indigo_attach_client(&client.client);
    static std::atomic<int> fired{0};
    indigo_device device{};
    indigo_copy_name(device.name, "Fixture Careless");
    ASSERT_EQ(indigo_attach_device(&device), INDIGO_OK);
    indigo_property* a =
        indigo_init_text_property(nullptr, "Fixture Careless", "A", "", "", INDIGO_IDLE_STATE, INDIGO_RO_PERM, 0);
    indigo_property* b =
        indigo_init_text_property(nullptr, "Fixture Careless", "B", "", "", INDIGO_IDLE_STATE, INDIGO_RO_PERM, 0);
    indigo_define_property(&device, a, nullptr);
    indigo_define_property(&device, b, nullptr);
    indigo_retain_property(a);  // the client keeps reading A
    indigo_release_property(a); // the device lets both go without deleting them
    indigo_release_property(b);
    indigo_set_timer(&device, 0.2, [](indigo_device*) { fired++; });
    client.take();

    ASSERT_EQ(indigo_detach_device(&device), INDIGO_OK);
    EXPECT_THAT(client.briefs(), ElementsAre("delete Fixture Careless.A", "delete Fixture Careless.B"));
    EXPECT_STREQ(a->name, "A"); // still valid memory for the client holding it
    indigo_release_property(a);
    clock.advance(std::chrono::seconds(1));
    EXPECT_EQ(fired, 0);
    EXPECT_EQ(indigo_detach_device(&device), INDIGO_FAILED);
}

TEST(Bus, ARetainedRecordOutlivesItsDeleteAndRelease) {
    RecordingClient client("keeper");
    std::vector<indigo_property*> kept;
    client.setOnEvent([&](const BusEvent& e) {
        if (e.kind == "define") {
            indigo_retain_property(e.record);
            kept.push_back(e.record);
        }
    });
    indigo_attach_client(&client.client);
    indigo_device device{};
    indigo_copy_name(device.name, "Fixture Kept");
    indigo_property* p =
        indigo_init_number_property(nullptr, "Fixture Kept", "N", "", "", INDIGO_OK_STATE, INDIGO_RW_PERM, 1);
    indigo_init_number_item(p->items, "V", "V", 0, 10, 1, 7);
    indigo_define_property(&device, p, nullptr);
    indigo_delete_property(&device, p, nullptr);
    indigo_release_property(p);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0]->items[0].number.value, 7); // stale values, not freed memory
    indigo_release_property(kept[0]);
    client.setOnEvent(nullptr);
}

TEST(Bus, BlobModesFilterBlobUpdatesPerClientAndProperty) {
    RecordingClient wants("wants");
    RecordingClient refuses("refuses");
    indigo_attach_client(&wants.client);
    indigo_attach_client(&refuses.client);
    static std::vector<indigo_enable_blob_mode> told;
    told.clear();
    indigo_device device{};
    indigo_copy_name(device.name, "Fixture Blob");
    device.enable_blob = [](indigo_device*, indigo_client*, indigo_property*, indigo_enable_blob_mode mode) {
        told.push_back(mode);
        return INDIGO_OK;
    };
    indigo_attach_device(&device);
    indigo_property* image =
        indigo_init_blob_property(nullptr, "Fixture Blob", "CCD_IMAGE", "", "", INDIGO_OK_STATE, 1);
    indigo_init_blob_item(image->items, "IMAGE", "Image");
    indigo_property* preview =
        indigo_init_blob_property(nullptr, "Fixture Blob", "PREVIEW", "", "", INDIGO_OK_STATE, 1);
    indigo_define_property(&device, image, nullptr);
    indigo_define_property(&device, preview, nullptr);

    EXPECT_EQ(indigo_get_enable_blob_mode(&refuses.client, "Fixture Blob", "CCD_IMAGE"), INDIGO_ENABLE_BLOB_ALSO);
    indigo_enable_blob(&refuses.client, image, INDIGO_ENABLE_BLOB_NEVER);
    EXPECT_THAT(told, ElementsAre(INDIGO_ENABLE_BLOB_NEVER));
    wants.take();
    refuses.take();
    indigo_update_property(&device, image, nullptr);
    indigo_update_property(&device, preview, nullptr);
    EXPECT_THAT(wants.briefs(), ElementsAre("update Fixture Blob.CCD_IMAGE", "update Fixture Blob.PREVIEW"));
    EXPECT_THAT(refuses.briefs(), ElementsAre("update Fixture Blob.PREVIEW"));

    // The most specific record wins: the whole device off, one property back on by URL.
    indigo_property* whole = indigo_init_blob_property(nullptr, "Fixture Blob", "", "", "", INDIGO_OK_STATE, 0);
    indigo_enable_blob(&refuses.client, whole, INDIGO_ENABLE_BLOB_NEVER);
    indigo_enable_blob(&refuses.client, image, INDIGO_ENABLE_BLOB_URL);
    EXPECT_EQ(indigo_get_enable_blob_mode(&refuses.client, "Fixture Blob", "CCD_IMAGE"), INDIGO_ENABLE_BLOB_URL);
    EXPECT_EQ(indigo_get_enable_blob_mode(&refuses.client, "Fixture Blob", "PREVIEW"), INDIGO_ENABLE_BLOB_NEVER);
    EXPECT_EQ(indigo_get_enable_blob_mode(&refuses.client, "Elsewhere", "PREVIEW"), INDIGO_ENABLE_BLOB_ALSO);
    indigo_update_property(&device, image, nullptr);
    indigo_update_property(&device, preview, nullptr);
    EXPECT_THAT(refuses.briefs(), ElementsAre("update Fixture Blob.CCD_IMAGE"));

    // Detaching forgets the records, and a detached client cannot make new ones.
    indigo_detach_client(&refuses.client);
    EXPECT_EQ(refuses.client.enable_blob_mode_records, nullptr);
    EXPECT_EQ(indigo_enable_blob(&refuses.client, image, INDIGO_ENABLE_BLOB_NEVER), INDIGO_FAILED);
    EXPECT_EQ(refuses.client.enable_blob_mode_records, nullptr);
    indigo_detach_device(&device);
    indigo_release_property(image);
    indigo_release_property(preview);
    indigo_release_property(whole);
}

TEST(Bus, MessagesAreDataNeverFormats) {
    RecordingClient client("reader");
    indigo_attach_client(&client.client);
    NumberDevice device("Fixture Message");
    indigo_attach_device(&device.device);
    client.take();
    indigo_update_property(&device.device, device.value, "100% done %s%n");
    indigo_send_message(&device.device, "note %d");
    const std::vector<BusEvent> events = client.take();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].message, "100% done %s%n");
    EXPECT_EQ(events[1].kind, "message");
    EXPECT_EQ(events[1].device, "Fixture Message");
    EXPECT_EQ(events[1].message, "note %d");
}

TEST(Bus, AReadyRequestRecordIsRoutedByItsDeviceName) {
    NumberDevice device("Fixture Ready");
    indigo_attach_device(&device.device);
    indigo_property* request =
        indigo_init_number_property(nullptr, "Fixture Ready", "VALUE", "", "", INDIGO_IDLE_STATE, INDIGO_RW_PERM, 1);
    indigo_init_number_item(request->items, "X", "X", 0, 0, 0, 12);
    EXPECT_EQ(indigo_change_property(nullptr, request), INDIGO_OK);
    EXPECT_EQ(device.value->items[0].number.value, 12);
    indigo_copy_name(request->device, "");
    EXPECT_EQ(indigo_change_property(nullptr, request), INDIGO_FAILED);
    EXPECT_EQ(device.changes, 1);
    indigo_release_property(request);
}

TEST(Bus, AttachingTheSameDeviceTwiceFails) {
    NumberDevice device("Fixture Twice");
    EXPECT_EQ(indigo_attach_device(&device.device), INDIGO_OK);
    EXPECT_EQ(indigo_attach_device(&device.device), INDIGO_FAILED);
    EXPECT_EQ(indigo_attach_device(nullptr), INDIGO_FAILED);
    EXPECT_EQ(indigo_detach_device(nullptr), INDIGO_FAILED);
}

} // namespace
