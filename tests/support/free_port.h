#pragma once

namespace test_support {

// A TCP port on 127.0.0.1 that nothing listens on just now (0 when none could be had).
int freePort();

} // namespace test_support
