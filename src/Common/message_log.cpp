// The message log of INDIGO: the one log the user sees.

#include "Common/indigo_client.h"
#include "Common/indigo_delegate.h"
#include "platform/system_log.h"

#include <chrono>

void INDIGO::message(std::string_view text) {
    // One system log entry per line, verbatim; a text ending in a line break writes an
    // empty last entry too.
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find('\n', start);
        zeta::platform::systemLog(
            text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }

    if (messageSyncQueue_.isCurrent())
        appendMessage(text);
    else
        messageSyncQueue_.sync([this, text] { appendMessage(text); });

    const std::string whole(text);
    tellDelegates([&](INDIGODelegate* delegate) { delegate->message(whole); });
}

void INDIGO::appendMessage(std::string_view text) {
    while (messages_.size() >= kMaxMessages)
        messages_.pop_front();
    std::string entry = timeFormat_.stringFromDate(std::chrono::system_clock::now());
    entry += ' ';
    entry += text;
    messages_.push_back(std::move(entry));
}

void INDIGO::clearMessages() {
    if (messageSyncQueue_.isCurrent())
        messages_.clear();
    else
        messageSyncQueue_.sync([this] { messages_.clear(); });
    const std::string notice = "Log cleared...";
    tellDelegates([&](INDIGODelegate* delegate) { delegate->message(notice); });
}

std::vector<std::string> INDIGO::messages() const {
    std::vector<std::string> copy;
    const auto read = [&] {
        copy.assign(messages_.begin(), messages_.end());
    };
    if (messageSyncQueue_.isCurrent())
        read();
    else
        messageSyncQueue_.sync(read);
    return copy;
}

std::size_t INDIGO::messageCount() const {
    std::size_t count = 0;
    const auto read = [&] {
        count = messages_.size();
    };
    if (messageSyncQueue_.isCurrent())
        read();
    else
        messageSyncQueue_.sync(read);
    return count;
}

const std::deque<std::string>& INDIGO::messagesOnQueue() const {
    return messages_;
}
