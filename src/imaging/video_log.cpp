#include "imaging/video_log.h"

#include "platform/system_log.h"

#include <memory>
#include <mutex>

namespace zeta::imaging::video {
namespace {

std::mutex& sinkLock() {
    static std::mutex lock;
    return lock;
}

std::shared_ptr<const MessageSink>& sinkSlot() {
    static std::shared_ptr<const MessageSink> sink;
    return sink;
}

} // namespace

void setMessageSink(MessageSink sink) {
    auto next = sink ? std::make_shared<const MessageSink>(std::move(sink)) : nullptr;
    std::lock_guard guard(sinkLock());
    sinkSlot() = std::move(next);
}

void logMessage(const std::string& text) {
    std::shared_ptr<const MessageSink> sink;
    {
        std::lock_guard guard(sinkLock());
        sink = sinkSlot();
    }
    // Called outside the lock, so a slow log does not hold up other writers' lines.
    if (sink)
        (*sink)(text);
    else
        zeta::platform::systemLog(text);
}

void logSystem(const std::string& text) {
    zeta::platform::systemLog(text);
}

} // namespace zeta::imaging::video
