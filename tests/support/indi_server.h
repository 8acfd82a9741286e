#pragma once
// A real indiserver with the given drivers, on a free port of 127.0.0.1, with its own unix
// socket path and a temporary HOME (where its log goes too); stopped by pid when the object
// goes.

#include "support/free_port.h"
#include "support/process.h"
#include "support/temp_dir.h"

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

namespace test_support {

class IndiServer {
public:
    // Throws when indiserver cannot be started.
    explicit IndiServer(const std::vector<std::string>& drivers);

    int port() const { return port_; }
    pid_t pid() const { return pid_; }
    const std::filesystem::path& home() const { return home_.path(); }

    // True once the server accepts connections (at most the given time).
    bool waitUntilListening(std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

    // False once indiserver has ended.
    bool running() { return process_.running(); }
    // The drivers it runs now, by executable name, with their pids.
    std::map<std::string, pid_t> driverPids() const;
    // What indiserver has logged so far (its drivers' stderr included).
    std::string log() const;

private:
    TempDir home_{"zeta-indi-peer"};
    int port_ = freePort();
    Process process_;
    pid_t pid_ = -1;
};

} // namespace test_support
