#pragma once
// Blocking HTTP requests for the plate-solver workers, on libcurl. A request runs on the
// calling thread (the workers call it from global queues) and never from the main thread.

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace zeta::solver {

struct HttpRequest {
    std::string method = "GET";
    std::string url;
    // Sent as given, in order; the client adds only what HTTP itself needs (length, host).
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    std::chrono::seconds timeout{60};
};

struct HttpReply {
    // False when the request failed in transport; `error` then says why.
    bool received = false;
    long status = 0;
    std::string body;
    std::string error;
};

// True for an absolute http or https URL that libcurl can parse.
bool isHttpURL(const std::string& text);

// Sends the request and waits for the whole reply. Any thread but the main one.
HttpReply performRequest(const HttpRequest& request);

} // namespace zeta::solver
