// Adding, loading and removing drivers.

#include "bus_fixtures.h"
#include "indigo/indigo_driver.h"
#include "indigo/indigo_log.h"

#include <atomic>
#include <chrono>
#include <dlfcn.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using namespace indigo_test;
using testing::ElementsAre;

namespace {

std::atomic<int> initCount{0};
std::atomic<int> shutdownCount{0};

indigo_result countingDriver(indigo_driver_action action, indigo_driver_info* info) {
    if (info != nullptr) {
        indigo_copy_name(info->name, "indigo_counting");
        indigo_copy_name(info->description, "Counting driver");
    }
    if (action == INDIGO_DRIVER_INIT) initCount++;
    if (action == INDIGO_DRIVER_SHUTDOWN) shutdownCount++;
    return INDIGO_OK;
}

indigo_result failingDriver(indigo_driver_action action, indigo_driver_info*) {
    return action == INDIGO_DRIVER_INIT ? INDIGO_FAILED : INDIGO_OK;
}

int occupiedSlots() {
    int count = 0;
    for (const indigo_driver_entry& entry : indigo_available_drivers)
        count += entry.driver != nullptr;
    return count;
}

TEST(Drivers, AddingTheSameEntryTwiceInitialisesItOnce) {
    indigo_driver_entry* first = nullptr;
    indigo_driver_entry* second = nullptr;
    ASSERT_EQ(indigo_add_driver(countingDriver, true, &first), INDIGO_OK);
    ASSERT_EQ(indigo_add_driver(countingDriver, true, &second), INDIGO_OK);
    EXPECT_EQ(indigo_add_driver(countingDriver, true, nullptr), INDIGO_OK);
    EXPECT_EQ(initCount, 1);
    EXPECT_EQ(first, second);
    EXPECT_STREQ(first->name, "indigo_counting");
    EXPECT_STREQ(first->description, "Counting driver");
    EXPECT_TRUE(first->initialized);
    EXPECT_EQ(first->dl_handle, nullptr);
    EXPECT_EQ(occupiedSlots(), 1);

    EXPECT_EQ(indigo_remove_driver(first), INDIGO_OK);
    EXPECT_EQ(shutdownCount, 1);
    EXPECT_EQ(first->driver, nullptr);
    EXPECT_EQ(indigo_remove_driver(first), INDIGO_FAILED); // the slot is free now
    indigo_driver_entry stray{};
    EXPECT_EQ(indigo_remove_driver(&stray), INDIGO_FAILED);
    EXPECT_EQ(indigo_remove_driver(nullptr), INDIGO_FAILED);
}

TEST(Drivers, ADriverThatFailsToInitialiseLeavesNoSlot) {
    indigo_driver_entry* entry = nullptr;
    EXPECT_EQ(indigo_add_driver(failingDriver, true, &entry), INDIGO_FAILED);
    EXPECT_EQ(occupiedSlots(), 0);
    // Without initialisation it only takes a slot.
    ASSERT_EQ(indigo_add_driver(failingDriver, false, &entry), INDIGO_OK);
    EXPECT_FALSE(entry->initialized);
    EXPECT_EQ(indigo_remove_driver(entry), INDIGO_OK);
}

template <int N>
indigo_result numberedDriver(indigo_driver_action, indigo_driver_info*) {
    return INDIGO_OK;
}

template <int... N>
std::vector<driver_entry_point> numberedDrivers(std::integer_sequence<int, N...>) {
    return {numberedDriver<N>...};
}

TEST(Drivers, AFullTableRefusesTheNextDriver) {
    const std::vector<driver_entry_point> drivers =
        numberedDrivers(std::make_integer_sequence<int, INDIGO_MAX_DRIVERS + 1>());
    std::vector<indigo_driver_entry*> entries;
    for (int i = 0; i < INDIGO_MAX_DRIVERS; ++i) {
        indigo_driver_entry* entry = nullptr;
        ASSERT_EQ(indigo_add_driver(drivers[i], false, &entry), INDIGO_OK) << i;
        entries.push_back(entry);
    }
    indigo_log_message_handler = [](const char*) {
    };
    EXPECT_EQ(indigo_add_driver(drivers.back(), false, nullptr), INDIGO_FAILED);
    indigo_log_message_handler = nullptr;
    for (indigo_driver_entry* entry : entries)
        EXPECT_EQ(indigo_remove_driver(entry), INDIGO_OK);
    EXPECT_EQ(occupiedSlots(), 0);
}

TEST(Drivers, ALoadedLibraryDefinesItsDeviceAndUnloadsWithItsDeletesSeen) {
    RecordingClient client("driver watcher");
    indigo_attach_client(&client.client);
    indigo_driver_entry* entry = nullptr;
    ASSERT_EQ(indigo_load_driver(FIXTURE_DRIVER_PATH, true, &entry), INDIGO_OK);
    ASSERT_NE(entry, nullptr);
    EXPECT_STREQ(entry->name, "indigo_test_fixture_driver");
    EXPECT_STREQ(entry->description, "Fixture Driver");
    EXPECT_NE(entry->dl_handle, nullptr);
    const std::vector<BusEvent> defined = client.take();
    ASSERT_EQ(defined.size(), 1u);
    EXPECT_EQ(defined[0].brief(), "define Fixture Driver Device.STATUS");
    EXPECT_STREQ(defined[0].record->items[0].text.value, "loaded");

    // Loading it again changes nothing.
    indigo_driver_entry* again = nullptr;
    EXPECT_EQ(indigo_load_driver(FIXTURE_DRIVER_PATH, true, &again), INDIGO_OK);
    EXPECT_EQ(again, entry);
    EXPECT_TRUE(client.take().empty());

    ASSERT_EQ(indigo_remove_driver(entry), INDIGO_OK);
    EXPECT_THAT(client.briefs(), ElementsAre("delete Fixture Driver Device.STATUS"));
    EXPECT_EQ(dlopen(FIXTURE_DRIVER_PATH, RTLD_NOW | RTLD_NOLOAD), nullptr) << "library still mapped";
    EXPECT_EQ(occupiedSlots(), 0);
}

TEST(Drivers, ALibraryThatCannotBeLoadedIsReported) {
    std::vector<std::string> errors;
    static std::vector<std::string>* sink = &errors;
    indigo_log_message_handler = [](const char* message) {
        sink->emplace_back(message);
    };
    indigo_driver_entry* entry = nullptr;
    EXPECT_EQ(indigo_load_driver("/nonexistent/indigo_missing_driver", true, &entry), INDIGO_FAILED);
    EXPECT_EQ(indigo_load_driver("", true, &entry), INDIGO_FAILED);
    EXPECT_EQ(indigo_load_driver(nullptr, true, &entry), INDIGO_FAILED);
    indigo_log_message_handler = nullptr;
    EXPECT_EQ(entry, nullptr);
    ASSERT_FALSE(errors.empty());
    EXPECT_NE(errors[0].find("/nonexistent/indigo_missing_driver.so"), std::string::npos);
    EXPECT_EQ(occupiedSlots(), 0);
}

} // namespace
