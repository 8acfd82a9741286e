#pragma once
// A scripted plate-solving service on 127.0.0.1 (replies replayed per path, requests
// recorded), a recording panel, and a small image to solve.

#include "imaging/image.h"
#include "platform/constants.h"
#include "solver/solver_controller.h"

#include <QBuffer>
#include <QImage>
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cctype>
#include <chrono>
#include <deque>
#include <map>
#include <mutex>
#include <netinet/in.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace solver_test {

inline bool sameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

struct Recorded {
    std::string method, path, body;
    std::multimap<std::string, std::string> headers;
    std::string header(const std::string& name) const {
        for (const auto& [key, value] : headers)
            if (sameName(key, name)) return value;
        return {};
    }
    bool hasHeader(const std::string& name) const {
        for (const auto& entry : headers)
            if (sameName(entry.first, name)) return true;
        return false;
    }
};

// A plain HTTP/1.1 responder on a loopback socket: one request per connection, read as sent
// (bodies byte for byte, multipart too), answered with the path's next scripted reply.
class ScriptedService {
public:
    ScriptedService() {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener_, 16);
        socklen_t length = sizeof address;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~ScriptedService() {
        stopping_ = true;
        ::shutdown(listener_, SHUT_RDWR);
        thread_.join();
        ::close(listener_);
    }
    void script(const std::string& path, std::vector<std::string> replies) {
        std::lock_guard lock(mutex_);
        replies_[path] = std::deque<std::string>(replies.begin(), replies.end());
    }
    std::vector<Recorded> requests() {
        std::lock_guard lock(mutex_);
        return requests_;
    }
    std::vector<std::string> paths() {
        std::vector<std::string> result;
        for (const auto& request : requests())
            result.push_back(request.method + " " + request.path);
        return result;
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_); }

private:
    void serve() {
        while (!stopping_) {
            const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection < 0) return;
            answer(connection);
            ::close(connection);
        }
    }
    void answer(int connection) {
        std::string input;
        char buffer[65536];
        std::size_t headerEnd = std::string::npos;
        while (headerEnd == std::string::npos) {
            const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
            if (got <= 0) return;
            input.append(buffer, static_cast<std::size_t>(got));
            headerEnd = input.find("\r\n\r\n");
        }
        Recorded recorded;
        std::istringstream head(input.substr(0, headerEnd));
        std::string line;
        std::getline(head, line);
        std::istringstream requestLine(line);
        requestLine >> recorded.method >> recorded.path;
        std::size_t contentLength = 0;
        while (std::getline(head, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            const auto colon = line.find(':');
            if (colon == std::string::npos) continue;
            std::string name = line.substr(0, colon), value = line.substr(colon + 1);
            value.erase(0, value.find_first_not_of(' '));
            if (sameName(name, "Content-Length")) contentLength = std::stoul(value);
            recorded.headers.emplace(name, value);
        }
        recorded.body = input.substr(headerEnd + 4);
        while (recorded.body.size() < contentLength) {
            const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
            if (got <= 0) return;
            recorded.body.append(buffer, static_cast<std::size_t>(got));
        }
        std::string reply = "{}";
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(recorded);
            auto& queue = replies_[recorded.path];
            if (!queue.empty()) {
                reply = queue.front();
                if (queue.size() > 1) // the last reply repeats
                    queue.pop_front();
            }
        }
        const std::string out =
            "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(reply.size()) +
            "\r\nConnection: close\r\n\r\n" + reply;
        ::send(connection, out.data(), out.size(), MSG_NOSIGNAL);
    }

    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
    std::mutex mutex_;
    std::map<std::string, std::deque<std::string>> replies_;
    std::vector<Recorded> requests_;
};

// The panel's controls as plain values; every status change is kept in order.
class RecordingPanel : public SolverView {
public:
    struct Status {
        std::string image;
        std::string text;
        std::string button;
        bool enabled;
    };

    void showStatus(std::string_view imageName, const std::optional<std::string>& message, std::string_view title,
                    bool enabled) override {
        if (message) text = *message;
        statuses.push_back({std::string(imageName), text, std::string(title), enabled});
        solveEnabled = enabled;
    }
    void setSolveEnabled(bool enabled) override { solveEnabled = enabled; }
    void setMountButtonsEnabled(bool enabled) override { mountEnabled = enabled; }
    void showSolution(double raHours, double decDegrees, double orientation, double pixelScale) override {
        ra = formatSexagesimal(raHours, ":", ":");
        dec = formatSexagesimal(decDegrees, ":", ":");
        this->orientation = QString::number(orientation, 'g', 10).toStdString();
        this->pixelScale = QString::number(pixelScale, 'g', 10).toStdString();
    }
    void clearSolution() override { ra = dec = orientation = pixelScale = ""; }
    void showServiceChoice(const std::string& url, bool enabled, bool on) override {
        local = url;
        localEnabled = enabled;
        localOn = on;
    }
    void showSettings(const std::string& key, const std::string& url) override {
        apiKeyValue = key;
        publicURLValue = url;
    }
    void showLocalOverride(const std::string& url, const std::optional<std::string>& why) override {
        overrideURL = url;
        refusal = why;
    }
    std::string apiKey() const override { return apiKeyValue; }
    std::string publicURL() const override { return publicURLValue; }
    std::string localURL() const override { return local; }
    bool localChosen() const override { return localOn; }
    std::string raText() const override { return ra; }
    std::string decText() const override { return dec; }
    std::string orientationText() const override { return orientation; }
    std::string pixelScaleText() const override { return pixelScale; }

    std::vector<Status> statuses;
    std::string text;
    bool solveEnabled = true, mountEnabled = false;
    std::string ra, dec, orientation, pixelScale;
    std::string local;
    bool localEnabled = false, localOn = false;
    std::string apiKeyValue, publicURLValue;
    std::string overrideURL;
    std::optional<std::string> refusal;
};

// A 64 x 48 grey gradient as PNG bytes, decoded into an Image.
inline std::shared_ptr<Image> smallImage() {
    QImage picture(64, 48, QImage::Format_Grayscale8);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.scanLine(y)[x] = static_cast<uchar>((x * 4 + y) & 0xFF);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    return std::make_shared<Image>(zeta::platform::Data(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                                   ".png");
}

} // namespace solver_test
