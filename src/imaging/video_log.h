#pragma once
// Where the video writers' lines go. Lines for the user go to the message sink, which the
// client sets when it starts (INDIGO::startWithLocalServer) to the application's message
// log; until a sink is set they go to the system log. Diagnostics that the user's log does
// not carry go to the system log only.
//
// Callable from any thread; the sink may be replaced at any time. It runs on the thread of
// the writer that logs, possibly while that writer holds its lock, so it must not call back
// into a video writer.

#include <functional>
#include <string>

namespace zeta::imaging::video {

using MessageSink = std::function<void(const std::string& text)>;

// Replaces the message sink; an empty function restores the system log.
void setMessageSink(MessageSink sink);

// One line for the user's message log.
void logMessage(const std::string& text);

// One line for the system log only.
void logSystem(const std::string& text);

} // namespace zeta::imaging::video
