#pragma once
// A simulated camera served over PTP/IP on 127.0.0.1, so that outside PTP/IP initiators can
// talk to it. The command connection carries the initiator's operations, with their data
// phases, to the camera through a port of its own (the camera's bytes are the simulation's);
// the event connection carries the camera's interrupt events back. One session at a time:
// opening it takes the camera's port, so the camera's other users must let go first.
//
// Packets that can't be right (a length below the header or beyond what the packet type
// allows, a truncated packet, a type out of turn) close that connection; why is kept for
// rejections(). Every thread is joined when the endpoint goes.

#include "support/ptpip_packets.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zeta::platform {
class SimulatedCamera;
class PTPPort;
} // namespace zeta::platform

namespace test_support {

class PTPIPEndpoint {
public:
    // Listens on a free port; throws when no socket can be had.
    explicit PTPIPEndpoint(std::shared_ptr<zeta::platform::SimulatedCamera> camera);
    ~PTPIPEndpoint();
    PTPIPEndpoint(const PTPIPEndpoint&) = delete;
    PTPIPEndpoint& operator=(const PTPIPEndpoint&) = delete;

    int port() const { return port_; }
    // "ptpip:127.0.0.1:PORT:PORT" (command and event port), as gphoto2's --port takes it.
    std::string portArgument() const;
    // Why connections were closed on the initiator's input, in order.
    std::vector<std::string> rejections() const;
    // Waits until no connection is open; false after the timeout.
    bool waitIdle(std::chrono::milliseconds timeout);
    // Sessions opened so far.
    int sessions() const;

private:
    struct Session;
    void acceptLoop();
    void serve(int fd);
    void serveCommands(int fd);
    void serveEvents(int fd, uint32_t connectionNumber);
    void forwardEvents(int fd, zeta::platform::PTPPort& port);
    void reject(int fd, std::string why);
    void closed(int fd);

    const std::shared_ptr<zeta::platform::SimulatedCamera> camera_;
    int listener_ = -1;
    int wake_[2] = {-1, -1};
    int port_ = 0;

    mutable std::mutex mutex_;
    std::condition_variable idle_;
    bool stopping_ = false;
    std::vector<int> open_; // connection sockets, shut down when the endpoint goes
    std::vector<std::string> rejections_;
    std::shared_ptr<Session> session_;
    uint32_t nextConnection_ = 1;
    int sessions_ = 0;
    std::vector<std::thread> threads_;
    std::thread acceptor_;
};

} // namespace test_support
