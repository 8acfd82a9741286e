#include "platform/image/helper_process.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace zeta::platform {

std::string findHelperProgram(const char* name, const char* environmentVariable, const char* buildPath) {
    if (const char* named = std::getenv(environmentVariable); named && *named) return named;
    std::error_code error;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        const auto beside = exe.parent_path() / name;
        if (std::filesystem::exists(beside, error)) return beside.string();
    }
    return buildPath;
}

HelperProcess::~HelperProcess() {
    kill();
    if (socket_ >= 0) ::close(socket_);
}

bool HelperProcess::start(const std::string& path) {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return false;
    // Frames of tens of megabytes cross the socket: with room for a few megabytes each side
    // wakes far less often. Only a wish; the system may grant less.
    for (const int end : pair)
        for (const int option : {SO_SNDBUF, SO_RCVBUF}) {
            const int bytes = 4 << 20;
            (void)::setsockopt(end, SOL_SOCKET, option, &bytes, sizeof bytes);
        }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pair[1], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pair[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    // The helper has no business with the application's other descriptors.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
    pid_t pid = -1;
    // Helpers hold frames of hundreds of megabytes in malloc's blocks: backed by huge pages
    // they cost a few hundred page faults instead of tens of thousands. Unless the user set
    // the C library's tunables himself.
    std::vector<char*> environment;
    for (char** e = environ; e && *e; ++e)
        environment.push_back(*e);
    if (!std::getenv("GLIBC_TUNABLES"))
        environment.push_back(const_cast<char*>("GLIBC_TUNABLES=glibc.malloc.hugetlb=1"));
    environment.push_back(nullptr);
    const int rc = ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, environment.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(pair[1]);
    if (rc != 0) {
        ::close(pair[0]);
        return false;
    }
    pid_ = pid;
    socket_ = pair[0];
    ::fcntl(socket_, F_SETFL, ::fcntl(socket_, F_GETFL) | O_NONBLOCK);
    return true;
}

bool HelperProcess::waitFor(short events) {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now()).count();
        if (left <= 0) return false;
        pollfd fd{socket_, events, 0};
        const int rc = ::poll(&fd, 1, static_cast<int>(std::min<long long>(left, 1000)));
        if (rc > 0) return true;
        if (rc < 0 && errno != EINTR) return false;
    }
}

bool HelperProcess::sendAll(const std::uint8_t* bytes, std::size_t length) {
    if (socket_ < 0) return false;
    while (length > 0) {
        // Never SIGPIPE: a helper that died early is a failed job, not the end of the process.
        const ssize_t n = ::send(socket_, bytes, length, MSG_NOSIGNAL);
        if (n > 0) {
            bytes += n;
            length -= static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!waitFor(POLLOUT)) return false;
        } else if (!(n < 0 && errno == EINTR)) {
            return false;
        }
    }
    return ::shutdown(socket_, SHUT_WR) == 0;
}

bool HelperProcess::receive(std::uint8_t* bytes, std::size_t length) {
    if (socket_ < 0) return false;
    while (length > 0) {
        const ssize_t n = ::recv(socket_, bytes, length, 0);
        if (n > 0) {
            bytes += n;
            length -= static_cast<std::size_t>(n);
        } else if (n == 0) {
            return false;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (!waitFor(POLLIN)) return false;
        } else if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

bool HelperProcess::finish() {
    if (pid_ < 0) return false;
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            pid_ = -1;
            return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        }
        if (done < 0 && errno != EINTR) {
            // Reaped elsewhere (a process-wide child handler): its answer was complete.
            pid_ = -1;
            return true;
        }
        if (Clock::now() >= deadline_) {
            kill();
            return false;
        }
        ::usleep(2000);
    }
}

void HelperProcess::kill() {
    if (pid_ < 0) return;
    ::kill(pid_, SIGKILL);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {}
    pid_ = -1;
}

} // namespace zeta::platform
