#include "indigo/wire/indigo_http.h"

#include <cctype>

namespace zeta::indigo::wire {

namespace {

// A file extension fit for a URL path: letters, digits and dots only.
std::string safeExtension(std::string_view format) {
    std::string extension;
    for (char c : format) {
        if (std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '.') extension += c;
    }
    if (!extension.empty() && extension.front() != '.') extension.insert(extension.begin(), '.');
    return extension;
}

std::string statusHead(const char* status, std::string_view contentType, std::size_t length) {
    std::string head = "HTTP/1.1 ";
    head += status;
    head += "\r\nContent-Type: ";
    head += contentType;
    head += "\r\nContent-Length: " + std::to_string(length);
    head += "\r\nConnection: close\r\n\r\n";
    return head;
}

std::string textAnswer(const char* status, bool withBody) {
    const std::string body = std::string(status) + "\n";
    return statusHead(status, "text/plain", body.size()) + (withBody ? body : std::string());
}

} // namespace

std::string BlobStore::publish(const std::string& itemKey, SharedBytes bytes, std::string_view format) {
    std::lock_guard lock(mutex_);
    Entry& entry = byItem_[itemKey];
    if (entry.id == 0) entry.id = nextId_++;
    if (!entry.path.empty()) itemByPath_.erase(entry.path);
    entry.generation = nextGeneration_++;
    entry.path = "/blob/" + std::to_string(entry.id) + "-" + std::to_string(entry.generation) + safeExtension(format);
    entry.bytes = std::move(bytes);
    itemByPath_[entry.path] = itemKey;
    return entry.path;
}

SharedBytes BlobStore::find(std::string_view path) const {
    std::lock_guard lock(mutex_);
    const auto item = itemByPath_.find(path);
    if (item == itemByPath_.end()) return nullptr;
    const auto entry = byItem_.find(item->second);
    return entry != byItem_.end() ? entry->second.bytes : nullptr;
}

ResourceRegistry& ResourceRegistry::instance() {
    static ResourceRegistry* registry = new ResourceRegistry();
    return *registry;
}

void ResourceRegistry::add(std::string path, std::vector<std::uint8_t> data, std::string contentType) {
    auto resource = std::make_shared<HttpResource>(HttpResource{std::move(data), std::move(contentType)});
    std::lock_guard lock(mutex_);
    resources_[std::move(path)] = std::move(resource);
}

std::optional<HttpResource> ResourceRegistry::find(std::string_view path) const {
    std::lock_guard lock(mutex_);
    const auto found = resources_.find(path);
    if (found == resources_.end()) return std::nullopt;
    return *found->second;
}

bool looksLikeHttp(std::string_view start) {
    for (std::string_view method : {"GET ", "HEAD ", "POST ", "PUT ", "DELETE ", "OPTIONS "}) {
        const std::size_t n = std::min(start.size(), method.size());
        if (n > 0 && start.substr(0, n) == method.substr(0, n)) return true;
    }
    return false;
}

bool httpHeadComplete(std::string_view bytes) {
    return bytes.find("\r\n\r\n") != std::string_view::npos || bytes.find("\n\n") != std::string_view::npos;
}

std::string httpAnswer(std::string_view head, const BlobStore* blobs) {
    const std::size_t lineEnd = head.find_first_of("\r\n");
    const std::string_view line = head.substr(0, lineEnd);
    const std::size_t firstSpace = line.find(' ');
    const std::size_t secondSpace = firstSpace == std::string_view::npos ? firstSpace : line.find(' ', firstSpace + 1);
    if (firstSpace == std::string_view::npos) return textAnswer("400 Bad Request", true);
    const std::string_view method = line.substr(0, firstSpace);
    std::string_view target = line.substr(
        firstSpace + 1, secondSpace == std::string_view::npos ? std::string_view::npos : secondSpace - firstSpace - 1);
    target = target.substr(0, target.find_first_of("?#"));
    const bool headOnly = method == "HEAD";
    if (method != "GET" && !headOnly) return textAnswer("405 Method Not Allowed", true);

    if (std::optional<HttpResource> resource = ResourceRegistry::instance().find(target)) {
        std::string answer = statusHead("200 OK", resource->contentType, resource->data.size());
        if (!headOnly) answer.append(resource->data.begin(), resource->data.end());
        return answer;
    }
    if (blobs != nullptr) {
        if (SharedBytes bytes = blobs->find(target)) {
            std::string answer = statusHead("200 OK", "application/octet-stream", bytes->size());
            if (!headOnly) answer.append(bytes->begin(), bytes->end());
            return answer;
        }
    }
    return textAnswer("404 Not Found", !headOnly);
}

} // namespace zeta::indigo::wire
