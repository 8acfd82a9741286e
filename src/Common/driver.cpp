// One catalogue driver: loading it into the process or running it as a subprocess.

#include "Common/driver.h"

#include "indigo/indigo_remote.h"
#include "platform/constants.h"

#include <utility>

namespace {

std::string executablePath(const std::string& name) {
    try {
        const auto container = FILE_MANAGER().containerURLForSecurityApplicationGroupIdentifier("TEAM.INDIGO");
        if (container.empty()) return name;
        return (container / "Drivers" / name).string();
    } catch (const std::exception&) {
        return name;
    }
}

} // namespace

INDIGO::Driver::Driver(std::string name, std::string label, std::string version, bool library)
    : Driver(name, std::move(label), std::move(version), library, library ? name : executablePath(name)) {}

INDIGO::Driver::Driver(std::string name, std::string label, std::string version, bool library, std::string path)
    : name_(std::move(name)), label_(std::move(label)), version_(std::move(version)), library_(library),
      path_(std::move(path)) {}

std::string INDIGO::Driver::description() const {
    return library_ ? label_ : label_ + " [INDI]";
}

void INDIGO::Driver::setState(bool loaded) {
    state_.store(loaded);
    DEFAULTS().setBool(loaded, settingsKey());
    DEFAULTS().synchronize();
}

void INDIGO::Driver::load() {
    std::lock_guard lock(mutex_);
    indigo_result result = INDIGO_FAILED;
    if (library_) {
        indigo_driver_entry* entry = nullptr;
        // The bundle's drivers folder first; the dynamic loader's own search otherwise.
        const auto bundled = MAIN_BUNDLE().privateFrameworksPath() / (path_ + ".so");
        const std::string file =
            path_.find('/') == std::string::npos && FILE_MANAGER().fileExistsAtPath(bundled) ? bundled.string() : path_;
        result = indigo_load_driver(file.c_str(), true, &entry);
        if (result == INDIGO_OK) driver_ = entry;
    } else if (subprocess_ != nullptr && state_.load()) {
        // Already running: a second start would leave the first child without an owner.
        result = INDIGO_OK;
    } else {
        indigo_subprocess_entry* entry = nullptr;
        result = indigo_start_subprocess(path_.c_str(), &entry);
        if (result == INDIGO_OK) subprocess_ = entry;
    }
    if (result != INDIGO_OK) zeta::platform::systemLog("Driver " + name_ + " could not be loaded");
    setState(result == INDIGO_OK);
}

void INDIGO::Driver::unload() {
    std::lock_guard lock(mutex_);
    // Nothing was loaded: there is nothing to remove and no choice to record.
    if (driver_ == nullptr && subprocess_ == nullptr) return;
    if (driver_ != nullptr) indigo_remove_driver(driver_);
    if (subprocess_ != nullptr) indigo_kill_subprocess(subprocess_);
    driver_ = nullptr;
    subprocess_ = nullptr;
    setState(false);
}
