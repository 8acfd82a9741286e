#pragma once

#include <string>

namespace test_support {

// What the shell command writes to its standard output (empty when it cannot be run).
std::string commandOutput(const std::string& command);

} // namespace test_support
