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
    for (const auto& entry : *bus.devices.snapshot())
        indigo_detach_device(entry->record);
    for (const auto& entry : *bus.clients.snapshot())
        indigo_detach_client(entry->record);
    // Detach callbacks may have queued work of their own.
    runtime.timers().shutdown();
    runtime.pool().shutdown();
    return INDIGO_OK;
}

} // extern "C"
