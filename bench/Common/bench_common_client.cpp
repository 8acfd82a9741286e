// Zeta's network client (INDIGO connected to a server, a controller reading each update)
// against libindi's own C++ client (INDI::BaseClient reading each update), one after the
// other in eleven rounds (which goes first alternates), from the same indiserver running the
// same driver (zeta_bench_driver). A separate
// connection asks the driver for its events, so both clients are sent the same bytes.
//
// indiserver relays more slowly than either client takes in, so the time until the last
// update is the server's, the same for both; what tells the clients apart is the work each
// does for what it receives: this process's CPU time (user and system, every thread) from
// the request until the client has it all. The wall times go to stderr.
//
// Lines (ratio = the median of the rounds' own peer/zeta, their spread after it; lower
// figures are better):
// - client_events: CPU microseconds per update, over 20000 number updates (each counted, the
//   last value checked).
// - client_blob_32MB: CPU milliseconds until the client holds a copy of a 32 MB BLOB's
//   decoded bytes (checked equal to what the driver sent, afterwards).

#include "../indigo/bench_frames.h"
#include "Common/base_controller.h"
#include "Common/blob_item.h"
#include "Common/items.h"
#include "Common/property.h"
#include "platform/system_log.h"
#include "support/bench_figures.h"
#include "support/indi_server.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <libindi/baseclient.h>
#include <libindi/basedevice.h>
#include <mutex>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using zeta::bench::kDriverDevice;

constexpr long kEvents = 20000;
constexpr std::size_t kBlobBytes = std::size_t{32} << 20;

// What a client has taken in, told by whichever thread it takes it on.
class Tally {
public:
    // Counts each update; only the last wakes the waiter, whose wake-ups are not the client's.
    void value(double x) {
        std::lock_guard lock(mutex_);
        ++values_;
        if (x != static_cast<double>(kEvents)) return;
        lastAt_ = Clock::now();
        changed_.notify_all();
    }
    void defined() {
        std::lock_guard lock(mutex_);
        defined_ = true;
        changed_.notify_all();
    }
    void blob(std::vector<std::uint8_t> bytes) {
        const auto now = Clock::now();
        std::lock_guard lock(mutex_);
        blob_ = std::move(bytes);
        blobAt_ = now;
        changed_.notify_all();
    }
    bool waitDefined() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 20s, [&] { return defined_; });
    }
    std::optional<Clock::time_point> waitLast(long& counted) {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_for(lock, 60s, [&] { return lastAt_.has_value(); })) return std::nullopt;
        counted = values_;
        return lastAt_;
    }
    std::optional<Clock::time_point> waitBlob(std::vector<std::uint8_t>& bytes) {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_for(lock, 60s, [&] { return blobAt_.has_value(); })) return std::nullopt;
        bytes = std::move(blob_);
        return blobAt_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool defined_ = false;
    long values_ = 0;
    std::optional<Clock::time_point> lastAt_;
    std::vector<std::uint8_t> blob_;
    std::optional<Clock::time_point> blobAt_;
};

// The connection that asks the driver for what the clients are to receive.
class Asker {
public:
    explicit Asker(int port) {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        for (int attempt = 0; attempt < 200; ++attempt) {
            if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
                // It follows no device, and what comes anyway is read and dropped: a server
                // that queues for a connection that does not read slows everyone down.
                const std::string follow = "<getProperties version='1.7' device='Bench Asker'/>\n";
                ::send(fd_, follow.data(), follow.size(), MSG_NOSIGNAL);
                drain_ = std::thread([fd = fd_] {
                    char buffer[65536];
                    while (::recv(fd, buffer, sizeof buffer, 0) > 0) {}
                });
                return;
            }
            std::this_thread::sleep_for(25ms);
        }
        close(fd_);
        fd_ = -1;
    }
    ~Asker() {
        if (fd_ >= 0) {
            shutdown(fd_, SHUT_RDWR);
            drain_.join();
            close(fd_);
        }
    }
    bool ok() const { return fd_ >= 0; }
    bool ask(const std::string& property, const std::string& items) {
        const std::string text = std::string("<newNumberVector device='") + kDriverDevice + "' name='" + property +
                                 "'>" + items + "</newNumberVector>\n";
        return ::send(fd_, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
    }
    bool askEvents() { return ask("EVENTS", "<oneNumber name='COUNT'>" + std::to_string(kEvents) + "</oneNumber>"); }
    bool askBlob(int count) {
        return ask("FRAME", "<oneNumber name='BYTES'>" + std::to_string(kBlobBytes) +
                                "</oneNumber><oneNumber name='COUNT'>" + std::to_string(count) + "</oneNumber>");
    }

private:
    int fd_ = -1;
    std::thread drain_;
};

class ZetaCounter : public BaseController {
public:
    explicit ZetaCounter(Tally& tally) : tally_(tally) {}
    void defineProperty(const std::shared_ptr<INDIGO::Property>& property) override {
        if (property->name() == "IMAGE") tally_.defined();
    }
    void updateProperty(const std::shared_ptr<INDIGO::Property>& property) override {
        if (property->name() == "VALUE") {
            if (auto item = property->item<INDIGO::NumberItem>("X")) tally_.value(item->value());
        } else if (property->name() == "IMAGE") {
            if (auto item = property->item<INDIGO::BLOBItem>("DATA")) {
                const zeta::platform::Data data = item->eventValue();
                if (!data.empty()) tally_.blob(std::vector<std::uint8_t>(data.bytes(), data.bytes() + data.length()));
            }
        }
    }

private:
    Tally& tally_;
};

class PeerCounter : public INDI::BaseClient {
public:
    explicit PeerCounter(Tally& tally) : tally_(tally) {}

protected:
    void newProperty(INDI::Property property) override {
        if (std::strcmp(property.getName(), "IMAGE") == 0) tally_.defined();
    }
    void updateProperty(INDI::Property property) override {
        if (std::strcmp(property.getName(), "VALUE") == 0) {
            tally_.value(property.getNumber()->at(0)->getValue());
        } else if (std::strcmp(property.getName(), "IMAGE") == 0) {
            const IBLOB* blob = property.getBLOB()->at(0);
            const auto* bytes = static_cast<const std::uint8_t*>(blob->blob);
            tally_.blob(std::vector<std::uint8_t>(bytes, bytes + blob->bloblen));
        }
    }

private:
    Tally& tally_;
};

struct Figures {
    double events = 0; // CPU microseconds per update
    double blob = 0;   // CPU milliseconds
    double eventsWall = 0;
    double blobWall = 0;
    bool ok = false;
};

double cpuMilliseconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) * 1e3 + t.tv_usec / 1e3;
    };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// Times one client, already connected and told of the driver, through both runs.
bool measure(const char* who, Tally& tally, Asker& asker, Figures& figures) {
    if (!tally.waitDefined()) {
        std::fprintf(stderr, "bench client: %s never saw the driver's properties\n", who);
        return false;
    }
    std::this_thread::sleep_for(300ms); // the rest of the definitions and BLOB settings settle
    const double cpuBefore = cpuMilliseconds();
    const auto asked = Clock::now();
    if (!asker.askEvents()) return false;
    long counted = 0;
    const auto last = tally.waitLast(counted);
    const double cpuAfter = cpuMilliseconds();
    if (!last || counted != kEvents) {
        std::fprintf(stderr, "bench client_events: %s took %ld of %ld updates\n", who, counted, kEvents);
        return false;
    }
    figures.events = (cpuAfter - cpuBefore) * 1e3 / kEvents;
    figures.eventsWall = std::chrono::duration<double, std::milli>(*last - asked).count();

    if (!asker.askBlob(0)) return false; // the driver makes the frame now, untimed
    std::this_thread::sleep_for(1s);
    const double blobCpuBefore = cpuMilliseconds();
    const auto blobAsked = Clock::now();
    if (!asker.askBlob(1)) return false;
    std::vector<std::uint8_t> bytes;
    const auto held = tally.waitBlob(bytes);
    const double blobCpuAfter = cpuMilliseconds();
    if (!held) {
        std::fprintf(stderr, "bench client_blob_32MB: %s got no BLOB\n", who);
        return false;
    }
    figures.blob = blobCpuAfter - blobCpuBefore;
    figures.blobWall = std::chrono::duration<double, std::milli>(*held - blobAsked).count();
    if (bytes != zeta::bench::frameBytes(kBlobBytes)) {
        std::fprintf(stderr, "bench client_blob_32MB: %s got other bytes than the driver sent\n", who);
        return false;
    }
    figures.ok = true;
    return true;
}

Figures zetaClient(int port) {
    Figures figures;
    zeta::platform::setSystemLogHandler([](std::string_view) {});
    Tally tally;
    {
        auto indigo = std::make_shared<INDIGO>();
        ZetaCounter counter(tally);
        counter.setIndigo(indigo);
        indigo->startWithLocalServer(false, false);
        Asker asker(port);
        indigo_server_entry* entry = asker.ok() ? indigo->addServer("127.0.0.1", port) : nullptr;
        if (entry != nullptr) {
            measure("zeta", tally, asker, figures);
            // The connection is the bus's: left, it would go on receiving the next rounds.
            indigo->removeServer(entry);
        }
        indigo.reset();
        counter.setIndigo(nullptr);
    }
    zeta::platform::setSystemLogHandler({});
    return figures;
}

Figures peerClient(int port) {
    Figures figures;
    Tally tally;
    PeerCounter client(tally);
    client.setServer("127.0.0.1", static_cast<unsigned>(port));
    Asker asker(port);
    if (!asker.ok() || !client.connectServer()) {
        std::fprintf(stderr, "bench client: libindi's client could not connect\n");
        return figures;
    }
    client.setBLOBMode(B_ALSO, kDriverDevice, nullptr);
    measure("libindi", tally, asker, figures);
    client.disconnectServer();
    return figures;
}

} // namespace

int main() {
    std::signal(SIGPIPE, SIG_IGN);
    // Rounds, each client once per round, the first of them alternating: the load that comes
    // and goes falls on both alike, and a line is the median of the rounds' own ratios. A
    // stretch of load on the host can slow a few rounds in a row: of five, three were once
    // slowed, and the median came out 50% above the next run's; eleven outlast such a stretch.
    constexpr int kRounds = 11;
    std::vector<Figures> zetaRounds, peerRounds;
    try {
        const test_support::IndiServer server({ZETA_BENCH_DRIVER});
        if (!server.waitUntilListening()) throw std::runtime_error("indiserver does not listen");
        for (int round = 0; round < kRounds; ++round) {
            Figures zeta, peer;
            if (round % 2 == 0) {
                zeta = zetaClient(server.port());
                peer = peerClient(server.port());
            } else {
                peer = peerClient(server.port());
                zeta = zetaClient(server.port());
            }
            if (!zeta.ok || !peer.ok) {
                std::fprintf(stderr, "bench client: failed (zeta %s, libindi %s)\n", zeta.ok ? "ok" : "failed",
                             peer.ok ? "ok" : "failed");
                return 1;
            }
            zetaRounds.push_back(zeta);
            peerRounds.push_back(peer);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench client: %s\n", e.what());
        return 1;
    }
    const auto runsOf = [](const std::vector<Figures>& rounds, double Figures::*figure) {
        std::vector<double> values;
        for (const Figures& round : rounds)
            values.push_back(round.*figure);
        return values;
    };
    const auto line = [&](const char* name, double Figures::*figure, double target) {
        const auto pair = zeta::bench::pairOfRuns(runsOf(zetaRounds, figure), runsOf(peerRounds, figure));
        std::printf("bench %s: zeta=%.2f peer=%.2f ratio=%.2f target=%.0f spread=%.0f%%\n", name, pair.zeta, pair.peer,
                    pair.ratio, target, 100 * pair.spread);
    };
    line("client_events", &Figures::events, 2);
    line("client_blob_32MB", &Figures::blob, 1);
    std::fprintf(stderr,
                 "bench client: until the last update zeta=%.0f ms libindi=%.0f ms; until the BLOB zeta=%.0f ms "
                 "libindi=%.0f ms (both paced by indiserver; medians)\n",
                 zeta::bench::medianOf(runsOf(zetaRounds, &Figures::eventsWall)),
                 zeta::bench::medianOf(runsOf(peerRounds, &Figures::eventsWall)),
                 zeta::bench::medianOf(runsOf(zetaRounds, &Figures::blobWall)),
                 zeta::bench::medianOf(runsOf(peerRounds, &Figures::blobWall)));
    return 0;
}
