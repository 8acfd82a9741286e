// Frames through a server: the bus's server (zeta_bench_server) and indiserver, each a process
// of its own running the same driver (zeta_bench_driver), which sends frames of a fixed size
// on request. The same clients, plain sockets that ask for BLOBs and count whole frames, read
// from both; the first frame from each server is checked equal to what the driver sent.
//
// Both servers start the driver on a local socket, where it hands a frame over in shared memory
// beside the message, as INDI drivers a server starts do: the frame lines are taken on that
// path, and again, named "..._inline", with the frame as base64 text in the message (a driver
// on a pipe, or behind a remote server).
//
// Five rounds; in each, both servers are up at once and their runs taken in turn (frames in
// blocks, one at a time, or update runs), but for memory, which needs fresh servers. A line
// gives the median of each side's round figures, the median of the rounds' own ratios
// (peer/zeta) and their spread.
//
// Lines (times in ms, lower is better):
// - blob_relay_cold: a fresh server, a client that has just connected, its first frame; in
//   each round the median of three fresh servers.
// - blob_relay_median: 30 frames back to back (each asked for when the last has come), in
//   three blocks of ten taken in turn with the other server's; the median from request to
//   last byte, the worst beside it on stderr.
// - blob_relay_1/4/16_clients: every client receives the frame; request to the last byte at
//   the slowest client, median of several frames, one from each server in turn.
// - blob_server_cpu_ms_per_frame: the server's own CPU time (user + system) per frame over
//   the back-to-back run; the driver's is not counted.
// - blob_delivery_vs_loopback: from the first byte of the frame's message at the client to
//   its last, against a plain socket copy of the same message over 127.0.0.1 in this run
//   (peer = the loopback copy: the limit).
// - server_updates_1/4/16_clients: 5000 small number updates from the driver, from the
//   request until every client has counted every one; both servers up at once, their runs
//   taken in turn, the median of nine runs each for one client, five for more.
// - server_memory_16_clients: copies of a frame the server holds at once while two frames go
//   to 16 clients one after the other: the growth of its peak memory (over its resident size
//   before) from half-size to full-size 24 MP frames (16 bits), over the growth of the frame.
//   The target is two copies (printed as the ratio that means it); stderr says what the peak
//   holds beside the frames.

#include "bench_frames.h"
#include "bench_wire_support.h"
#include "support/bench_figures.h"
#include "support/free_port.h"
#include "support/indi_server.h"
#include "support/process.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <optional>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;
using zeta::bench::Clock;
using zeta::bench::connectTo;
using zeta::bench::cpuMilliseconds;
using zeta::bench::kDriverDevice;
using zeta::bench::milliseconds;
using zeta::bench::sendAll;

constexpr std::size_t kFrameBytes = 4096u * 3072u * 2u;
constexpr std::size_t kMemoryFrameBytes = 6000u * 4000u * 2u;
constexpr int kBackToBack = 30;
constexpr int kBackToBackBlocks = 3;
constexpr int kFanOutFrames = 7;
constexpr int kColdStarts = 3; // per round: a first frame is one sample per fresh server

// A protocol client on a socket. Frames are counted by their markers, found at each "<" (the
// base64 between holds none), so that reading costs little more than the copy from the kernel.
class FrameReader {
public:
    explicit FrameReader(int fd) : fd_(fd), buffer_(kBuffer) {}
    ~FrameReader() {
        if (fd_ >= 0) close(fd_);
    }
    FrameReader(const FrameReader&) = delete;
    FrameReader& operator=(const FrameReader&) = delete;

    int fd() const { return fd_; }

    // Asks for every property and for the driver's frames; true once its frame property is
    // defined (the BLOB request was sent first, so it has been taken by then).
    bool handshake() {
        const std::string enable = std::string("<enableBLOB device='") + kDriverDevice + "'>Also</enableBLOB>\n";
        if (!sendAll(fd_, enable + "<getProperties version='1.7'/>\n")) return false;
        return waitFor("name=\"IMAGE\"");
    }

    // Reads until the marker comes (no frame may be on its way meanwhile).
    bool waitFor(std::string_view marker) {
        std::string text;
        const auto end = Clock::now() + 20s;
        while (text.find(marker) == std::string::npos) {
            pollfd wait{fd_, POLLIN, 0};
            if (Clock::now() > end) return false;
            if (poll(&wait, 1, 100) <= 0) continue;
            const ssize_t n = recv(fd_, buffer_.data(), buffer_.size(), 0);
            if (n <= 0) return false;
            text.append(buffer_.data(), static_cast<std::size_t>(n));
        }
        return true;
    }

    // Reads until frames whole frames have come. ends receives the time each one ended,
    // firsts when its first byte came; capture, when given, the bytes of the first one.
    bool readFrames(int frames, std::vector<Clock::time_point>& firsts, std::vector<Clock::time_point>& ends,
                    std::string* capture, const std::function<void(int)>& onFrame = {}) {
        int done = 0;
        bool inFrame = false;
        return scan([&] { return done >= frames; },
                    [&](std::string_view head, Clock::time_point now) {
                        if (!inFrame && head.starts_with("<setBLOBVector")) {
                            inFrame = true;
                            firsts.push_back(now);
                        } else if (inFrame && head.starts_with("</setBLOBVector>")) {
                            inFrame = false;
                            ends.push_back(now);
                            ++done;
                            if (onFrame) onFrame(done);
                        }
                    },
                    [&](const char* bytes, std::size_t size) {
                        if (capture != nullptr && done == 0) capture->append(bytes, size);
                    });
    }

    // Reads until count number updates have come; when returns the time the last one did.
    bool readUpdates(long count, Clock::time_point& when) {
        long seen = 0;
        const bool ok = scan([&] { return seen >= count; },
                             [&](std::string_view head, Clock::time_point) {
                                 if (head == "<setNumberVector") ++seen;
                             });
        when = Clock::now();
        if (seen != count) std::fprintf(stderr, "bench server_updates: a client counted %ld of %ld\n", seen, count);
        return ok && seen == count;
    }

private:
    // Reads until done() holds, handing onTag the first kMarker bytes from each "<" (found
    // by memchr: the base64 between holds none) with the time they came, and onBytes what
    // each read brought. False on a failed read, or when 120 s have gone.
    bool scan(const std::function<bool()>& done, const std::function<void(std::string_view, Clock::time_point)>& onTag,
              const std::function<void(const char*, std::size_t)>& onBytes = {}) {
        std::size_t keep = 0;
        const auto deadline = Clock::now() + 120s;
        while (!done()) {
            pollfd wait{fd_, POLLIN, 0};
            if (Clock::now() > deadline) return false;
            if (poll(&wait, 1, 100) <= 0) continue;
            const ssize_t n = recv(fd_, buffer_.data() + keep, buffer_.size() - keep, 0);
            if (n <= 0) return false;
            const auto now = Clock::now();
            const std::size_t size = keep + static_cast<std::size_t>(n);
            const char* data = buffer_.data();
            if (onBytes) onBytes(data + keep, static_cast<std::size_t>(n));
            std::size_t from = 0;
            std::size_t next = size;
            for (;;) {
                const void* lt = std::memchr(data + from, '<', size - from);
                if (lt == nullptr) break;
                const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(lt) - data);
                if (size - at < kMarker) {
                    next = at;
                    break;
                }
                onTag(std::string_view(data + at, kMarker), now);
                from = at + 1;
            }
            keep = size - next;
            if (keep > 0) std::memmove(buffer_.data(), data + next, keep);
        }
        return true;
    }

    static constexpr std::size_t kBuffer = std::size_t{4} << 20;
    static constexpr std::size_t kMarker = 16;
    int fd_;
    std::vector<char> buffer_;
};

// How the driver hands a frame to its server: in shared memory beside the message, as a
// driver a server starts does, or as base64 text inside it, as a driver on a pipe does.
enum class Path { Shared, Inline };

std::string frameRequest(std::size_t bytes, int count, Path path) {
    return std::string("<newNumberVector device='") + kDriverDevice + "' name='FRAME'><oneNumber name='BYTES'>" +
           std::to_string(bytes) + "</oneNumber><oneNumber name='COUNT'>" + std::to_string(count) +
           "</oneNumber><oneNumber name='INLINE'>" + (path == Path::Inline ? "1" : "0") +
           "</oneNumber></newNumberVector>\n";
}

// The base64 payload of a captured frame message, white space dropped.
std::string payload(const std::string& message) {
    const std::size_t open = message.find("<oneBLOB");
    const std::size_t start = open == std::string::npos ? open : message.find('>', open);
    const std::size_t end = message.find("</oneBLOB>");
    if (start == std::string::npos || end == std::string::npos || end < start) return {};
    std::string text;
    text.reserve(end - start);
    for (std::size_t i = start + 1; i < end; ++i)
        if (message[i] != ' ' && message[i] != '\n' && message[i] != '\r' && message[i] != '\t') text += message[i];
    return text;
}

// One server process with the driver.
class Server {
public:
    virtual ~Server() = default;
    virtual int port() const = 0;
    virtual pid_t pid() const = 0;
};

class ZetaServer final : public Server {
public:
    ZetaServer()
        : port_(test_support::freePort()),
          process_({ZETA_BENCH_SERVER, std::to_string(port_), ZETA_BENCH_DRIVER}, {{"HOME", home_.path().string()}},
                   (home_.path() / "server.log").string()) {}
    int port() const override { return port_; }
    pid_t pid() const override { return process_.pid(); }

private:
    test_support::TempDir home_{"zeta-bench-server"};
    int port_;
    test_support::Process process_;
};

class PeerServer final : public Server {
public:
    PeerServer() : server_({ZETA_BENCH_DRIVER}) {}
    int port() const override { return server_.port(); }
    pid_t pid() const override { return server_.pid(); }

private:
    test_support::IndiServer server_;
};

// A line of /proc/PID/status in bytes ("VmRSS", "VmHWM").
double statusBytes(pid_t pid, const std::string& key) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key + ":", 0) == 0) return 1024.0 * std::atof(line.c_str() + key.size() + 1);
    return 0;
}

// Clients of one server, each reading on a thread of its own while one of them asks for
// frames, one at a time.
class ClientGroup {
public:
    explicit ClientGroup(Path path) : path_(path) {}

    bool add(int port, int count) {
        for (int i = 0; i < count; ++i) {
            const int fd = connectTo(port, 10s);
            if (fd < 0) return false;
            readers_.push_back(std::make_unique<FrameReader>(fd));
            if (!readers_.back()->handshake()) return false;
        }
        return true;
    }
    std::size_t size() const { return readers_.size(); }

    // Has the driver make frames of that size before any is timed.
    bool prepare(std::size_t bytes) {
        if (!sendAll(readers_.front()->fd(), frameRequest(bytes, 0, path_))) return false;
        return readers_.front()->waitFor("name=\"FRAME\" state=\"Ok\"");
    }

    struct Run {
        std::vector<double> frame;    // request to the last byte at the slowest client
        std::vector<double> delivery; // first client: first byte to last
        std::string captured;         // first client's first frame
        bool ok = false;
    };

    Run frames(std::size_t bytes, int count, bool capture) {
        Run run;
        const std::size_t clients = readers_.size();
        std::vector<std::vector<Clock::time_point>> firsts(clients), ends(clients);
        std::mutex mutex;
        std::condition_variable changed;
        std::vector<int> done(clients, 0);
        std::atomic<bool> failed{false};
        std::vector<std::thread> threads;
        for (std::size_t c = 0; c < clients; ++c)
            threads.emplace_back([&, c] {
                const bool ok = readers_[c]->readFrames(count, firsts[c], ends[c],
                                                        capture && c == 0 ? &run.captured : nullptr, [&](int frames) {
                                                            std::lock_guard lock(mutex);
                                                            done[c] = frames;
                                                            changed.notify_all();
                                                        });
                if (!ok) {
                    std::lock_guard lock(mutex);
                    failed = true;
                    changed.notify_all();
                }
            });
        std::vector<Clock::time_point> asked;
        for (int i = 0; i < count && !failed; ++i) {
            asked.push_back(Clock::now());
            if (!sendAll(readers_.front()->fd(), frameRequest(bytes, 1, path_))) {
                failed = true;
                break;
            }
            std::unique_lock lock(mutex);
            changed.wait(lock,
                         [&] { return failed || std::all_of(done.begin(), done.end(), [&](int d) { return d > i; }); });
        }
        for (auto& thread : threads)
            thread.join();
        if (failed) return run;
        for (int i = 0; i < count; ++i) {
            Clock::time_point last = ends[0][static_cast<std::size_t>(i)];
            for (std::size_t c = 1; c < clients; ++c)
                last = std::max(last, ends[c][static_cast<std::size_t>(i)]);
            run.frame.push_back(milliseconds(last - asked[static_cast<std::size_t>(i)]));
            run.delivery.push_back(
                milliseconds(ends[0][static_cast<std::size_t>(i)] - firsts[0][static_cast<std::size_t>(i)]));
        }
        run.ok = true;
        return run;
    }

    // Milliseconds from the request until every client has had every update; 0 on failure.
    double updates(long count) {
        std::vector<Clock::time_point> ends(readers_.size());
        std::atomic<bool> failed{false};
        std::vector<std::thread> threads;
        const auto asked = Clock::now();
        for (std::size_t c = 0; c < readers_.size(); ++c)
            threads.emplace_back([&, c] {
                if (!readers_[c]->readUpdates(count, ends[c])) failed = true;
            });
        const std::string request = std::string("<newNumberVector device='") + kDriverDevice +
                                    "' name='EVENTS'><oneNumber name='COUNT'>" + std::to_string(count) +
                                    "</oneNumber></newNumberVector>\n";
        if (!sendAll(readers_.front()->fd(), request)) failed = true;
        for (auto& thread : threads)
            thread.join();
        if (failed) return 0;
        return milliseconds(*std::max_element(ends.begin(), ends.end()) - asked);
    }

private:
    Path path_;
    std::vector<std::unique_ptr<FrameReader>> readers_;
};

struct Figures {
    double cold = 0;
    double median = 0;
    double worst = 0;
    double delivery = 0;
    double loopback = 0;
    double cpuPerFrame = 0;
    double fanOut[3] = {0, 0, 0};
    std::vector<double> colds; // the round's first frames, each from a fresh server
    double memoryCopies = 0;
    double memoryBeside = 0; // bytes of the peak that do not grow with the frame
    double updates[3] = {0, 0, 0};
};

constexpr long kUpdates = 5000;
// Runs per round for 1, 4 and 16 clients: one client's run is short beside the load's swings.
constexpr int kUpdateRuns[3] = {9, 5, 5};
constexpr int kClientCounts[3] = {1, 4, 16};

// Connects clients to the server until the group has count of them; false (said on stderr
// under line's name) when one cannot.
bool grow(ClientGroup& group, const Server& server, int count, const char* line, const char* who) {
    if (group.add(server.port(), count - static_cast<int>(group.size()))) return true;
    std::fprintf(stderr, "bench %s: %s: %d clients could not connect\n", line, who, count);
    return false;
}

// A group of clients that has had the driver make frames of that size.
bool framesReady(ClientGroup& group, const Server& server, int clients, std::size_t bytes, const char* line,
                 const char* who) {
    if (!grow(group, server, clients, line, who)) return false;
    if (group.prepare(bytes)) return true;
    std::fprintf(stderr, "bench %s: %s: the driver did not make its frames\n", line, who);
    return false;
}

// Small updates, the same for every client, to 1, 4 and 16 clients of both servers at once:
// their runs taken in turn, so that load that comes and goes falls on both alike. A run is
// short beside the load's swings: each figure is the median of a few.
bool measureUpdates(Figures& zeta, Figures& peer) {
    ZetaServer zetaServer;
    PeerServer peerServer;
    ClientGroup zetaGroup(Path::Shared), peerGroup(Path::Shared);
    for (int k = 0; k < 3; ++k) {
        if (!grow(zetaGroup, zetaServer, kClientCounts[k], "server_updates", "zeta") ||
            !grow(peerGroup, peerServer, kClientCounts[k], "server_updates", "indiserver"))
            return false;
        std::vector<double> zetaRuns, peerRuns;
        for (int i = 0; i < kUpdateRuns[k]; ++i) {
            zetaRuns.push_back(zetaGroup.updates(kUpdates));
            peerRuns.push_back(peerGroup.updates(kUpdates));
            if (zetaRuns.back() <= 0 || peerRuns.back() <= 0) {
                std::fprintf(stderr, "bench server_updates: %s: not every update reached %d clients\n",
                             zetaRuns.back() <= 0 ? "zeta" : "indiserver", kClientCounts[k]);
                return false;
            }
        }
        zeta.updates[k] = zeta::bench::medianOf(zetaRuns);
        peer.updates[k] = zeta::bench::medianOf(peerRuns);
    }
    return true;
}

// One more first frame from each server, both fresh, one after the other.
bool measureCold(Path path, Figures& zeta, Figures& peer) {
    ZetaServer zetaServer;
    PeerServer peerServer;
    ClientGroup zetaGroup(path), peerGroup(path);
    if (!framesReady(zetaGroup, zetaServer, 1, kFrameBytes, "blob_relay", "zeta") ||
        !framesReady(peerGroup, peerServer, 1, kFrameBytes, "blob_relay", "indiserver"))
        return false;
    // Kept for the check, as in measureRelay: the same work at the client.
    const ClientGroup::Run zetaCold = zetaGroup.frames(kFrameBytes, 1, true);
    const ClientGroup::Run peerCold = peerGroup.frames(kFrameBytes, 1, true);
    if (!zetaCold.ok || !peerCold.ok) {
        std::fprintf(stderr, "bench blob_relay: %s: the first frame did not come\n",
                     zetaCold.ok ? "indiserver" : "zeta");
        return false;
    }
    const std::string sent = zeta::bench::plainBase64(zeta::bench::frameBytes(kFrameBytes));
    if (payload(zetaCold.captured) != sent || payload(peerCold.captured) != sent) {
        std::fprintf(stderr, "bench blob_relay: a first frame that came is not the one the driver sent\n");
        return false;
    }
    zeta.colds.push_back(zetaCold.frame.front());
    peer.colds.push_back(peerCold.frame.front());
    return true;
}

// One server of a paired measurement, its clients and what they measured.
struct Side {
    const Server& server;
    Figures& figures;
    const char* who;
    ClientGroup group;
    std::vector<double> frames, delivery;
    double cpu = 0;
};

// Frames from both servers, up at once, their runs taken in turn.
bool measureRelay(Path path, Figures& zeta, Figures& peer) {
    ZetaServer zetaServer;
    PeerServer peerServer;
    Side sides[2] = {{zetaServer, zeta, "zeta", ClientGroup(path), {}, {}, 0},
                     {peerServer, peer, "indiserver", ClientGroup(path), {}, {}, 0}};
    for (Side& side : sides)
        if (!framesReady(side.group, side.server, 1, kFrameBytes, "blob_relay", side.who)) return false;
    for (Side& side : sides) {
        const ClientGroup::Run cold = side.group.frames(kFrameBytes, 1, true);
        if (!cold.ok) {
            std::fprintf(stderr, "bench blob_relay: %s: the first frame did not come\n", side.who);
            return false;
        }
        if (payload(cold.captured) != zeta::bench::plainBase64(zeta::bench::frameBytes(kFrameBytes))) {
            std::fprintf(stderr, "bench blob_relay: %s: the frame that came is not the one the driver sent\n",
                         side.who);
            return false;
        }
        side.figures.colds.push_back(cold.frame.front());
    }

    // Back to back, in blocks taken in turn.
    for (int block = 0; block < kBackToBackBlocks; ++block) {
        for (Side& side : sides) {
            const double cpuBefore = cpuMilliseconds(side.server.pid());
            const ClientGroup::Run run = side.group.frames(kFrameBytes, kBackToBack / kBackToBackBlocks, false);
            side.cpu += cpuMilliseconds(side.server.pid()) - cpuBefore;
            if (!run.ok) {
                std::fprintf(stderr, "bench blob_relay: %s: frames back to back failed\n", side.who);
                return false;
            }
            side.frames.insert(side.frames.end(), run.frame.begin(), run.frame.end());
            side.delivery.insert(side.delivery.end(), run.delivery.begin(), run.delivery.end());
        }
    }
    for (Side& side : sides) {
        side.figures.median = zeta::bench::medianOf(side.frames);
        side.figures.worst = *std::max_element(side.frames.begin(), side.frames.end());
        side.figures.delivery = zeta::bench::medianOf(side.delivery);
        side.figures.cpuPerFrame = side.cpu / kBackToBack;
    }

    // To more clients, a frame from each server in turn.
    for (int k = 0; k < 3; ++k) {
        for (Side& side : sides) {
            if (!grow(side.group, side.server, kClientCounts[k], "blob_relay", side.who)) return false;
            side.frames.clear();
        }
        for (int i = 0; i < kFanOutFrames; ++i) {
            for (Side& side : sides) {
                const ClientGroup::Run fan = side.group.frames(kFrameBytes, 1, false);
                if (!fan.ok) {
                    std::fprintf(stderr, "bench blob_relay: %s: not every frame reached %d clients\n", side.who,
                                 kClientCounts[k]);
                    return false;
                }
                side.frames.push_back(fan.frame.front());
            }
        }
        for (Side& side : sides)
            side.figures.fanOut[k] = zeta::bench::medianOf(side.frames);
    }
    return true;
}

// The server's peak memory over its resident size before, in bytes, while two frames of the
// given size go to 16 clients one after the other; a fresh server for each.
template <class S>
bool peakOverResident(Path path, const char* who, std::size_t frameBytes, double& bytes) {
    S server;
    ClientGroup group(path);
    if (!framesReady(group, server, 16, frameBytes, "server_memory", who)) return false;
    const double before = statusBytes(server.pid(), "VmRSS");
    const ClientGroup::Run run = group.frames(frameBytes, 2, false);
    const double peak = statusBytes(server.pid(), "VmHWM");
    if (!run.ok || before <= 0 || peak <= 0) {
        std::fprintf(stderr, "bench server_memory: %s: the frames did not come\n", who);
        return false;
    }
    bytes = peak - before;
    return true;
}

// Copies of a frame held at once: how the peak grows with the frame's size, from frames of
// full and half size. What every client holds whatever the frame (its piece of text on the
// way out, its socket's state) is the same in both and falls out; it is kept apart.
template <class S>
bool measureMemory(Path path, const char* who, Figures& figures) {
    double full = 0, half = 0;
    if (!peakOverResident<S>(path, who, kMemoryFrameBytes, full) ||
        !peakOverResident<S>(path, who, kMemoryFrameBytes / 2, half))
        return false;
    figures.memoryCopies = (full - half) / static_cast<double>(kMemoryFrameBytes - kMemoryFrameBytes / 2);
    figures.memoryBeside = full - figures.memoryCopies * static_cast<double>(kMemoryFrameBytes);
    return true;
}

// The limit: the same frame message written over a 127.0.0.1 socket and read by the same
// reader, first byte to last.
double loopbackMilliseconds() {
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener, 1) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(listener);
        return 0;
    }
    const int client = connectTo(ntohs(address.sin_port), 5s);
    const int served = accept(listener, nullptr, nullptr);
    close(listener);
    if (client < 0 || served < 0) {
        if (served >= 0) close(served);
        if (client >= 0) close(client);
        return 0;
    }
    const int yes = 1;
    setsockopt(served, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    const std::string message = zeta::bench::frameMessage(kFrameBytes);
    FrameReader reader(client);
    constexpr int kCopies = 7;
    std::vector<Clock::time_point> firsts, ends;
    std::thread writer([&] {
        for (int i = 0; i < kCopies; ++i)
            sendAll(served, message);
    });
    const bool ok = reader.readFrames(kCopies, firsts, ends, nullptr);
    writer.join();
    close(served);
    if (!ok) return 0;
    std::vector<double> times;
    for (int i = 0; i < kCopies; ++i)
        times.push_back(milliseconds(ends[static_cast<std::size_t>(i)] - firsts[static_cast<std::size_t>(i)]));
    return zeta::bench::medianOf(times);
}

// Rounds of both servers, one right after the other: a line's ratio is the median of the
// rounds' own ratios, so that load that comes and goes between rounds falls on both sides.
constexpr int kRounds = 5;

struct Round {
    Figures zeta, peer;
};

using Pick = std::function<double(const Figures&)>;

using Line = zeta::bench::PairMs;

// The medians of each side's figure and of the rounds' own ratios, and how far those stray.
Line figures(const std::vector<Round>& rounds, const Pick& zetaPick, const Pick& peerPick) {
    std::vector<double> zeta, peer;
    for (const Round& round : rounds) {
        zeta.push_back(zetaPick(round.zeta));
        peer.push_back(peerPick(round.peer));
    }
    return zeta::bench::pairOfRuns(zeta, peer);
}

void print(const char* name, const Line& l, double target) {
    std::printf("bench %s: zeta=%.2f peer=%.2f ratio=%.2f target=%.2f spread=%.0f%%\n", name, l.zeta, l.peer, l.ratio,
                target, 100 * l.spread);
}

void line(const char* name, const std::vector<Round>& rounds, const Pick& pick, double target) {
    print(name, figures(rounds, pick, pick), target);
}

// The frame lines of one path, the name ending in suffix.
struct BlobTargets {
    double median, fanOut[3];
};

void printBlobLines(const std::vector<Round>& rounds, const std::string& suffix, const BlobTargets& targets) {
    const auto name = [&](const char* base) {
        return std::string(base) + suffix;
    };
    line(
        name("blob_relay_cold").c_str(), rounds, [](const Figures& f) { return f.cold; }, 1);
    line(
        name("blob_relay_median").c_str(), rounds, [](const Figures& f) { return f.median; }, targets.median);
    const Line worst = figures(
        rounds, [](const Figures& f) { return f.worst; }, [](const Figures& f) { return f.worst; });
    std::fprintf(stderr, "bench %s: worst of %d frames zeta=%.1f ms indiserver=%.1f ms\n",
                 name("blob_relay_median").c_str(), kBackToBack, worst.zeta, worst.peer);
    const char* fanOutNames[3] = {"blob_relay_1_clients", "blob_relay_4_clients", "blob_relay_16_clients"};
    for (int k = 0; k < 3; ++k)
        line(
            name(fanOutNames[k]).c_str(), rounds, [k](const Figures& f) { return f.fanOut[k]; }, targets.fanOut[k]);
    line(
        name("blob_server_cpu_ms_per_frame").c_str(), rounds, [](const Figures& f) { return f.cpuPerFrame; }, 1);
    // The aim is at most two frames whatever the client count: as a ratio, peer/2. Memory
    // does not drift with load, so the ratio is of the medians here.
    Line memory = figures(
        rounds, [](const Figures& f) { return f.memoryCopies; }, [](const Figures& f) { return f.memoryCopies; });
    memory.ratio = memory.peer / memory.zeta;
    print(name("server_memory_16_clients").c_str(), memory, memory.peer / 2);
    // Two frames are the most a relay needs: the one being sent and the next being read.
    const Line beside = figures(
        rounds, [](const Figures& f) { return f.memoryBeside; }, [](const Figures& f) { return f.memoryBeside; });
    std::fprintf(stderr,
                 "bench %s: zeta holds %.3f copies of a frame at once and %.1f MB beside "
                 "them whatever the frame (indiserver %.3f and %.1f MB)\n",
                 name("server_memory_16_clients").c_str(), memory.zeta, beside.zeta / 1e6, memory.peer,
                 beside.peer / 1e6);
}

// The frame figures of one round on one path.
bool measureBlobs(Path path, Round& round) {
    bool ok = measureRelay(path, round.zeta, round.peer);
    for (int i = 1; ok && i < kColdStarts; ++i)
        ok = measureCold(path, round.zeta, round.peer);
    round.zeta.cold = zeta::bench::medianOf(round.zeta.colds);
    round.peer.cold = zeta::bench::medianOf(round.peer.colds);
    return ok && measureMemory<ZetaServer>(path, "zeta", round.zeta) &&
           measureMemory<PeerServer>(path, "indiserver", round.peer);
}

} // namespace

int main() {
    std::signal(SIGPIPE, SIG_IGN);
    // Shared memory is how a driver a server starts hands its frames over, the path users
    // take; inline text is kept as lines of its own (a driver on a pipe, a remote server).
    std::vector<Round> rounds(kRounds), inlineRounds(kRounds);
    try {
        for (int r = 0; r < kRounds; ++r) {
            Round& round = rounds[static_cast<std::size_t>(r)];
            if (!measureBlobs(Path::Shared, round) ||
                !measureBlobs(Path::Inline, inlineRounds[static_cast<std::size_t>(r)]) ||
                !measureUpdates(round.zeta, round.peer)) {
                std::fprintf(stderr, "bench blob_relay: failed\n");
                return 1;
            }
            round.zeta.loopback = round.peer.loopback = loopbackMilliseconds();
            if (round.zeta.loopback <= 0) {
                std::fprintf(stderr, "bench blob_relay: failed (the loopback copy)\n");
                return 1;
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench blob_relay: failed: %s\n", e.what());
        return 1;
    }
    printBlobLines(rounds, "", {1.5, {1, 1, 1.5}});
    printBlobLines(inlineRounds, "_inline", {1.5, {1, 1, 2}});
    print("blob_delivery_vs_loopback",
          figures(
              rounds, [](const Figures& f) { return f.delivery; }, [](const Figures& f) { return f.loopback; }),
          0.6);
    const char* updateNames[3] = {"server_updates_1_clients", "server_updates_4_clients", "server_updates_16_clients"};
    for (int k = 0; k < 3; ++k)
        line(
            updateNames[k], rounds, [k](const Figures& f) { return f.updates[k]; }, 1);
    return 0;
}
