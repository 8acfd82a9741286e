#pragma once
// A peer program kept running for a benchmark and asked for one run at a time, so that its
// runs can be taken in turn with Zeta's: a line is written to its standard input, and it
// answers with one line on its standard output.

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace zeta::bench {

class PeerProcess {
public:
    // Starts the program (found on PATH); its errors go where this process's go.
    explicit PeerProcess(const std::vector<std::string>& arguments) {
        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) != 0) return;
        if (pipe2(out, O_CLOEXEC) != 0) {
            ::close(in[0]);
            ::close(in[1]);
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        std::vector<char*> argv;
        for (const auto& a : arguments)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        const int rc = posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        if (rc != 0) {
            pid_ = -1;
            ::close(in[1]);
            ::close(out[0]);
            return;
        }
        toPeer_ = fdopen(in[1], "w");
        fromPeer_ = fdopen(out[0], "r");
    }
    ~PeerProcess() {
        // End of its input tells it to finish.
        if (toPeer_ != nullptr) std::fclose(toPeer_);
        if (fromPeer_ != nullptr) std::fclose(fromPeer_);
        if (pid_ > 0) {
            int status = 0;
            while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {}
        }
    }
    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;

    bool running() const { return toPeer_ != nullptr && fromPeer_ != nullptr; }

    // Sends the line and returns the peer's answer, without its line end; empty when the
    // peer has gone (with SIGPIPE ignored; otherwise that signal ends this process).
    std::string ask(const std::string& line) {
        if (!running()) return {};
        if (std::fputs((line + "\n").c_str(), toPeer_) < 0 || std::fflush(toPeer_) != 0) return {};
        std::string answer;
        for (int c = std::fgetc(fromPeer_); c != EOF && c != '\n'; c = std::fgetc(fromPeer_))
            answer += static_cast<char>(c);
        return answer;
    }

private:
    pid_t pid_ = -1;
    FILE* toPeer_ = nullptr;
    FILE* fromPeer_ = nullptr;
};

} // namespace zeta::bench
