#include "support/indi_server.h"

#include <arpa/inet.h>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace test_support {

namespace {

std::vector<std::string> commandLine(int port, const std::filesystem::path& home,
                                     const std::vector<std::string>& drivers) {
    std::vector<std::string> argv{"indiserver", "-p", std::to_string(port), "-u", (home / "sock").string()};
    argv.insert(argv.end(), drivers.begin(), drivers.end());
    return argv;
}

} // namespace

IndiServer::IndiServer(const std::vector<std::string>& drivers)
    : process_(commandLine(port_, home_.path(), drivers), {{"HOME", home_.path().string()}},
               (home_.path() / "indiserver.log").string()),
      pid_(process_.pid()) {}

std::map<std::string, pid_t> IndiServer::driverPids() const {
    std::map<std::string, pid_t> drivers;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        std::getline(stat, line);
        // "pid (comm) state ppid ...": the name may hold spaces and parentheses.
        const std::size_t close = line.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(line.substr(close + 1));
        char state = 0;
        long parent = 0;
        rest >> state >> parent;
        if (parent != pid_ || state == 'Z') continue;
        std::ifstream cmdline(entry.path() / "cmdline");
        std::string argv0;
        std::getline(cmdline, argv0, '\0');
        drivers[std::filesystem::path(argv0).filename().string()] = static_cast<pid_t>(std::atol(name.c_str()));
    }
    return drivers;
}

std::string IndiServer::log() const {
    std::ifstream in(home_.path() / "indiserver.log.err");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool IndiServer::waitUntilListening(std::chrono::milliseconds timeout) const {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port_));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool up = ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(s);
        if (up) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

} // namespace test_support
