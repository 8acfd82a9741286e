#pragma once
// INDIGO::Driver: one entry of the driver catalogue. A library driver is loaded into the
// process by the bus; an executable driver (an INDI driver in the application group's
// "Drivers/" folder) runs as a subprocess speaking the protocol on its stdin and stdout.
//
// load() and unload() may run on any thread (the catalogue reader's worker, the drivers
// table's worker); they are serialised per driver. state() may be read from any thread.
// Each of them stores the outcome under "load_" + name and synchronises the settings.

#include "Common/indigo_client.h"

#include <atomic>
#include <mutex>
#include <string>

class INDIGO::Driver {
public:
    // The path of an executable is "Drivers/" + name in the application group's folder (the
    // name itself when that folder cannot be formed); a library's path is its name.
    Driver(std::string name, std::string label, std::string version, bool library);
    // The same with the path given (tests, and drivers found elsewhere).
    Driver(std::string name, std::string label, std::string version, bool library, std::string path);
    virtual ~Driver() = default;
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;

    // Loads the library or starts the executable; state() tells whether that worked. A failure
    // is logged (system log) and leaves "load_" + name false.
    virtual void load();
    // Removes the library or ends the subprocess; state() becomes false and so does the
    // setting. A driver that never loaded is left alone.
    virtual void unload();

    const std::string& name() const { return name_; }
    const std::string& label() const { return label_; }
    const std::string& version() const { return version_; }
    bool library() const { return library_; }
    const std::string& path() const { return path_; }
    bool state() const { return state_.load(); }
    // The label, with " [INDI]" for an executable.
    std::string description() const;

    // The settings key of this driver: "load_" + name.
    std::string settingsKey() const { return "load_" + name_; }

protected:
    // For drivers that load otherwise (tests): records the outcome as load() does.
    void setState(bool loaded);

private:
    const std::string name_;
    const std::string label_;
    const std::string version_;
    const bool library_;
    const std::string path_;
    std::atomic<bool> state_{false};

    std::mutex mutex_;
    indigo_driver_entry* driver_ = nullptr;         // while a library is loaded
    indigo_subprocess_entry* subprocess_ = nullptr; // while an executable runs
};
