#include "Common/blob_fetch.h"

#include <algorithm>
#include <cctype>
#include <curl/curl.h>
#include <memory>
#include <mutex>

namespace {

void initialiseCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Sink {
    std::vector<std::uint8_t> bytes;
    std::size_t maxBytes = 0;
    bool tooLarge = false;
};

std::size_t collect(char* data, std::size_t size, std::size_t count, void* context) {
    auto* sink = static_cast<Sink*>(context);
    const std::size_t length = size * count;
    if (length > sink->maxBytes - sink->bytes.size()) {
        sink->tooLarge = true;
        return 0; // aborts the transfer
    }
    sink->bytes.insert(sink->bytes.end(), data, data + length);
    return length;
}

struct CurlFree {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};

} // namespace

bool isFetchableBlobURL(const std::string& url) {
    const auto colon = url.find(':');
    if (colon == std::string::npos) return false;
    std::string scheme = url.substr(0, colon);
    std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return (scheme == "http" || scheme == "https") && url.compare(colon, 3, "://") == 0;
}

std::optional<std::vector<std::uint8_t>> fetchBlobURL(const std::string& url, const BlobFetchLimits& limits) {
    if (!isFetchableBlobURL(url)) return std::nullopt;
    initialiseCurlOnce();
    std::unique_ptr<CURL, CurlFree> curl(curl_easy_init());
    if (!curl) return std::nullopt;

    Sink sink;
    sink.maxBytes = limits.maxBytes;
    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connectTimeout.count()));
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(limits.totalTimeout.count()));
    curl_easy_setopt(c, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.maxBytes));
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &collect);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &sink);

    if (curl_easy_perform(c) != CURLE_OK || sink.tooLarge) return std::nullopt;
    return std::move(sink.bytes);
}
