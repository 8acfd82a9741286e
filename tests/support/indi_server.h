#pragma once
// A real indiserver with the given drivers, on a free port of 127.0.0.1, with its own unix
// socket path and a temporary HOME (where its log goes too); stopped by pid when the object
// goes.

#include "support/free_port.h"
#include "support/process.h"
#include "support/temp_dir.h"

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace test_support {

class IndiServer {
public:
    // Throws when indiserver cannot be started.
    explicit IndiServer(const std::vector<std::string>& drivers);

    int port() const { return port_; }
    const std::filesystem::path& home() const { return home_.path(); }

    // True once the server accepts connections (at most the given time).
    bool waitUntilListening(std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

private:
    TempDir home_{"zeta-indi-peer"};
    int port_ = freePort();
    Process process_;
};

} // namespace test_support
