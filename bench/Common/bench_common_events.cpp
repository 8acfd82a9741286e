// Bus events through the client's model and fan-out to 8 delegates: nanoseconds per
// number-property update posted by a local in-process device and taken through INDIGO (the
// hop onto indigoSyncQueue, the model lookup, 8 delegates reading the item). Printed on its
// own: the network client is compared with libindi's in bench_common_client.

#include "Common/base_controller.h"
#include "Common/device.h"
#include "Common/items.h"
#include "Common/property.h"
#include "indigo/indigo_bus.h"
#include "indigo/indigo_property.h"
#include "platform/system_log.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

class CountingController : public BaseController {
public:
    void updateProperty(const std::shared_ptr<INDIGO::Property>& property) override {
        if (auto item = property->item<INDIGO::NumberItem>("X")) sum += item->value();
        updates.fetch_add(1, std::memory_order_relaxed);
    }
    double sum = 0;
    std::atomic<long> updates{0};
};

// Nanoseconds per event; 0 when a delegate missed one.
double zetaNanosecondsPerEvent() {
    zeta::platform::setSystemLogHandler([](std::string_view) {});
    auto indigo = std::make_shared<INDIGO>();
    std::vector<std::unique_ptr<CountingController>> controllers;
    for (int i = 0; i < 8; ++i) {
        controllers.push_back(std::make_unique<CountingController>());
        controllers.back()->setIndigo(indigo);
    }
    indigo->startWithLocalServer(false, false);

    indigo_device device{};
    indigo_copy_name(device.name, "Bench Focuser");
    indigo_attach_device(&device);
    indigo_property* property = indigo_init_number_property(nullptr, "Bench Focuser", "FOCUSER_TEMPERATURE", "Focuser",
                                                            "Temperature", INDIGO_OK_STATE, INDIGO_RO_PERM, 1);
    indigo_init_number_item(property->items, "X", "X", -100, 100, 0, 0);
    indigo_define_property(&device, property, nullptr);

    double best = 1e300;
    constexpr long kEvents = 20000;
    for (int round = 0; round < 5; ++round) {
        const auto start = Clock::now();
        for (long i = 0; i < kEvents; ++i) {
            property->items[0].number.value = static_cast<double>(i % 100);
            indigo_update_property(&device, property, nullptr);
        }
        const std::chrono::duration<double, std::nano> elapsed = Clock::now() - start;
        best = std::min(best, elapsed.count() / kEvents);
    }
    const long delivered = controllers.front()->updates.load();
    if (delivered != 5 * kEvents) {
        std::fprintf(stderr, "bench common_events: a delegate heard %ld of %ld updates\n", delivered, 5 * kEvents);
        best = 0;
    }

    indigo_detach_device(&device);
    indigo_release_property(property);
    indigo.reset();
    for (auto& controller : controllers)
        controller->setIndigo(nullptr);
    // As the application does when it quits: the bus's threads end before the process does,
    // rather than run on while its statics are torn down.
    indigo_stop();
    zeta::platform::setSystemLogHandler({});
    return best;
}

} // namespace

int main() {
    const double zeta = zetaNanosecondsPerEvent();
    if (zeta <= 0) {
        std::printf("bench common_events_8_delegates_ns: failed\n");
        return 1;
    }
    std::printf("bench common_events_8_delegates_ns: zeta=%.1f\n", zeta);
    std::fprintf(stderr, "bench common_events: %.0f events/s through the model to 8 delegates\n", 1e9 / zeta);
    return 0;
}
