// The driver catalogue: reading "drivers.xml" and keeping INDIGO's drivers and their order.

#include "Common/driver.h"
#include "Common/indigo_client.h"
#include "Common/indigo_delegate.h"

#include <algorithm>

StringMap<std::shared_ptr<INDIGO::Driver>> INDIGO::drivers() const {
    std::lock_guard lock(driversMutex_);
    return drivers_;
}

std::vector<std::string> INDIGO::driverNames() const {
    std::lock_guard lock(driversMutex_);
    return driverNames_;
}

std::shared_ptr<INDIGO::Driver> INDIGO::driver(std::string_view name) const {
    std::lock_guard lock(driversMutex_);
    const auto found = drivers_.find(name);
    return found == drivers_.end() ? nullptr : found->second;
}

void INDIGO::addCatalogueDriver(const std::shared_ptr<Driver>& driver) {
    if (!driver) return;
    {
        std::lock_guard lock(driversMutex_);
        driverNames_.push_back(driver->name());
        drivers_[driver->name()] = driver;
        std::stable_sort(driverNames_.begin(), driverNames_.end(), [this](const std::string& a, const std::string& b) {
            return drivers_.at(a)->description() < drivers_.at(b)->description();
        });
    }
    tellDelegates([&](INDIGODelegate* delegate) { delegate->addDriver(driver); });
}

void INDIGO::readDriverCatalogue(const std::filesystem::path& file) {
    (void)file;
}

void INDIGO::readDriverCatalogue() {}
