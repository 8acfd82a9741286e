// Threads meeting on the bus: four threads update while two clients send changes and a
// timer is set and cancelled. Run under ThreadSanitizer it checks the bus's own locking;
// everywhere it checks that nothing is lost or deadlocks.

#include "bus_fixtures.h"
#include "indigo/indigo_timer.h"

#include <atomic>
#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

using namespace indigo_test;

namespace {

// A client that only counts, so that the test itself adds no shared state.
struct CountingClient {
    explicit CountingClient(const char* name) {
        indigo_copy_name(client.name, name);
        client.client_context = this;
        client.update_property = [](indigo_client* c, indigo_device*, indigo_property* p, const char*) {
            auto* self = static_cast<CountingClient*>(c->client_context);
            self->updates.fetch_add(1, std::memory_order_relaxed);
            // Read the record as a real client would: values may be mid-change, never freed.
            self->checksum.fetch_add(p->count, std::memory_order_relaxed);
            return INDIGO_OK;
        };
        client.define_property = [](indigo_client* c, indigo_device*, indigo_property*, const char*) {
            static_cast<CountingClient*>(c->client_context)->defines.fetch_add(1, std::memory_order_relaxed);
            return INDIGO_OK;
        };
    }
    ~CountingClient() { indigo_detach_client(&client); }
    indigo_client client{};
    std::atomic<long> updates{0};
    std::atomic<long> defines{0};
    std::atomic<long> checksum{0};
};

struct Target {
    indigo_device device{};
    indigo_property* property = nullptr;
    std::atomic<int> changes{0};
};

TEST(Stress, UpdatersClientsAndATimerRunTogether) {
    constexpr int kUpdaters = 4;
    constexpr int kUpdatesEach = 2000;
    constexpr int kChangesEach = 500;

    CountingClient first("first");
    CountingClient second("second");
    ASSERT_EQ(indigo_attach_client(&first.client), INDIGO_OK);
    ASSERT_EQ(indigo_attach_client(&second.client), INDIGO_OK);

    std::vector<std::unique_ptr<Target>> targets;
    for (int i = 0; i < kUpdaters; ++i) {
        auto target = std::make_unique<Target>();
        const std::string name = "Fixture Stress " + std::to_string(i);
        indigo_copy_name(target->device.name, name.c_str());
        target->device.private_data = target.get();
        target->property =
            indigo_init_number_property(nullptr, name.c_str(), "N", "", "", INDIGO_OK_STATE, INDIGO_RW_PERM, 1);
        indigo_init_number_item(target->property->items, "V", "V", 0, 1e9, 1, 0);
        // A change only counts: the updater thread owns the values.
        target->device.change_property = [](indigo_device* d, indigo_client*, indigo_property*) {
            static_cast<Target*>(d->private_data)->changes.fetch_add(1, std::memory_order_relaxed);
            return INDIGO_OK;
        };
        ASSERT_EQ(indigo_attach_device(&target->device), INDIGO_OK);
        indigo_define_property(&target->device, target->property, nullptr);
        targets.push_back(std::move(target));
    }

    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int i = 0; i < kUpdaters; ++i) {
        threads.emplace_back([&, i] {
            while (!go)
                std::this_thread::yield();
            Target& target = *targets[i];
            for (int n = 0; n < kUpdatesEach; ++n)
                indigo_update_property(&target.device, target.property, nullptr);
        });
    }
    for (CountingClient* sender : {&first, &second}) {
        threads.emplace_back([&, sender] {
            while (!go)
                std::this_thread::yield();
            for (int n = 0; n < kChangesEach; ++n) {
                const std::string device = "Fixture Stress " + std::to_string(n % kUpdaters);
                setNumber(&sender->client, device.c_str(), "N", "V", n);
            }
        });
    }
    static std::atomic<int> fired{0};
    indigo_device timerDevice{};
    go = true;
    indigo_timer* kept = indigo_set_timer(&timerDevice, 0.001, [](indigo_device*) { fired++; });
    indigo_timer* cancelled = indigo_set_timer(&timerDevice, 0.5, [](indigo_device*) { fired += 100; });
    EXPECT_TRUE(indigo_cancel_timer(&timerDevice, &cancelled));
    for (std::thread& thread : threads)
        thread.join();
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (fired == 0 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    indigo_cancel_timer(&timerDevice, &kept);

    EXPECT_EQ(fired, 1);
    for (CountingClient* client : {&first, &second}) {
        EXPECT_EQ(client->updates, kUpdaters * kUpdatesEach);
        EXPECT_EQ(client->checksum, kUpdaters * kUpdatesEach);
    }
    int changes = 0;
    for (auto& target : targets) {
        changes += target->changes;
        indigo_detach_device(&target->device);
        indigo_release_property(target->property);
    }
    EXPECT_EQ(changes, 2 * kChangesEach);
}

TEST(Stress, ACancelRacingTheFiringTellsTruthfullyWhetherTheCallbackRan) {
    static std::atomic<int> ran{0};
    indigo_device device{};
    int prevented = 0;
    constexpr int kTimers = 300;
    for (int i = 0; i < kTimers; ++i) {
        indigo_timer* timer = indigo_set_timer(&device, 0, [](indigo_device*) { ran++; });
        if (i % 3 == 0) std::this_thread::yield();
        prevented += indigo_cancel_timer(&device, &timer) ? 1 : 0;
    }
    // A cancel that did not prevent the callback waited for it, so the count is final.
    EXPECT_EQ(ran + prevented, kTimers);
}

TEST(Stress, ClientsComeAndGoWhileUpdatesFlow) {
    NumberDevice device("Fixture Churn");
    indigo_attach_device(&device.device);
    std::atomic<bool> stop{false};
    std::thread updater([&] {
        while (!stop)
            indigo_update_property(&device.device, device.value, nullptr);
    });
    for (int round = 0; round < 200; ++round) {
        CountingClient client("transient");
        indigo_attach_client(&client.client);
        std::this_thread::yield();
        // The destructor detaches; the record must not be called after it returns.
    }
    stop = true;
    updater.join();
}

} // namespace
