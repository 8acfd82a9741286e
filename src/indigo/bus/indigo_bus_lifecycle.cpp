// Starting and stopping the bus.

#include "indigo/bus/indigo_bus_internal.h"
#include "indigo/bus/indigo_timer_internal.h"
#include "indigo/indigo_log.h"

extern "C" {

indigo_result indigo_start(void) {
    return INDIGO_OK;
}

indigo_result indigo_stop(void) {
    auto& runtime = zeta::indigo::Runtime::instance();
    if (zeta::indigo::WorkerPool::onWorkerThread()) {
        indigo_error("indigo: indigo_stop refused on a bus worker thread");
        return INDIGO_FAILED;
    }
    runtime.timers().shutdown();
    runtime.pool().waitIdle();
    auto& bus = zeta::indigo::Bus::instance();
    // Each snapshot is held for its loop: detaching replaces the list it came from.
    const auto devices = bus.devices.snapshot();
    for (const auto& entry : *devices)
        indigo_detach_device(entry->record);
    const auto clients = bus.clients.snapshot();
    for (const auto& entry : *clients)
        indigo_detach_client(entry->record);
    // Detach callbacks may have queued work of their own.
    runtime.timers().shutdown();
    runtime.pool().shutdown();
    return INDIGO_OK;
}

} // extern "C"
