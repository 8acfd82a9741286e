// Bus events through the client's model and fan-out to 8 delegates, against the rate at which
// a real INDI server delivers property updates to one client.
//
// zeta: nanoseconds per number-property update posted by a local in-process device and
//       taken through INDIGO (the hop onto indigoSyncQueue, the model lookup, 8 delegates
//       reading the item).
// peer: nanoseconds per update that indiserver (with indi_simulator_focus) delivers to a
//       client that pipelines 5000 FOCUS_TEMPERATURE changes over 127.0.0.1.
// ratio = peer / zeta; target 1: the client takes events in at least as fast as a server can
// send them.

#include "Common/base_controller.h"
#include "Common/device.h"
#include "Common/items.h"
#include "Common/property.h"
#include "indigo/indigo_bus.h"
#include "indigo/indigo_property.h"
#include "platform/system_log.h"
#include "support/indi_server.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <signal.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

class CountingController : public BaseController {
public:
    void updateProperty(const std::shared_ptr<INDIGO::Property>& property) override {
        if (auto item = property->item<INDIGO::NumberItem>("X")) sum += item->value();
        updates.fetch_add(1, std::memory_order_relaxed);
    }
    double sum = 0;
    std::atomic<long> updates{0};
};

double zetaNanosecondsPerEvent() {
    zeta::platform::setSystemLogHandler([](std::string_view) {});
    auto indigo = std::make_shared<INDIGO>();
    std::vector<std::unique_ptr<CountingController>> controllers;
    for (int i = 0; i < 8; ++i) {
        controllers.push_back(std::make_unique<CountingController>());
        controllers.back()->setIndigo(indigo);
    }
    indigo->startWithLocalServer(false, false);

    indigo_device device{};
    indigo_copy_name(device.name, "Bench Focuser");
    indigo_attach_device(&device);
    indigo_property* property = indigo_init_number_property(nullptr, "Bench Focuser", "FOCUSER_TEMPERATURE", "Focuser",
                                                            "Temperature", INDIGO_OK_STATE, INDIGO_RO_PERM, 1);
    indigo_init_number_item(property->items, "X", "X", -100, 100, 0, 0);
    indigo_define_property(&device, property, nullptr);

    double best = 1e300;
    constexpr long kEvents = 20000;
    for (int round = 0; round < 5; ++round) {
        const auto start = Clock::now();
        for (long i = 0; i < kEvents; ++i) {
            property->items[0].number.value = static_cast<double>(i % 100);
            indigo_update_property(&device, property, nullptr);
        }
        const std::chrono::duration<double, std::nano> elapsed = Clock::now() - start;
        best = std::min(best, elapsed.count() / kEvents);
    }
    const long delivered = controllers.front()->updates.load();
    if (delivered != 5 * kEvents)
        std::fprintf(stderr, "bench common_events: a delegate heard %ld of %ld updates\n", delivered, 5 * kEvents);

    indigo_detach_device(&device);
    indigo_release_property(property);
    indigo.reset();
    for (auto& controller : controllers)
        controller->setIndigo(nullptr);
    zeta::platform::setSystemLogHandler({});
    return best;
}

// indiserver with the focuser simulator, and one protocol client of it.
class Peer {
public:
    ~Peer() {
        if (socket_ >= 0) ::close(socket_);
    }

    bool connect() {
        const auto end = Clock::now() + std::chrono::seconds(10);
        while (Clock::now() < end) {
            socket_ = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(static_cast<std::uint16_t>(server_.port()));
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (::connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return true;
            ::close(socket_);
            socket_ = -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    void send(const std::string& text) {
        std::size_t sent = 0;
        while (sent < text.size()) {
            const ssize_t n = ::send(socket_, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return;
            sent += static_cast<std::size_t>(n);
        }
    }

    // Reads until the text has been seen count times (counting from the last call) or the time
    // runs out; returns how often it was seen.
    long readUntil(const std::string& needle, long count, std::chrono::milliseconds timeout) {
        const auto end = Clock::now() + timeout;
        long seen = 0;
        char chunk[65536];
        while (seen < count && Clock::now() < end) {
            pollfd fd{socket_, POLLIN, 0};
            if (::poll(&fd, 1, 100) <= 0) continue;
            const ssize_t n = ::recv(socket_, chunk, sizeof chunk, 0);
            if (n <= 0) break;
            buffer_.append(chunk, static_cast<std::size_t>(n));
            std::size_t at = 0;
            while ((at = buffer_.find(needle, at)) != std::string::npos) {
                ++seen;
                at += needle.size();
            }
            // Keep a tail that may hold the start of the next match.
            const std::size_t keep = std::min(buffer_.size(), needle.size());
            buffer_.erase(0, buffer_.size() - keep);
        }
        return seen;
    }

private:
    test_support::IndiServer server_{{"indi_simulator_focus"}};
    int socket_ = -1;
    std::string buffer_;
};

double peerNanosecondsPerEvent() {
    std::optional<Peer> started;
    try {
        started.emplace();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench common_events: %s\n", e.what());
        return 0;
    }
    Peer& peer = *started;
    if (!peer.connect()) return 0;
    peer.send("<getProperties version='1.7'/>\n");
    peer.send("<newSwitchVector device='Focuser Simulator' name='CONNECTION'><oneSwitch name='CONNECT'>On</oneSwitch>"
              "</newSwitchVector>\n");
    const std::string defined = "name=\"FOCUS_TEMPERATURE\"";
    if (peer.readUntil(defined, 1, std::chrono::seconds(10)) < 1) return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    peer.readUntil("\x01", 1, std::chrono::milliseconds(200)); // drain the connect burst

    constexpr long kUpdates = 5000;
    std::string burst;
    for (long i = 0; i < kUpdates; ++i)
        burst += "<newNumberVector device='Focuser Simulator' name='FOCUS_TEMPERATURE'><oneNumber name='TEMPERATURE'>" +
                 std::to_string(i % 50) + "</oneNumber></newNumberVector>\n";
    const auto start = Clock::now();
    std::thread writer([&] { peer.send(burst); });
    const long seen = peer.readUntil("name=\"FOCUS_TEMPERATURE\"", kUpdates, std::chrono::seconds(30));
    const std::chrono::duration<double, std::nano> elapsed = Clock::now() - start;
    writer.join();
    if (seen < kUpdates)
        std::fprintf(stderr, "bench common_events: the peer delivered %ld of %ld updates\n", seen, kUpdates);
    return seen > 0 ? elapsed.count() / static_cast<double>(seen) : 0;
}

} // namespace

int main() {
    ::signal(SIGPIPE, SIG_IGN);
    const double zeta = zetaNanosecondsPerEvent();
    const double peer = peerNanosecondsPerEvent();
    if (peer <= 0) {
        std::printf("bench common_events_8_delegates_ns: zeta=%.1f peer=unavailable ratio=0 target=1\n", zeta);
        return 1;
    }
    std::printf("bench common_events_8_delegates_ns: zeta=%.1f peer=%.1f ratio=%.2f target=1\n", zeta, peer,
                peer / zeta);
    std::fprintf(stderr, "bench common_events: %.0f events/s through the model to 8 delegates, peer %.0f updates/s\n",
                 1e9 / zeta, 1e9 / peer);
    return 0;
}
