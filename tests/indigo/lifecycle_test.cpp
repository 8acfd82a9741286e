// Stopping the bus: everything still attached is detached, pending timers are dropped,
// and the bus can be used again afterwards.

#include "bus_fixtures.h"
#include "indigo/bus/indigo_timer_internal.h"
#include "indigo/indigo_timer.h"

#include <atomic>
#include <chrono>
#include <future>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <thread>

using namespace indigo_test;
using testing::ElementsAre;

namespace {

TEST(Lifecycle, StopDetachesEverythingAndDropsPendingTimers) {
    zeta::indigo::ManualTimerClock clock;
    ASSERT_EQ(indigo_start(), INDIGO_OK);
    RecordingClient client("last");
    NumberDevice device("Fixture Stop");
    indigo_attach_client(&client.client);
    indigo_attach_device(&device.device);
    client.take();
    static std::atomic<int> fired{0};
    indigo_set_timer(nullptr, 0.2, [](indigo_device*) { fired++; });

    ASSERT_EQ(indigo_stop(), INDIGO_OK);
    EXPECT_THAT(client.briefs(), ElementsAre("delete Fixture Stop.VALUE"));
    EXPECT_TRUE(client.detached);
    EXPECT_EQ(setNumber(nullptr, "Fixture Stop", "VALUE", "X", 1), INDIGO_OK);
    EXPECT_EQ(device.changes, 0); // detached: no longer reachable
    clock.advance(std::chrono::seconds(1));
    EXPECT_EQ(fired, 0);

    // Started again, it works as before.
    ASSERT_EQ(indigo_start(), INDIGO_OK);
    ASSERT_EQ(indigo_attach_device(&device.device), INDIGO_OK);
    EXPECT_EQ(setNumber(nullptr, "Fixture Stop", "VALUE", "X", 2), INDIGO_OK);
    EXPECT_EQ(device.changes, 1);
    indigo_set_timer(nullptr, 0, [](indigo_device*) { fired++; });
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (fired == 0 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_EQ(fired, 1);
}

TEST(Lifecycle, StopIsRefusedOnABusWorker) {
    std::promise<indigo_result> result;
    indigo_async(
        [](void* data) -> void* {
            static_cast<std::promise<indigo_result>*>(data)->set_value(indigo_stop());
            return nullptr;
        },
        &result);
    EXPECT_EQ(result.get_future().get(), INDIGO_FAILED);
}

} // namespace
