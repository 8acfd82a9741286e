#include "indigo/indigo_timer.h"

#include "indigo/bus/indigo_timer_internal.h"

#include <cstdint>

namespace zeta::indigo {

Runtime& Runtime::instance() {
    static Runtime* runtime = new Runtime();
    return *runtime;
}

void cancelTimersOf(const indigo_device* device) {
    Runtime::instance().timers().cancelMatching(
        [device](const indigo_device* timerDevice, indigo_timer_callback) { return timerDevice == device; });
}

namespace {

indigo_timer* tokenOf(std::uint64_t id) {
    return reinterpret_cast<indigo_timer*>(static_cast<std::uintptr_t>(id));
}

std::uint64_t idOf(const indigo_timer* token) {
    return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(token));
}

} // namespace

} // namespace zeta::indigo

using zeta::indigo::Runtime;

extern "C" {

indigo_timer* indigo_set_timer(indigo_device* device, double delay, indigo_timer_callback callback) {
    if (callback == nullptr) return nullptr;
    return zeta::indigo::tokenOf(Runtime::instance().timers().schedule(device, delay, callback));
}

bool indigo_cancel_timer(indigo_device*, indigo_timer** timer) {
    if (timer == nullptr || *timer == nullptr) return false;
    const std::uint64_t id = zeta::indigo::idOf(*timer);
    *timer = nullptr;
    return Runtime::instance().timers().cancel(id);
}

bool indigo_async(void* (*fun)(void* data), void* data) {
    if (fun == nullptr) return false;
    Runtime::instance().pool().post([fun, data] { fun(data); });
    return true;
}

} // extern "C"
