#include "support/command.h"

#include <cstdio>

namespace test_support {

std::string commandOutput(const std::string& command) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return out;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
        out += buffer;
    ::pclose(pipe);
    return out;
}

} // namespace test_support
