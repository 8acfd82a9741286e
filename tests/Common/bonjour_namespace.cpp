#include "bonjour_namespace.h"

#include "support/eventually.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sched.h>
#include <sstream>
#include <sys/mount.h>
#include <unistd.h>

namespace common_test {

namespace {

bool onPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::stringstream folders(path != nullptr ? path : "");
    for (std::string folder; std::getline(folders, folder, ':');) {
        for (const char* extra : {"", "/../sbin"}) {
            if (::access((folder + extra + "/" + program).c_str(), X_OK) == 0) return true;
        }
    }
    return ::access(("/usr/sbin/" + program).c_str(), X_OK) == 0;
}

std::string program(const std::string& name) {
    for (const char* folder : {"/usr/sbin/", "/sbin/"}) {
        if (::access((folder + name).c_str(), X_OK) == 0) return folder + name;
    }
    return name;
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

BonjourNamespace::BonjourNamespace() {
    for (const char* tool : {"avahi-daemon", "dbus-daemon", "ip", "avahi-browse", "avahi-publish-service"}) {
        if (!onPath(tool)) {
            skipReason_ = std::string(tool) + " is not installed";
            return;
        }
    }
    if (::unshare(CLONE_NEWNET | CLONE_NEWNS) != 0) {
        skipReason_ = std::string("no private network namespace: ") + std::strerror(errno);
        return;
    }
    // Mounts made here stay here; a /run of our own keeps the daemon's pid file and socket apart.
    if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", "/run", "tmpfs", 0, "mode=0755") != 0) {
        skipReason_ = std::string("no private /run: ") + std::strerror(errno);
        return;
    }
    folder_ = std::make_unique<test_support::TempDir>("zeta-bonjour");
    const auto& dir = folder_->path();
    if (std::system((program("ip") + " link set lo up multicast on").c_str()) != 0) {
        skipReason_ = "the loopback interface cannot be brought up";
        return;
    }
    const std::string bus = (dir / "bus").string();
    std::ofstream(dir / "dbus.conf")
        << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\" "
           "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
           "<busconfig><type>system</type><listen>unix:path="
        << bus
        << "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow user=\"*\"/><allow own=\"*\"/>"
           "<allow send_type=\"method_call\"/><allow send_destination=\"*\"/><allow receive_sender=\"*\"/>"
           "</policy></busconfig>\n";
    std::ofstream(dir / "avahi.conf") << "[server]\nallow-interfaces=lo\nuse-ipv4=yes\nuse-ipv6=no\nenable-dbus=yes\n"
                                         "[publish]\npublish-addresses=yes\n";
    // Our clients, the daemon and the peers' tools all find this bus.
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + bus).c_str(), 1);

    dbus_ = std::make_unique<test_support::Process>(
        std::vector<std::string>{"dbus-daemon", "--config-file=" + (dir / "dbus.conf").string(), "--nofork",
                                 "--nopidfile"},
        std::vector<std::pair<std::string, std::string>>{});
    if (!test_support::eventually([&] { return std::filesystem::exists(bus); })) {
        skipReason_ = "dbus-daemon did not start";
        return;
    }
    const auto log = dir / "avahi.log";
    avahi_ = std::make_unique<test_support::Process>(
        std::vector<std::string>{program("avahi-daemon"), "-f", (dir / "avahi.conf").string(), "--no-drop-root",
                                 "--no-chroot", "--no-rlimits"},
        std::vector<std::pair<std::string, std::string>>{}, log.string());
    if (!test_support::eventually([&] {
            return (readFile(log) + readFile(log.string() + ".err")).find("Server startup complete") !=
                   std::string::npos;
        })) {
        skipReason_ = "avahi-daemon did not start";
    }
}

BonjourNamespace::~BonjourNamespace() {
    avahi_.reset();
    dbus_.reset();
}

std::string BonjourNamespace::run(const std::vector<std::string>& argv) {
    const auto output = folder_->path() / ("run-" + std::to_string(::getpid()) + ".out");
    {
        test_support::Process process(argv, {}, output.string());
        process.wait();
    }
    return readFile(output);
}

} // namespace common_test
