#include "support/indi_server.h"

#include <arpa/inet.h>
#include <cstdint>
#include <netinet/in.h>
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
               (home_.path() / "indiserver.log").string()) {}

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
