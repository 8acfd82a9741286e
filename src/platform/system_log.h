#pragma once
// The system log: one entry per call, written verbatim (never used as a format). Entries go
// to standard error unless a handler is installed (tests install one to see the entries).

#include <functional>
#include <string_view>

namespace zeta::platform {

void systemLog(std::string_view entry);

// Replaces where entries go; an empty handler restores standard error. Returns the old one.
using SystemLogHandler = std::function<void(std::string_view entry)>;
SystemLogHandler setSystemLogHandler(SystemLogHandler handler);

} // namespace zeta::platform
