#include "app/drivers_controller.h"

namespace zeta::app {

void DriversController::addDriver(const std::shared_ptr<INDIGO::Driver>&) {
    reloadOnMainQueue();
}

void DriversController::reloadOnMainQueue() {
    main_.async([this] {
        if (view_ != nullptr) view_->reloadDrivers();
    });
}

void DriversController::loadPreferences() {
    state_.clear();
    const auto names = admin_->driverNames();
    for (std::size_t row = 0; row < names.size(); ++row) {
        if (const auto driver = admin_->driver(names[row])) state_[row] = driver->loaded;
    }
    reloadOnMainQueue();
}

void DriversController::savePreferences() {
    // The wishes are copied: the sheet may be shown (and the wishes reset) while this runs.
    dispatch::globalQueue(dispatch::QoS::Background).async([admin = admin_, wishes = state_] {
        apply(*admin, wishes);
    });
}

std::size_t DriversController::numberOfRows() const {
    return admin_->driverNames().size();
}

std::optional<bool> DriversController::wantedState(std::size_t row) const {
    const auto found = state_.find(row);
    if (found == state_.end()) return std::nullopt;
    return found->second;
}

std::optional<std::string> DriversController::rowText(std::size_t row) const {
    const auto names = admin_->driverNames();
    if (row >= names.size()) return std::nullopt;
    const auto driver = admin_->driver(names[row]);
    if (!driver) return std::nullopt;
    return driver->description + " (" + driver->version + ")";
}

void DriversController::setWantedState(std::size_t row, std::optional<bool> wanted) {
    if (wanted)
        state_[row] = *wanted;
    else
        state_.erase(row);
}

void DriversController::applyDriverStates() {
    apply(*admin_, state_);
}

void DriversController::apply(IndigoAdmin& admin, const std::map<std::size_t, bool>& wishes) {
    const auto names = admin.driverNames();
    for (std::size_t row = 0; row < names.size(); ++row) {
        const auto driver = admin.driver(names[row]);
        if (!driver) continue;
        const auto wish = wishes.find(row);
        // A driver that reached the catalogue after the sheet was filled has no wish: left alone.
        if (wish == wishes.end()) continue;
        if (wish->second && !driver->loaded)
            admin.loadDriver(driver->name);
        else if (!wish->second && driver->loaded)
            admin.unloadDriver(driver->name);
    }
}

} // namespace zeta::app
