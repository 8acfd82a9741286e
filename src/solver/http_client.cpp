#include "solver/http_client.h"

#include <curl/curl.h>
#include <memory>
#include <mutex>

namespace zeta::solver {
namespace {

// libcurl's global set-up is not thread-safe; do it once before the first handle.
void initCurl() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct EasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct ListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

// A reply larger than this is not a solver's JSON; stop reading rather than fill memory.
constexpr std::size_t kMaxReplyBytes = 16 * 1024 * 1024;

std::size_t appendBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* body = static_cast<std::string*>(user);
    const std::size_t bytes = size * count;
    if (body->size() + bytes > kMaxReplyBytes) return 0; // makes libcurl fail the transfer
    body->append(data, bytes);
    return bytes;
}

} // namespace

bool isHttpURL(const std::string& text) {
    initCurl();
    std::unique_ptr<CURLU, UrlDeleter> url(curl_url());
    if (!url || curl_url_set(url.get(), CURLUPART_URL, text.c_str(), 0) != CURLUE_OK) return false;
    char* scheme = nullptr;
    if (curl_url_get(url.get(), CURLUPART_SCHEME, &scheme, 0) != CURLUE_OK) return false;
    const std::string value = scheme;
    curl_free(scheme);
    return value == "http" || value == "https";
}

HttpReply performRequest(const HttpRequest& request) {
    initCurl();
    HttpReply reply;
    std::unique_ptr<CURL, EasyDeleter> handle(curl_easy_init());
    if (!handle) {
        reply.error = "The HTTP client could not be created";
        return reply;
    }
    CURL* curl = handle.get();
    std::unique_ptr<curl_slist, ListDeleter> headers;
    for (const auto& [name, value] : request.headers) {
        curl_slist* next = curl_slist_append(headers.get(), (name + ": " + value).c_str());
        if (!next) {
            reply.error = "Out of memory";
            return reply;
        }
        (void)headers.release();
        headers.reset(next);
    }
    // libcurl adds these on its own for bodies; the services get only the headers we name.
    for (const char* suppressed : {"Expect:", "Content-Type:"}) {
        bool named = false;
        for (const auto& header : request.headers)
            named = named || (header.first + ":") == suppressed;
        if (!named) {
            curl_slist* next = curl_slist_append(headers.get(), suppressed);
            if (next) {
                (void)headers.release();
                headers.reset(next);
            }
        }
    }
    char errorText[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, static_cast<long>(request.timeout.count()));
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 30L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply.body);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get());
    if (request.method == "POST" || request.method == "PUT") {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.body.data());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
        if (request.method == "PUT") curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, "PUT");
    } else if (request.method != "GET") {
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, request.method.c_str());
    }
    const CURLcode result = curl_easy_perform(curl);
    if (result != CURLE_OK) {
        reply.body.clear();
        reply.error = errorText[0] ? errorText : curl_easy_strerror(result);
        return reply;
    }
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.status);
    reply.received = true;
    return reply;
}

} // namespace zeta::solver
