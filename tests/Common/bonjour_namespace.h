#pragma once
// A private network and mount namespace for this test process with a D-Bus system bus and an
// avahi daemon of its own, both on the loopback interface only: mDNS never leaves the machine.
// Made from the main thread before any other thread starts (a namespace belongs to the thread
// that makes it and to the threads started after). The daemons are stopped by pid when the
// object goes; the namespaces end with the process.

#include "support/process.h"
#include "support/temp_dir.h"

#include <memory>
#include <string>
#include <vector>

namespace common_test {

class BonjourNamespace {
public:
    BonjourNamespace();
    ~BonjourNamespace();

    // Empty when the namespace and its daemons run; otherwise why not.
    const std::string& skipReason() const { return skipReason_; }

    // Runs a program to its end and returns its standard output.
    std::string run(const std::vector<std::string>& argv);

private:
    std::string skipReason_;
    std::unique_ptr<test_support::TempDir> folder_;
    std::unique_ptr<test_support::Process> dbus_;
    std::unique_ptr<test_support::Process> avahi_;
};

} // namespace common_test
