#pragma once
// MessagesController: the message log window's controller. It keeps no copy of the log: every
// row is read from the client's log (on its serial queue) when the view asks for it. A logged
// line, from any thread, queues one refresh of the view on the main queue; refreshes asked
// for while one is already queued are folded into it.

#include "Common/base_controller.h"
#include "Common/main_hop.h"

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <string>

namespace zeta::app {

class MessagesView {
public:
    virtual ~MessagesView() = default;
    // The log now has this many lines: show them all again and bring the last into view.
    virtual void reloadMessages(std::size_t count) = 0;
};

class MessagesController : public BaseController {
public:
    // The view, when there is one; main queue only.
    void setView(MessagesView* view) { view_ = view; }

    void message(const std::string& text) override;

    std::size_t numberOfRows() const;
    // The line at the row; empty when the log has no such line (any more).
    std::string lineAtRow(std::size_t row) const;

    void clearLog();
    // The lines joined by "\n" (none after the last), written atomically as UTF-8. False,
    // with the old file (if any) untouched, when it could not be written.
    bool saveLog(const std::filesystem::path& path) const;

private:
    void refresh();

    MessagesView* view_ = nullptr;
    std::atomic<bool> refreshQueued_{false};
    zeta::common::MainHop main_;
};

} // namespace zeta::app
