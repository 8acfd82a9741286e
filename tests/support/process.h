#pragma once
// A child process with extra environment, its output in a file; stopped by pid.

#include "support/eventually.h"

#include <chrono>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace test_support {

class Process {
public:
    // Starts argv[0] (found on PATH) with the environment of this process plus env. Standard
    // output goes to outputPath, standard error beside it in outputPath + ".err" (both to
    // /dev/null by default); it reads /dev/null. Throws when the program cannot be started.
    Process(const std::vector<std::string>& argv, const std::vector<std::pair<std::string, std::string>>& env,
            const std::string& outputPath = "/dev/null");
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    pid_t pid() const { return pid_; }

    // False once the child has ended (and has been reaped).
    bool running();

    // Waits for the process to end on its own; its wait status, or -1 after the timeout.
    int wait(std::chrono::milliseconds timeout = kPatience);

    void signal(int number);

    // SIGTERM, and SIGKILL when that is not heard within 5 s; the wait status.
    int stop();

private:
    pid_t pid_ = -1;
    int status_ = 0;
};

// The pids of the parent's children now, from /proc.
std::vector<pid_t> childrenOf(pid_t parent);

} // namespace test_support
