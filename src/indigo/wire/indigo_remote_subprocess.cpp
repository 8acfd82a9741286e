// INDI driver executables as subprocesses: the driver's stdout is read as a peer's stream
// (its devices mirrored onto the bus), its stdin takes change requests and the properties
// it watches (a driver's getProperties names another device's property it follows).
//
// Both are one local socket. On a socket a driver sends a BLOB's bytes in shared memory,
// its descriptor passed beside the message, rather than as base64 text: a frame then
// costs it and us a copy instead of an encoding, a pipe's worth of text and a decoding.
//
// The driver's stderr carries its diagnostics ("gsc: not found"): each line goes to the log
// under the driver's name, at the level that is always shown (a driver says little there,
// and what it says is why it misbehaves), read by a thread of the entry's own.

#include "indigo/bus/text_field.h"
#include "indigo/indigo_log.h"
#include "indigo/indigo_remote.h"
#include "indigo/wire/indigo_wire_client.h"
#include "indigo/wire/indigo_wire_link.h"
#include "indigo/wire/indigo_wire_mirror.h"
#include "indigo/wire/indigo_xml_writer.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

extern char** environ;

namespace {

// The pidfd calls by number: glibc's declarations of them lack C linkage in C++.
int pidfd_open(pid_t pid, unsigned int flags) {
    return static_cast<int>(syscall(SYS_pidfd_open, pid, flags));
}

int pidfd_send_signal(int pidfd, int number, siginfo_t* info, unsigned int flags) {
    return static_cast<int>(syscall(SYS_pidfd_send_signal, pidfd, number, info, flags));
}

} // namespace

namespace zeta::indigo::wire {

namespace {

constexpr int kLeaveMs = 2000; // for leaving on its own after stdin closes, then after SIGTERM
constexpr std::size_t kMaxLogLine = 4096;

// Reads a driver's stderr until it ends or the entry stops, logging each line.
class StderrLog {
public:
    StderrLog(std::string driver, int fd) : driver_(std::move(driver)), fd_(fd) {
        wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (fd_ >= 0) {
            fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
            thread_ = std::thread([this] { run(); });
        }
    }
    ~StderrLog() { stop(); }
    StderrLog(const StderrLog&) = delete;
    StderrLog& operator=(const StderrLog&) = delete;

    // What the driver wrote before it went is still logged; a child of its that keeps the
    // pipe open does not hold this up.
    void stop() {
        if (wake_ >= 0) {
            const std::uint64_t one = 1;
            [[maybe_unused]] const auto written = ::write(wake_, &one, sizeof one);
        }
        if (thread_.joinable()) thread_.join();
        if (fd_ >= 0) ::close(fd_);
        if (wake_ >= 0) ::close(wake_);
        fd_ = wake_ = -1;
    }

private:
    void run() {
        std::string line;
        char buffer[4096];
        bool stopping = false;
        for (;;) {
            if (!stopping) {
                pollfd fds[2] = {{fd_, POLLIN, 0}, {wake_, POLLIN, 0}};
                if (poll(fds, wake_ >= 0 ? 2 : 1, -1) < 0) {
                    if (errno == EINTR) continue;
                    break;
                }
                stopping = fds[1].revents != 0;
            }
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n < 0 && (errno == EINTR || (errno == EAGAIN && !stopping))) continue;
            if (n <= 0) break; // the end, or (stopping) nothing more there
            for (ssize_t i = 0; i < n; ++i) {
                if (buffer[i] == '\n') {
                    emit(line);
                    line.clear();
                } else if (line.size() < kMaxLogLine) {
                    line += buffer[i];
                }
            }
        }
        emit(line);
    }

    void emit(std::string& line) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        if (!line.empty()) indigo_error("indigo: driver %s: %s", driver_.c_str(), line.c_str());
    }

    const std::string driver_;
    int fd_;
    int wake_ = -1;
    std::thread thread_;
};

class Subprocess {
public:
    Subprocess(std::string executable, pid_t pid, int pidfd, int socket, int stderrFd)
        : executable_(std::move(executable)), pid_(pid), pidfd_(pidfd), socket_(socket), stderr_(executable_, stderrFd),
          link_("driver " + executable_, socket, socket, limits()),
          mirror_(
              "driver " + executable_, [this](std::string text) { link_.send(std::move(text)); }, false),
          watcher_("driver " + executable_, WireClient::Role::SnoopingDriver, link_) {
        copyField(adapter_.name, executable_.c_str());
        adapter_.is_remote = true;
        adapter_.version = INDIGO_VERSION_CURRENT;
        watcher_.setExcluded([this](const indigo_device* device) { return mirror_.owns(device); });
    }
    ~Subprocess() { stop(); }
    Subprocess(const Subprocess&) = delete;
    Subprocess& operator=(const Subprocess&) = delete;

    void start() {
        watcher_.attach();
        link_.acceptDescriptors();
        link_.start(
            [this](WireMessage& message) {
                if (message.kind == MessageKind::GetProperties || message.kind == MessageKind::EnableBlob) {
                    watcher_.handle(message);
                } else if (message.kind == MessageKind::PingRequest) {
                    // The BLOB before it has reached the bus: the driver may send the next.
                    std::string reply;
                    writePingReply(reply, message.uid);
                    link_.send(std::move(reply));
                } else {
                    std::vector<int> descriptors;
                    if (takeAttached(message, descriptors)) mirror_.apply(message);
                    if (!descriptors.empty()) {
                        // The writers the update woke often wait on this CPU; freeing the
                        // driver's memory (the last descriptor's close) takes milliseconds, so
                        // they go first.
                        sched_yield();
                    }
                    for (int fd : descriptors)
                        ::close(fd);
                }
            },
            [this](const std::string& reason) { closed(reason); });
        std::string hello;
        writeGetProperties(hello, kIndiProtocolVersion, {}, {});
        link_.send(std::move(hello));
    }

    void stop() {
        if (stopped_) return;
        stopped_ = true;
        watcher_.detach();
        stopping_.store(true);
        link_.close();
        link_.join();
        // Without its stdin and stdout the driver is done; it gets a moment to leave.
        ::close(socket_);
        if (!reaped_) {
            if (!waitForExit(kLeaveMs)) {
                signal(SIGTERM);
                if (!waitForExit(kLeaveMs)) {
                    signal(SIGKILL);
                    waitForExit(-1);
                }
            }
        }
        if (pidfd_ >= 0) ::close(pidfd_);
        stderr_.stop();
        mirror_.removeAll();
    }

    bool onReaderThread() const { return link_.onReaderThread(); }
    pthread_t thread() { return link_.readerHandle(); }
    indigo_device* adapter() { return &adapter_; }

private:
    static ParserLimits limits() { return ParserLimits{}; }

    // Takes the shared memory of the BLOB items whose bytes came that way (the caller closes
    // the descriptors after the message is applied; the mirror reads the bytes from them);
    // false (and the driver is dropped) when a descriptor is missing or holds less than the
    // message says.
    bool takeAttached(WireMessage& message, std::vector<int>& descriptors) {
        for (WireItem& item : message.items) {
            if (!item.attached || !item.bytes.empty()) continue;
            const int fd = link_.takeDescriptor();
            if (fd >= 0) descriptors.push_back(fd);
            struct stat status {};
            std::string problem;
            if (fd < 0)
                problem = "came without its shared memory";
            else if (fstat(fd, &status) != 0 || status.st_size < item.length)
                problem = "is larger than its shared memory";
            else if (item.length > limits().maxBlobBytes)
                problem = "is over the limit";
            if (!problem.empty()) {
                indigo_error("indigo: driver %s: BLOB %s.%s %s; dropping the driver", executable_.c_str(),
                             message.device.c_str(), message.name.c_str(), problem.c_str());
                link_.close();
                return false;
            }
            item.sharedFd = fd;
        }
        return true;
    }

    void closed(const std::string& reason) {
        link_.close();
        if (stopping_.load()) return;
        // A driver dropped for what it sent is told so: its stdin ends.
        ::shutdown(socket_, SHUT_RDWR);
        mirror_.removeAll();
        // The driver ended its output: it is leaving (or gone); reap it when it has.
        if (waitForExit(kLeaveMs))
            indigo_error("indigo: driver %s exited (status %d)%s%s", executable_.c_str(), status_,
                         reason.empty() ? "" : ": ", reason.c_str());
        else
            indigo_error("indigo: driver %s: output closed%s%s", executable_.c_str(), reason.empty() ? "" : ": ",
                         reason.c_str());
    }

    // Reaps the driver once it has exited; true when it has (timeout -1: wait as long as it
    // takes). Runs on one thread at a time: the reader while the link runs, stop() after.
    bool waitForExit(int timeoutMs) {
        if (reaped_) return true;
        if (pidfd_ >= 0) {
            pollfd exited{pidfd_, POLLIN, 0};
            while (poll(&exited, 1, timeoutMs) < 0 && errno == EINTR) {}
            if ((exited.revents & POLLIN) == 0) return false;
        } else if (timeoutMs >= 0) {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
            int status = 0;
            for (;;) {
                const pid_t done = waitpid(pid_, &status, WNOHANG);
                if (done == pid_ || (done < 0 && errno == ECHILD)) {
                    reaped_ = true;
                    status_ = status;
                    return true;
                }
                if (std::chrono::steady_clock::now() >= deadline) return false;
                poll(nullptr, 0, 10);
            }
        }
        int status = 0;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {}
        reaped_ = true;
        status_ = status;
        return true;
    }

    void signal(int number) {
        if (reaped_) return;
        if (pidfd_ >= 0)
            pidfd_send_signal(pidfd_, number, nullptr, 0);
        else
            ::kill(pid_, number);
    }

    const std::string executable_;
    const pid_t pid_;
    const int pidfd_;
    const int socket_;
    StderrLog stderr_;
    Link link_;
    MirrorDevices mirror_;
    WireClient watcher_;
    indigo_device adapter_{};
    std::atomic<bool> stopping_{false};
    bool stopped_ = false;
    bool reaped_ = false;
    int status_ = 0;
};

std::mutex& tableMutex() {
    static std::mutex mutex;
    return mutex;
}

std::unique_ptr<Subprocess>* subprocesses() {
    static auto* table = new std::unique_ptr<Subprocess>[INDIGO_MAX_SUBPROCESSES];
    return table;
}

int slotOf(const indigo_subprocess_entry* entry) {
    for (int i = 0; i < INDIGO_MAX_SUBPROCESSES; ++i) {
        if (entry == &indigo_available_subprocesses[i]) return i;
    }
    return -1;
}

// Starts the executable with its stdin and stdout on one end of a new socket pair, the
// other end given back, and its stderr on a pipe whose reading end is given back; the pid,
// or -1 with errno.
pid_t spawn(const char* executable, int& socket, int& errors) {
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return -1;
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
        const int error = errno;
        ::close(ends[0]);
        ::close(ends[1]);
        errno = error;
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDERR_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t reset;
    sigemptyset(&reset);
    for (int number : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT})
        sigaddset(&reset, number);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &reset);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    char* argv[] = {const_cast<char*>(executable), nullptr};
    pid_t pid = -1;
    const int status = std::strchr(executable, '/') != nullptr
                           ? posix_spawn(&pid, executable, &actions, &attributes, argv, environ)
                           : posix_spawnp(&pid, executable, &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(ends[1]);
    ::close(pipeEnds[1]);
    if (status != 0) {
        ::close(ends[0]);
        ::close(pipeEnds[0]);
        errno = status;
        return -1;
    }
    socket = ends[0];
    errors = pipeEnds[0];
    return pid;
}

} // namespace

} // namespace zeta::indigo::wire

using zeta::indigo::wire::Subprocess;

extern "C" {

indigo_result indigo_start_subprocess(const char* executable, indigo_subprocess_entry** subprocess_entry) {
    if (executable == nullptr || executable[0] == '\0') {
        indigo_error("indigo: no driver executable to start");
        return INDIGO_FAILED;
    }
    if (std::strlen(executable) >= INDIGO_PATH_SIZE) {
        indigo_error("indigo: driver path too long: %.64s...", executable);
        return INDIGO_FAILED;
    }
    std::lock_guard lock(zeta::indigo::wire::tableMutex());
    auto* table = zeta::indigo::wire::subprocesses();
    int slot = -1;
    for (int i = 0; i < INDIGO_MAX_SUBPROCESSES && slot < 0; ++i) {
        if (table[i] == nullptr) slot = i;
    }
    if (slot < 0) {
        indigo_error("indigo: cannot start %s: already %d drivers running", executable, INDIGO_MAX_SUBPROCESSES);
        return INDIGO_FAILED;
    }
    int socket = -1;
    int errors = -1;
    const pid_t pid = zeta::indigo::wire::spawn(executable, socket, errors);
    if (pid < 0) {
        indigo_error("indigo: cannot start driver %s: %s", executable, std::strerror(errno));
        return INDIGO_FAILED;
    }
    const int pidfd = pidfd_open(pid, 0);
    table[slot] = std::make_unique<Subprocess>(executable, pid, pidfd, socket, errors);
    indigo_subprocess_entry& entry = indigo_available_subprocesses[slot];
    entry = indigo_subprocess_entry{};
    zeta::indigo::copyField(entry.executable, INDIGO_PATH_SIZE, executable);
    entry.pid = pid;
    entry.protocol_adapter = table[slot]->adapter();
    table[slot]->start();
    entry.thread = table[slot]->thread();
    entry.thread_started = true;
    indigo_log("indigo: driver %s started (pid %d)", executable, static_cast<int>(pid));
    if (subprocess_entry != nullptr) *subprocess_entry = &entry;
    return INDIGO_OK;
}

indigo_result indigo_kill_subprocess(indigo_subprocess_entry* subprocess_entry) {
    const int slot = zeta::indigo::wire::slotOf(subprocess_entry);
    if (slot < 0) return INDIGO_FAILED;
    std::unique_ptr<Subprocess> subprocess;
    {
        std::lock_guard lock(zeta::indigo::wire::tableMutex());
        auto* table = zeta::indigo::wire::subprocesses();
        if (table[slot] == nullptr) return INDIGO_FAILED;
        if (table[slot]->onReaderThread()) {
            indigo_error("indigo: a driver cannot be killed from its own connection's callback");
            return INDIGO_FAILED;
        }
        subprocess = std::move(table[slot]);
        indigo_available_subprocesses[slot] = indigo_subprocess_entry{};
    }
    subprocess->stop();
    return INDIGO_OK;
}

} // extern "C"
