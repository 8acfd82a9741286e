#include "support/process.h"

#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace test_support {

Process::Process(const std::vector<std::string>& argv, const std::vector<std::pair<std::string, std::string>>& env,
                 const std::string& outputPath) {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        bool replaced = false;
        for (const auto& [key, value] : env)
            replaced = replaced || text.rfind(key + "=", 0) == 0;
        if (!replaced) environment.push_back(text);
    }
    for (const auto& [key, value] : env)
        environment.push_back(key + "=" + value);
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2,
                                     (outputPath == "/dev/null" ? outputPath : outputPath + ".err").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int status = posix_spawnp(&pid_, argv.at(0).c_str(), &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (status != 0) {
        pid_ = -1;
        throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(status));
    }
}

Process::~Process() {
    stop();
}

bool Process::running() {
    if (pid_ < 0) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = status;
        pid_ = -1;
        return false;
    }
    return true;
}

int Process::wait(std::chrono::milliseconds timeout) {
    if (!eventually([&] { return !running(); }, timeout)) return -1;
    return status_;
}

void Process::signal(int number) {
    if (pid_ > 0) ::kill(pid_, number);
}

int Process::stop() {
    if (pid_ < 0) return status_;
    ::kill(pid_, SIGTERM);
    if (wait(std::chrono::seconds(5)) == -1 && pid_ > 0) {
        ::kill(pid_, SIGKILL);
        waitpid(pid_, &status_, 0);
        pid_ = -1;
    }
    return status_;
}

std::vector<pid_t> childrenOf(pid_t parent) {
    std::vector<pid_t> children;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) return children;
    while (dirent* entry = ::readdir(proc)) {
        const pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
        if (pid <= 0) continue;
        std::ifstream stat("/proc/" + std::string(entry->d_name) + "/stat");
        std::string line;
        std::getline(stat, line);
        // The fields after the command name (which may hold blanks) in parentheses.
        const auto close = line.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(line.substr(close + 2));
        char state = 0;
        pid_t ppid = 0;
        rest >> state >> ppid;
        if (ppid == parent) children.push_back(pid);
    }
    ::closedir(proc);
    return children;
}

} // namespace test_support
