// Fan-out of the in-process bus: number-property updates (and define+update pairs) from one
// device to 1, 4 and 16 clients. Each figure is nanoseconds per posted event, printed on its
// own: no other program does this work in process to compare with (the servers are compared
// in bench_indigo_wire). The update path must not allocate: counted, and the run fails if it
// does.

#include "indigo/indigo_bus.h"
#include "indigo/indigo_property.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace {

std::atomic<long> allocations{0};

} // namespace

void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

struct Sink {
    indigo_client client{};
    long received = 0;
    double sum = 0;
};

indigo_result onUpdate(indigo_client* client, indigo_device*, indigo_property* property, const char*) {
    auto* sink = static_cast<Sink*>(client->client_context);
    sink->received++;
    sink->sum += property->items[0].number.value;
    return INDIGO_OK;
}

indigo_result onDefine(indigo_client* client, indigo_device*, indigo_property*, const char*) {
    static_cast<Sink*>(client->client_context)->received++;
    return INDIGO_OK;
}

template <class Body>
double bestNanosecondsPerCall(Body&& body, long calls) {
    double best = 1e300;
    for (int round = 0; round < 5; ++round) {
        const auto start = std::chrono::steady_clock::now();
        for (long i = 0; i < calls; ++i)
            body(i);
        const std::chrono::duration<double, std::nano> elapsed = std::chrono::steady_clock::now() - start;
        best = std::min(best, elapsed.count() / static_cast<double>(calls));
    }
    return best;
}

void report(const char* name, double nanoseconds) {
    std::printf("bench %s: zeta=%.1f\n", name, nanoseconds);
}

} // namespace

int main() {
    indigo_start();
    indigo_device device{};
    indigo_copy_name(device.name, "Bench Device");
    indigo_attach_device(&device);
    indigo_property* property = indigo_init_number_property(nullptr, "Bench Device", "CCD_EXPOSURE", "Camera",
                                                            "Exposure", INDIGO_BUSY_STATE, INDIGO_RW_PERM, 1);
    indigo_init_number_item(property->items, "EXPOSURE", "Exposure", 0, 10000, 1, 0);

    Sink sinks[16];
    int attached = 0;
    bool allocationFree = true;
    for (int clients : {1, 4, 16}) {
        while (attached < clients) {
            Sink& sink = sinks[attached++];
            sink.client.client_context = &sink;
            sink.client.update_property = onUpdate;
            sink.client.define_property = onDefine;
            indigo_attach_client(&sink.client);
        }
        indigo_define_property(&device, property, nullptr);
        const long updates = 400000 / clients;

        const long before = allocations.load();
        const double update = bestNanosecondsPerCall(
            [&](long i) {
                property->items[0].number.value = static_cast<double>(i);
                indigo_update_property(&device, property, nullptr);
            },
            updates);
        const long allocated = allocations.load() - before;
        if (allocated != 0) {
            std::fprintf(stderr, "bench indigo_bus: %ld allocations on the update path with %d clients\n", allocated,
                         clients);
            allocationFree = false;
        }
        char name[64];
        std::snprintf(name, sizeof name, "indigo_update_fanout_%d_clients_ns", clients);
        report(name, update);
        std::fprintf(stderr, "bench indigo_bus: %.0f updates/s to %d client(s)\n", 1e9 / update, clients);

        const double defineUpdate = bestNanosecondsPerCall(
            [&](long) {
                indigo_define_property(&device, property, nullptr);
                indigo_update_property(&device, property, nullptr);
            },
            updates / 2);
        std::snprintf(name, sizeof name, "indigo_define_update_fanout_%d_clients_ns", clients);
        report(name, defineUpdate);
    }
    indigo_delete_property(&device, property, nullptr);
    indigo_release_property(property);
    indigo_stop();
    return allocationFree ? 0 : 1;
}
