// The bus's log: level gating, formatting, and the hand-off to the handler or stderr.

#include "indigo/indigo_log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <string>
#include <sys/time.h>

void (*indigo_log_message_handler)(const char* message) = nullptr;

namespace {

std::atomic<int> logLevel{INDIGO_LOG_ERROR};

void writeToStandardError(const char* message) {
    timeval now{};
    gettimeofday(&now, nullptr);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%H:%M:%S", &local);
    // One write per line keeps lines of different threads apart.
    std::string line =
        std::string(stamp) + "." + std::to_string(now.tv_usec / 1000 + 1000).substr(1) + " indigo: " + message + "\n";
    std::fputs(line.c_str(), stderr);
}

void emit(int level, const char* format, va_list arguments) {
    if (format == nullptr || level > logLevel.load(std::memory_order_relaxed)) return;
    char small[1024];
    va_list copy;
    va_copy(copy, arguments);
    const int length = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (length < 0) return;
    std::string large;
    const char* text = small;
    if (static_cast<std::size_t>(length) >= sizeof small) {
        large.resize(static_cast<std::size_t>(length) + 1);
        std::vsnprintf(large.data(), large.size(), format, arguments);
        large.resize(static_cast<std::size_t>(length));
        text = large.c_str();
    }
    if (auto handler = indigo_log_message_handler)
        handler(text);
    else
        writeToStandardError(text);
}

} // namespace

extern "C" {

void indigo_set_log_level(indigo_log_levels level) {
    logLevel.store(level, std::memory_order_relaxed);
}

indigo_log_levels indigo_get_log_level(void) {
    return static_cast<indigo_log_levels>(logLevel.load(std::memory_order_relaxed));
}

void indigo_error(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    emit(INDIGO_LOG_PLAIN, format, arguments);
    va_end(arguments);
}

void indigo_log(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    emit(INDIGO_LOG_INFO, format, arguments);
    va_end(arguments);
}

void indigo_debug(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    emit(INDIGO_LOG_DEBUG, format, arguments);
    va_end(arguments);
}

void indigo_trace_bus(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    emit(INDIGO_LOG_TRACE_BUS, format, arguments);
    va_end(arguments);
}

void indigo_trace(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    emit(INDIGO_LOG_TRACE, format, arguments);
    va_end(arguments);
}

} // extern "C"
