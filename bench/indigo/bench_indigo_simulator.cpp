// A frame from a real INDI driver through either server: indi_simulator_ccd set to 6000 x 4000
// behind Zeta's server (zeta_bench_server) and behind indiserver, both up at once, each
// handing its frames over in shared memory as it does on the socket a server gives it. The
// same client, a plain socket counting bytes, asks each for a 0.01 s exposure in turn.
//
// Lines (ms, lower is better):
// - blob_relay_simulator_ccd: the exposure request to the frame's last byte at the client.
// - blob_server_cpu_ms_simulator_ccd: the server's own CPU time (user + system) per frame.
// The time a frame spends in the server cannot be cut out exactly from outside: between the
// driver's last message before the frame (its FITS header warnings) and the frame's first
// byte lie both the driver writing the FITS file and the server reading and encoding it. So
// stderr gives, per side, that last message to the frame's last byte (the server's share and
// the driver's FITS writing, the same behind both), and the frame's first byte to its last.

#include "bench_wire_support.h"
#include "support/bench_figures.h"
#include "support/free_port.h"
#include "support/indi_server.h"
#include "support/process.h"
#include "support/temp_dir.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace std::chrono_literals;
using zeta::bench::Clock;
using zeta::bench::milliseconds;

constexpr const char* kDevice = "CCD Simulator";
constexpr const char* kDriver = "/usr/bin/indi_simulator_ccd";
constexpr int kPairs = 5;
constexpr std::size_t kFrameBytes = 6000u * 4000u * 2u; // the FITS file holds a header besides

// The timings of one frame at the client.
struct FrameTimes {
    double total = 0;      // request to last byte
    double afterLast = 0;  // the driver's last message before the frame to its last byte
    double delivery = 0;   // first byte to last
    std::size_t bytes = 0; // the frame's declared size
};

class SimulatorClient {
public:
    explicit SimulatorClient(int port) : fd_(zeta::bench::connectTo(port, 10s)), buffer_(std::size_t{4} << 20) {
        if (fd_ < 0) throw std::runtime_error("cannot connect");
    }
    ~SimulatorClient() { close(fd_); }
    SimulatorClient(const SimulatorClient&) = delete;
    SimulatorClient& operator=(const SimulatorClient&) = delete;

    void send(const std::string& text) {
        if (!zeta::bench::sendAll(fd_, text)) throw std::runtime_error("cannot send");
    }

    // Reads until the property's name has come (either quote around it), 30 s at most; what
    // came after it is kept for the next wait.
    void waitFor(const std::string& name) {
        const std::string quoted[2] = {"name=\"" + name + "\"", "name='" + name + "'"};
        const auto end = Clock::now() + 30s;
        for (;;) {
            for (const std::string& q : quoted)
                if (const std::size_t at = seen_.find(q); at != std::string::npos) {
                    seen_.erase(0, at + q.size());
                    return;
                }
            if (Clock::now() > end) throw std::runtime_error("no " + name + " came");
            pollfd wait{fd_, POLLIN, 0};
            if (poll(&wait, 1, 100) <= 0) continue;
            const ssize_t n = recv(fd_, buffer_.data(), buffer_.size(), 0);
            if (n <= 0) throw std::runtime_error("the server closed");
            seen_.append(buffer_.data(), static_cast<std::size_t>(n));
        }
    }

    // Drops what is waiting.
    void drain() {
        for (;;) {
            pollfd wait{fd_, POLLIN, 0};
            if (poll(&wait, 1, 300) <= 0) return;
            if (recv(fd_, buffer_.data(), buffer_.size(), 0) <= 0) throw std::runtime_error("the server closed");
        }
        seen_.clear();
    }

    // One exposure, timed from its request to the frame's last byte.
    FrameTimes expose() {
        FrameTimes times;
        const auto asked = Clock::now();
        send(std::string("<newNumberVector device='") + kDevice +
             "' name='CCD_EXPOSURE'><oneNumber name='CCD_EXPOSURE_VALUE'>0.01</oneNumber></newNumberVector>\n");
        Clock::time_point lastMessage = asked, first{}, last{};
        bool inFrame = false, done = false;
        std::size_t keep = 0;
        std::string head; // the frame's opening tags, for its size
        const auto deadline = asked + 120s;
        while (!done) {
            if (Clock::now() > deadline) throw std::runtime_error("the frame did not come");
            pollfd wait{fd_, POLLIN, 0};
            if (poll(&wait, 1, 100) <= 0) continue;
            const ssize_t n = recv(fd_, buffer_.data() + keep, buffer_.size() - keep, 0);
            if (n <= 0) throw std::runtime_error("the server closed");
            const auto now = Clock::now();
            const std::size_t size = keep + static_cast<std::size_t>(n);
            const char* data = buffer_.data();
            std::size_t from = 0, next = size;
            // Tags found at each "<" (the base64 holds none).
            for (;;) {
                const void* lt = std::memchr(data + from, '<', size - from);
                if (lt == nullptr) break;
                const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(lt) - data);
                if (size - at < kMarker) {
                    next = at;
                    break;
                }
                const std::string_view tag(data + at, kMarker);
                if (!inFrame && tag.starts_with("<setBLOBVector")) {
                    inFrame = true;
                    first = now;
                    head.assign(data + at, std::min<std::size_t>(size - at, 512));
                } else if (inFrame && tag.starts_with("</setBLOBVector>")) {
                    last = now;
                    done = true;
                    break;
                } else if (!inFrame && !tag.starts_with("</")) {
                    lastMessage = now;
                }
                from = at + 1;
            }
            keep = done ? 0 : size - next;
            if (keep > 0) std::memmove(buffer_.data(), data + next, keep);
        }
        if (const std::size_t at = head.find("size="); at != std::string::npos)
            times.bytes = static_cast<std::size_t>(std::atoll(head.c_str() + at + 6));
        times.total = milliseconds(last - asked);
        times.afterLast = milliseconds(last - lastMessage);
        times.delivery = milliseconds(last - first);
        return times;
    }

private:
    static constexpr std::size_t kMarker = 16;
    int fd_;
    std::vector<char> buffer_;
    std::string seen_;
};

std::string newNumbers(const std::string& property, const std::vector<std::pair<std::string, std::string>>& items) {
    std::string text = std::string("<newNumberVector device='") + kDevice + "' name='" + property + "'>";
    for (const auto& [name, value] : items)
        text += "<oneNumber name='" + name + "'>" + value + "</oneNumber>";
    return text + "</newNumberVector>\n";
}

std::string newSwitch(const std::string& property, const std::string& on) {
    return std::string("<newSwitchVector device='") + kDevice + "' name='" + property + "'><oneSwitch name='" + on +
           "'>On</oneSwitch></newSwitchVector>\n";
}

// A server with the simulator, its client set up for large frames.
struct Side {
    const char* who;
    pid_t pid;
    std::unique_ptr<SimulatorClient> client;
    std::vector<double> total, afterLast, delivery, cpu;

    void setUp(int port) {
        client = std::make_unique<SimulatorClient>(port);
        client->send(std::string("<enableBLOB device='") + kDevice +
                     "'>Also</enableBLOB>\n<getProperties version='1.7'/>\n");
        client->waitFor("CONNECTION");
        client->send(newSwitch("CONNECTION", "CONNECT"));
        client->waitFor("CCD_EXPOSURE"); // defined once connected
        client->send(newNumbers("SIMULATOR_SETTINGS", {{"SIM_XRES", "6000"}, {"SIM_YRES", "4000"}}));
        client->send(newNumbers("POLLING_PERIOD", {{"PERIOD_MS", "100"}}));
        client->send(newSwitch("CCD_COMPRESSION", "INDI_DISABLED"));
        client->drain();
        // The first frame warms the driver and the server; it is not counted.
        if (client->expose().bytes < kFrameBytes) throw std::runtime_error("the frame is not 6000 x 4000");
        client->drain();
    }

    void frame() {
        const double cpuBefore = zeta::bench::cpuMilliseconds(pid);
        const FrameTimes times = client->expose();
        // The exposure's last updates come after the frame: they are not the next frame's.
        client->drain();
        cpu.push_back(zeta::bench::cpuMilliseconds(pid) - cpuBefore);
        if (times.bytes < kFrameBytes) throw std::runtime_error("a frame came short");
        total.push_back(times.total);
        afterLast.push_back(times.afterLast);
        delivery.push_back(times.delivery);
    }
};

} // namespace

int main() {
    std::signal(SIGPIPE, SIG_IGN);
    try {
        test_support::TempDir home{"zeta-bench-simulator"};
        const int port = test_support::freePort();
        test_support::Process zetaServer({ZETA_BENCH_SERVER, std::to_string(port), kDriver},
                                         {{"HOME", home.path().string()}}, (home.path() / "server.log").string());
        test_support::IndiServer peerServer({"indi_simulator_ccd"});
        Side sides[2] = {{"zeta", zetaServer.pid(), {}, {}, {}, {}, {}},
                         {"indiserver", peerServer.pid(), {}, {}, {}, {}, {}}};
        sides[0].setUp(port);
        sides[1].setUp(peerServer.port());
        for (int i = 0; i < kPairs; ++i)
            for (Side& side : sides)
                side.frame();
        zeta::bench::printLine("blob_relay_simulator_ccd", zeta::bench::pairOfRuns(sides[0].total, sides[1].total), 1);
        zeta::bench::printLine("blob_server_cpu_ms_simulator_ccd", zeta::bench::pairOfRuns(sides[0].cpu, sides[1].cpu),
                               1);
        for (const Side& side : sides)
            std::fprintf(stderr,
                         "bench blob_relay_simulator_ccd: %s: driver's last message before the frame to its last "
                         "byte %.0f ms, the frame's first byte to its last %.0f ms\n",
                         side.who, zeta::bench::medianOf(side.afterLast), zeta::bench::medianOf(side.delivery));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench blob_relay_simulator_ccd: failed: %s\n", e.what());
        return 1;
    }
    return 0;
}
