#pragma once
// A short-lived helper program run for one job: its standard input and output are one end
// of a socket pair, the parent writes the job, then reads the answer. Every wait has a
// deadline; a helper that overruns it is killed. The destructor kills and reaps a helper
// still running, so no process outlives its owner.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>

namespace zeta::platform {

// Where a helper program is: the path in the environment variable when set, else the file
// of that name beside the running executable, else the given path in the build tree.
std::string findHelperProgram(const char* name, const char* environmentVariable, const char* buildPath);

class HelperProcess {
public:
    using Clock = std::chrono::steady_clock;

    explicit HelperProcess(Clock::time_point deadline) : deadline_(deadline) {}
    ~HelperProcess();
    HelperProcess(const HelperProcess&) = delete;
    HelperProcess& operator=(const HelperProcess&) = delete;

    // Starts the program (no arguments, standard error discarded); false when it cannot.
    bool start(const std::string& path);
    // Writes the bytes to the helper's input and then closes it; false when the helper stops
    // reading or the deadline passes.
    bool sendAll(const std::uint8_t* bytes, std::size_t length);
    // Reads exactly length bytes of the helper's output; false at its end or the deadline.
    bool receive(std::uint8_t* bytes, std::size_t length);
    // Waits for the helper to exit; true when it exited with status 0. Kills it at the deadline.
    bool finish();

private:
    bool waitFor(short events);
    void kill();

    Clock::time_point deadline_;
    int socket_ = -1;
    pid_t pid_ = -1;
};

} // namespace zeta::platform
