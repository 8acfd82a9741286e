// BLOB relay through a server: the CCD simulator (indi_simulator_ccd) set to a 4096 x 3072
// 16-bit sensor, so that each frame is a 24 MB FITS file, run as a driver subprocess behind
// the bus's server on one side and behind indiserver on the other, in the same run. One
// client of each, written once and used for both, asks for short exposures and reads the
// frames.
//
// Figures, the median of several frames, in milliseconds (lower is better, so ratio =
// peer/zeta >= 1 meets the target of matching indiserver's throughput):
// - relay: from the end of the exposure (the driver's last Busy report, a small message
//   either server passes at once) to the last byte of the frame at the client: the driver
//   makes the frame and writes it (the same work on both sides), the server reads, relays
//   and sends it. Timed from the request instead, the figure would step with the driver's
//   100 ms polling timer.
// - delivery: from the first byte of the frame's message at the client to its last.

#include "indigo/indigo_bus.h"
#include "indigo/indigo_property.h"
#include "indigo/indigo_remote.h"
#include "indigo/indigo_server.h"
#include "support/indi_server.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kWarmUpFrames = 1;
constexpr int kFrames = 7;
constexpr std::size_t kFrameBytes = 4096u * 3072u * 2u;

double milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// One protocol client on a socket that finds markers in what arrives.
class Client {
public:
    bool connectTo(int port, Clock::duration patience) {
        const auto end = Clock::now() + patience;
        while (Clock::now() < end) {
            fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(static_cast<std::uint16_t>(port));
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
                const int yes = 1;
                setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
                return true;
            }
            close(fd_);
            fd_ = -1;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }
    ~Client() {
        if (fd_ >= 0) close(fd_);
    }

    void send(std::string_view text) {
        while (!text.empty()) {
            const ssize_t n = ::send(fd_, text.data(), text.size(), MSG_NOSIGNAL);
            if (n <= 0) return;
            text.remove_prefix(static_cast<std::size_t>(n));
        }
    }

    // Reads until the marker has arrived (true) or time is up; what came before it is dropped.
    bool waitFor(std::string_view marker, Clock::duration patience) {
        const auto end = Clock::now() + patience;
        for (;;) {
            const std::size_t found = stream_.find(marker, searchFrom_);
            if (found != std::string::npos) {
                stream_.erase(0, found + marker.size());
                searchFrom_ = 0;
                return true;
            }
            searchFrom_ = stream_.size() > marker.size() ? stream_.size() - marker.size() : 0;
            if (!readMore(end)) return false;
        }
    }

private:
    bool readMore(Clock::time_point end) {
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
            if (left <= 0) return false;
            pollfd wait{fd_, POLLIN, 0};
            if (poll(&wait, 1, static_cast<int>(left)) > 0) break;
        }
        const std::size_t before = stream_.size();
        stream_.resize(before + (1u << 20));
        const ssize_t n = recv(fd_, stream_.data() + before, 1u << 20, 0);
        stream_.resize(before + static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
        if (n <= 0) return false;
        received += static_cast<std::size_t>(n);
        return true;
    }

public:
    // Reads until the exposure's countdown reaches 0 (the driver has ended the exposure).
    bool waitForExposureEnd(Clock::duration patience) {
        const auto end = Clock::now() + patience;
        while (waitFor("name=\"CCD_EXPOSURE\" state=\"Busy\"", end - Clock::now())) {
            if (!waitFor("<oneNumber", end - Clock::now()) || !waitFor(">", end - Clock::now())) return false;
            std::string value;
            while (value.find('<') == std::string::npos) {
                const std::size_t lt = stream_.find('<');
                if (lt != std::string::npos) {
                    value = stream_.substr(0, lt + 1);
                    break;
                }
                if (!readMore(end)) return false;
            }
            if (std::atof(value.c_str()) == 0) return true;
        }
        return false;
    }

    std::size_t received = 0;

private:
    int fd_ = -1;
    std::string stream_;
    std::size_t searchFrom_ = 0;
};

struct Figures {
    double frame = 0;
    double delivery = 0;
    bool ok = false;
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// Sets the simulator up through the server on port and times its frames.
Figures measure(int port) {
    Figures figures;
    Client client;
    if (!client.connectTo(port, 10s)) {
        std::fprintf(stderr, "bench: no server on port %d\n", port);
        return figures;
    }
    client.send("<getProperties version='1.7'/>\n");
    if (!client.waitFor("name=\"SIMULATOR_SETTINGS\"", 20s)) {
        std::fprintf(stderr, "bench: the CCD simulator did not appear\n");
        return figures;
    }
    client.send("<newNumberVector device='CCD Simulator' name='SIMULATOR_SETTINGS'><oneNumber name='SIM_XRES'>4096"
                "</oneNumber><oneNumber name='SIM_YRES'>3072</oneNumber></newNumberVector>\n"
                "<enableBLOB device='CCD Simulator'>Also</enableBLOB>\n");
    // A simulator that has just started may lose the first request: ask until it is connected.
    bool connected = false;
    for (int attempt = 0; attempt < 10 && !connected; ++attempt) {
        client.send("<newSwitchVector device='CCD Simulator' name='CONNECTION'><oneSwitch name='CONNECT'>On</oneSwitch>"
                    "</newSwitchVector>\n");
        connected = client.waitFor("<setSwitchVector device=\"CCD Simulator\" name=\"CONNECTION\" state=\"Ok\"", 3s);
    }
    if (!connected) {
        std::fprintf(stderr, "bench: the CCD simulator did not connect\n");
        return figures;
    }
    client.send(
        "<newNumberVector device='CCD Simulator' name='POLLING_PERIOD'><oneNumber name='PERIOD_MS'>100</oneNumber>"
        "</newNumberVector>\n");
    client.waitFor("name=\"POLLING_PERIOD\" state=\"Ok\"", 10s);
    std::vector<double> frames;
    std::vector<double> deliveries;
    for (int i = 0; i < kWarmUpFrames + kFrames; ++i) {
        client.send(
            "<newNumberVector device='CCD Simulator' name='CCD_EXPOSURE'><oneNumber name='CCD_EXPOSURE_VALUE'>0.01"
            "</oneNumber></newNumberVector>\n");
        if (!client.waitForExposureEnd(30s)) {
            std::fprintf(stderr, "bench: the exposure did not end\n");
            return figures;
        }
        const auto exposed = Clock::now();
        if (!client.waitFor("<setBLOBVector", 30s)) {
            std::fprintf(stderr, "bench: no frame came\n");
            return figures;
        }
        const auto first = Clock::now();
        const std::size_t before = client.received;
        if (!client.waitFor("</setBLOBVector>", 30s)) {
            std::fprintf(stderr, "bench: a frame did not end\n");
            return figures;
        }
        const auto last = Clock::now();
        if (client.received - before < kFrameBytes) {
            std::fprintf(stderr, "bench: a frame of %zu bytes is smaller than the sensor\n", client.received - before);
            return figures;
        }
        if (i >= kWarmUpFrames) {
            frames.push_back(milliseconds(last - exposed));
            deliveries.push_back(milliseconds(last - first));
        }
        client.waitFor("name=\"CCD_EXPOSURE\" state=\"Ok\"", 30s);
    }
    figures.frame = median(frames);
    figures.delivery = median(deliveries);
    figures.ok = true;
    return figures;
}

std::atomic<int> serverClients{-1};

} // namespace

int main() {
    const test_support::TempDir home("zeta-bench");
    setenv("HOME", home.path().c_str(), 1); // the simulator keeps its settings there

    // The bus's server with the simulator as its subprocess.
    indigo_copy_name(indigo_server_bind_address, "127.0.0.1");
    indigo_server_tcp_port = 0;
    std::thread server([] { indigo_server_start([](int count) { serverClients.store(count); }); });
    while (serverClients.load() < 0)
        std::this_thread::sleep_for(5ms);
    indigo_subprocess_entry* driver = nullptr;
    if (indigo_start_subprocess("indi_simulator_ccd", &driver) != INDIGO_OK) {
        std::fprintf(stderr, "bench: cannot run indi_simulator_ccd\n");
        return 1;
    }
    const Figures zeta = measure(indigo_server_tcp_port);
    indigo_kill_subprocess(driver);
    indigo_server_shutdown();
    server.join();

    // indiserver with the same driver.
    Figures peer;
    try {
        const test_support::IndiServer indiserver({"indi_simulator_ccd"});
        peer = measure(indiserver.port());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench: %s\n", e.what());
    }

    if (!zeta.ok || !peer.ok) {
        std::fprintf(stderr, "bench blob_relay: failed (zeta %s, indiserver %s)\n", zeta.ok ? "ok" : "failed",
                     peer.ok ? "ok" : "failed");
        return 1;
    }
    std::printf("bench blob_relay_24MB_ms: zeta=%.1f peer=%.1f ratio=%.2f target=1\n", zeta.frame, peer.frame,
                peer.frame / zeta.frame);
    std::printf("bench blob_relay_24MB_delivery_ms: zeta=%.1f peer=%.1f ratio=%.2f target=1\n", zeta.delivery,
                peer.delivery, peer.delivery / zeta.delivery);
    return 0;
}
