#pragma once
// What the server's port answers over HTTP: GET (and HEAD) of the resources added with
// indigo_server_add_resource, and of BLOBs sent to clients by URL. One request per
// connection; the answer closes it.

#include "indigo/wire/indigo_base64.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zeta::indigo::wire {

using SharedBytes = std::shared_ptr<const BlobBytes>;

// The latest bytes of each BLOB item sent by URL; a URL names one update, and stops
// answering once a newer update of the item is published.
class BlobStore {
public:
    // Returns the path ("/blob/...") under which the bytes are served.
    std::string publish(const std::string& itemKey, SharedBytes bytes, std::string_view format);
    SharedBytes find(std::string_view path) const;

private:
    struct Entry {
        std::uint64_t id = 0;
        std::uint64_t generation = 0;
        std::string path;
        SharedBytes bytes;
    };
    mutable std::mutex mutex_;
    std::uint64_t nextId_ = 1;
    std::uint64_t nextGeneration_ = 1;
    std::map<std::string, Entry> byItem_;
    std::map<std::string, std::string, std::less<>> itemByPath_;
};

struct HttpResource {
    std::vector<std::uint8_t> data;
    std::string contentType;
};

// The resources registered with the server, for the life of the process.
class ResourceRegistry {
public:
    static ResourceRegistry& instance();
    void add(std::string path, std::vector<std::uint8_t> data, std::string contentType);
    std::optional<HttpResource> find(std::string_view path) const;

private:
    mutable std::mutex mutex_;
    std::map<std::string, std::shared_ptr<const HttpResource>, std::less<>> resources_;
};

// True when the first bytes of a connection are an HTTP request line (not the protocol).
bool looksLikeHttp(std::string_view start);

// Request head complete (ends with an empty line)?
bool httpHeadComplete(std::string_view bytes);

// The whole answer to a request head: status line, headers and body.
std::string httpAnswer(std::string_view head, const BlobStore* blobs);

} // namespace zeta::indigo::wire
