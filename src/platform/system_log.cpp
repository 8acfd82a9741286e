#include "platform/system_log.h"

#include <mutex>
#include <string>
#include <unistd.h>

namespace zeta::platform {

namespace {

std::mutex& handlerMutex() {
    static std::mutex mutex;
    return mutex;
}

SystemLogHandler& handler() {
    static SystemLogHandler current;
    return current;
}

void writeToStandardError(std::string_view entry) {
    // One write per entry, so that entries from several threads do not interleave.
    std::string line(entry);
    line += '\n';
    const char* bytes = line.data();
    std::size_t left = line.size();
    while (left > 0) {
        const ssize_t written = ::write(STDERR_FILENO, bytes, left);
        if (written <= 0) return;
        bytes += written;
        left -= static_cast<std::size_t>(written);
    }
}

} // namespace

void systemLog(std::string_view entry) {
    SystemLogHandler current;
    {
        std::lock_guard lock(handlerMutex());
        current = handler();
    }
    if (current)
        current(entry);
    else
        writeToStandardError(entry);
}

SystemLogHandler setSystemLogHandler(SystemLogHandler replacement) {
    std::lock_guard lock(handlerMutex());
    SystemLogHandler old = std::move(handler());
    handler() = std::move(replacement);
    return old;
}

} // namespace zeta::platform
