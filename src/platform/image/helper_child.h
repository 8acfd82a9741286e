#pragma once
// The child side of a decoder helper process: limits, whole-input read, whole-output write.

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace zeta::platform::helper_child {

// Sanitizers reserve terabytes of address space for themselves: no address-space limit then.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kLimitAddressSpace = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
inline constexpr bool kLimitAddressSpace = false;
#else
inline constexpr bool kLimitAddressSpace = true;
#endif
#else
inline constexpr bool kLimitAddressSpace = true;
#endif

// A damaged input must not take the machine's time or memory with it (0: no memory limit).
inline void limitResources(rlim_t cpuSeconds, rlim_t addressSpaceBytes) {
    const rlimit cpu{cpuSeconds, cpuSeconds};
    setrlimit(RLIMIT_CPU, &cpu);
    if (kLimitAddressSpace && addressSpaceBytes != 0) {
        const rlimit memory{addressSpaceBytes, addressSpaceBytes};
        setrlimit(RLIMIT_AS, &memory);
    }
}

// All of standard input; false on a read error.
inline bool readStandardInput(std::vector<std::uint8_t>& input) {
    // Room for a large frame up front: pages not yet touched cost nothing, while growing as
    // the bytes come would copy them several times over.
    input.reserve(std::size_t(256) << 20);
    std::uint8_t chunk[1 << 16];
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        input.insert(input.end(), chunk, chunk + n);
    }
}

inline bool writeStandardOutput(const void* bytes, std::size_t length) {
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    while (length > 0) {
        const ssize_t n = ::write(STDOUT_FILENO, p, length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        length -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace zeta::platform::helper_child
