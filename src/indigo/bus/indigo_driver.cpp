// The driver table: adding drivers by entry point, loading them from libraries, removing
// them. No lock is held while a driver's entry point runs.

#include "indigo/indigo_driver.h"

#include "indigo/bus/indigo_timer_internal.h"
#include "indigo/bus/text_field.h"
#include "indigo/indigo_log.h"

#include <cstdint>
#include <cstring>
#include <dlfcn.h>
#include <mutex>
#include <string>

indigo_driver_entry indigo_available_drivers[INDIGO_MAX_DRIVERS] = {};
indigo_server_entry indigo_available_servers[INDIGO_MAX_SERVERS] = {};
indigo_subprocess_entry indigo_available_subprocesses[INDIGO_MAX_SUBPROCESSES] = {};

namespace {

// A slot is Busy while its driver's entry point runs for an add or a remove.
enum class SlotState { Free, Busy, Ready };

std::mutex tableMutex;
SlotState slotStates[INDIGO_MAX_DRIVERS] = {};

int slotIndexOf(const indigo_driver_entry* entry) {
    const auto address = reinterpret_cast<std::uintptr_t>(entry);
    const auto first = reinterpret_cast<std::uintptr_t>(&indigo_available_drivers[0]);
    if (address < first || address >= first + sizeof indigo_available_drivers ||
        (address - first) % sizeof(indigo_driver_entry) != 0)
        return -1;
    return static_cast<int>((address - first) / sizeof(indigo_driver_entry));
}

// Puts the entry point into a slot and runs INFO (and INIT). existing tells whether it
// had one already, in which case nothing else happens.
indigo_result addEntry(driver_entry_point driver, void* library, const char* fallbackName, bool init,
                       indigo_driver_entry** driverEntry, bool& existing) {
    existing = false;
    int slot = -1;
    {
        std::lock_guard lock(tableMutex);
        for (int i = 0; i < INDIGO_MAX_DRIVERS; ++i) {
            if (slotStates[i] != SlotState::Free && indigo_available_drivers[i].driver == driver) {
                existing = true;
                if (driverEntry != nullptr) *driverEntry = &indigo_available_drivers[i];
                return INDIGO_OK;
            }
        }
        for (int i = 0; i < INDIGO_MAX_DRIVERS && slot < 0; ++i) {
            if (slotStates[i] == SlotState::Free) slot = i;
        }
        if (slot < 0) {
            indigo_error("indigo: no free driver slot for %s", fallbackName);
            return INDIGO_FAILED;
        }
        slotStates[slot] = SlotState::Busy;
        indigo_available_drivers[slot] = indigo_driver_entry{};
        indigo_available_drivers[slot].driver = driver;
        indigo_available_drivers[slot].dl_handle = library;
        zeta::indigo::copyField(indigo_available_drivers[slot].name, fallbackName);
    }

    indigo_driver_info info{};
    info.status = INDIGO_DRIVER_SHUTDOWN;
    driver(INDIGO_DRIVER_INFO, &info);
    const bool initialized = init && driver(INDIGO_DRIVER_INIT, &info) == INDIGO_OK;

    std::lock_guard lock(tableMutex);
    indigo_driver_entry& entry = indigo_available_drivers[slot];
    if (init && !initialized) {
        indigo_error("indigo: driver %s failed to initialise", entry.name);
        entry = indigo_driver_entry{};
        slotStates[slot] = SlotState::Free;
        return INDIGO_FAILED;
    }
    if (info.name[0] != '\0') zeta::indigo::copyField(entry.name, info.name);
    zeta::indigo::copyField(entry.description, info.description[0] != '\0' ? info.description : entry.name);
    entry.initialized = initialized;
    slotStates[slot] = SlotState::Ready;
    if (driverEntry != nullptr) *driverEntry = &entry;
    return INDIGO_OK;
}

// The base address of the shared object holding the code at address, or nullptr.
const void* objectBase(const void* address) {
    Dl_info info{};
    if (dladdr(address, &info) == 0) return nullptr;
    return info.dli_fbase;
}

std::string entryPointName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
    return file.substr(0, file.find('.'));
}

} // namespace

extern "C" {

indigo_result indigo_add_driver(driver_entry_point driver, bool init, indigo_driver_entry** driver_entry) {
    if (driver == nullptr) return INDIGO_FAILED;
    bool existing = false;
    return addEntry(driver, nullptr, "", init, driver_entry, existing);
}

indigo_result indigo_load_driver(const char* name, bool init, indigo_driver_entry** driver_entry) {
    if (name == nullptr || name[0] == '\0') return INDIGO_FAILED;
    std::string path = name;
    if (path.size() < 3 || path.compare(path.size() - 3, 3, ".so") != 0) path += ".so";
    const std::string symbol = entryPointName(path);
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* reason = dlerror();
        indigo_error("indigo: cannot load driver %s (%s)", path.c_str(), reason != nullptr ? reason : "unknown error");
        return INDIGO_FAILED;
    }
    auto driver = reinterpret_cast<driver_entry_point>(dlsym(library, symbol.c_str()));
    if (driver == nullptr) {
        indigo_error("indigo: driver %s has no entry point %s", path.c_str(), symbol.c_str());
        dlclose(library);
        return INDIGO_FAILED;
    }
    bool existing = false;
    const indigo_result result = addEntry(driver, library, symbol.c_str(), init, driver_entry, existing);
    if (existing || result != INDIGO_OK) dlclose(library); // a slot that exists keeps its own handle
    return result;
}

indigo_result indigo_remove_driver(indigo_driver_entry* driver_entry) {
    const int slot = slotIndexOf(driver_entry);
    if (slot < 0) return INDIGO_FAILED;
    indigo_driver_entry entry;
    {
        std::lock_guard lock(tableMutex);
        if (slotStates[slot] != SlotState::Ready) return INDIGO_FAILED;
        slotStates[slot] = SlotState::Busy;
        entry = indigo_available_drivers[slot];
    }
    if (entry.initialized) {
        indigo_driver_info info{};
        entry.driver(INDIGO_DRIVER_SHUTDOWN, &info);
    }
    if (entry.dl_handle != nullptr) {
        // Nothing may run the library's code once it is unmapped.
        const void* library = objectBase(reinterpret_cast<const void*>(entry.driver));
        auto& runtime = zeta::indigo::Runtime::instance();
        runtime.timers().cancelMatching([library](const indigo_device*, indigo_timer_callback callback) {
            return library != nullptr && objectBase(reinterpret_cast<const void*>(callback)) == library;
        });
        runtime.pool().waitIdle();
        dlclose(entry.dl_handle);
    }
    std::lock_guard lock(tableMutex);
    indigo_available_drivers[slot] = indigo_driver_entry{};
    slotStates[slot] = SlotState::Free;
    return INDIGO_OK;
}

void indigo_start_usb_event_handler(void) {}

} // extern "C"
