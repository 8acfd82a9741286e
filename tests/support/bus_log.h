#pragma once
// The bus's log lines, kept in memory once captureLog is its log handler
// (indigo_log_message_handler), for tests that check what was logged.

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

namespace test_support {

inline std::mutex logMutex;
inline std::vector<std::string> logLines;

inline void captureLog(const char* line) {
    std::lock_guard lock(logMutex);
    logLines.emplace_back(line);
}

// Whether any caught line contains the text.
inline bool logged(const std::string& text) {
    std::lock_guard lock(logMutex);
    return std::any_of(logLines.begin(), logLines.end(),
                       [&](const std::string& line) { return line.find(text) != std::string::npos; });
}

// Whether a caught line is the line.
inline bool loggedLine(const std::string& line) {
    std::lock_guard lock(logMutex);
    return std::find(logLines.begin(), logLines.end(), line) != logLines.end();
}

} // namespace test_support
