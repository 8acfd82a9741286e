#include "app/messages_controller.h"

#include "Common/indigo_client.h"
#include "app/atomic_file.h"

namespace zeta::app {

void MessagesController::message(const std::string&) {
    if (refreshQueued_.exchange(true)) return;
    main_.async([this] { refresh(); });
}

void MessagesController::refresh() {
    // Cleared first: a line logged while the view reloads queues the next refresh.
    refreshQueued_.store(false);
    if (view_ != nullptr) view_->reloadMessages(numberOfRows());
}

std::size_t MessagesController::numberOfRows() const {
    return indigo() ? indigo()->messageCount() : 0;
}

std::string MessagesController::lineAtRow(std::size_t row) const {
    if (!indigo()) return {};
    std::string line;
    const INDIGO& client = *indigo();
    client.messageSyncQueue().sync([&] {
        const auto& log = client.messagesOnQueue();
        if (row < log.size()) line = log[row];
    });
    return line;
}

void MessagesController::clearLog() {
    if (indigo()) indigo()->clearMessages();
}

bool MessagesController::saveLog(const std::filesystem::path& path) const {
    std::string text;
    if (indigo()) {
        const INDIGO& client = *indigo();
        client.messageSyncQueue().sync([&] {
            bool first = true;
            for (const std::string& line : client.messagesOnQueue()) {
                if (!first) text += '\n';
                text += line;
                first = false;
            }
        });
    }
    return writeFileAtomically(path, text);
}

} // namespace zeta::app
