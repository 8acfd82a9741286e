#pragma once
// Fetching the bytes a BLOB's url names: http and https only (every other scheme is refused
// without being touched), with limits on the time taken and the bytes accepted.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct BlobFetchLimits {
    std::chrono::milliseconds connectTimeout{5000};
    std::chrono::milliseconds totalTimeout{60000};
    std::size_t maxBytes = std::size_t(1) << 30;
};

// The whole resource, or none when the scheme is not http(s), the server answers with an
// error status, a limit is passed or the transfer fails.
std::optional<std::vector<std::uint8_t>> fetchBlobURL(const std::string& url, const BlobFetchLimits& limits);

// True when the url's scheme is http or https (any case).
bool isFetchableBlobURL(const std::string& url);
