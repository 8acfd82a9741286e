#pragma once
// A real indiserver with the given drivers, on 127.0.0.1 with a free port, its own unix
// socket path and a temporary HOME; stopped by pid when the object goes.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace common_test {

class IndiServer {
public:
    explicit IndiServer(std::vector<std::string> drivers)
    {
        char pattern[] = "/tmp/zeta-indi-peer-XXXXXX";
        if (::mkdtemp(pattern) == nullptr)
            return;
        folder_ = pattern;
        port_ = freePort();
        const std::string port = std::to_string(port_);
        const std::string socket = folder_ + "/sock";
        const std::string log = folder_ + "/indiserver.log";
        pid_ = ::fork();
        if (pid_ == 0) {
            ::setenv("HOME", folder_.c_str(), 1);
            const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(out, 1);
            ::dup2(out, 2);
            std::vector<char*> argv{const_cast<char*>("indiserver"), const_cast<char*>("-p"), const_cast<char*>(port.c_str()),
                                    const_cast<char*>("-u"), const_cast<char*>(socket.c_str())};
            for (std::string& driver : drivers)
                argv.push_back(driver.data());
            argv.push_back(nullptr);
            ::execvp("indiserver", argv.data());
            ::_exit(127);
        }
    }
    ~IndiServer()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
        std::error_code ignored;
        if (!folder_.empty())
            std::filesystem::remove_all(folder_, ignored);
    }
    IndiServer(const IndiServer&) = delete;
    IndiServer& operator=(const IndiServer&) = delete;

    int port() const { return port_; }

    // True once the server accepts connections (at most the given time).
    bool waitUntilListening(std::chrono::milliseconds timeout = std::chrono::seconds(10)) const
    {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < end) {
            const int s = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in address = loopback(port_);
            const bool up = ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
            ::close(s);
            if (up)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

private:
    static sockaddr_in loopback(int port)
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return address;
    }
    static int freePort()
    {
        const int s = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = loopback(0);
        socklen_t length = sizeof address;
        int port = 0;
        if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port = ntohs(address.sin_port);
        ::close(s);
        return port;
    }

    std::string folder_;
    int port_ = 0;
    pid_t pid_ = -1;
};

}  // namespace common_test
