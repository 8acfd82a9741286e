#pragma once
// Real participants for the wire tests: a device with a switch, a number, a text and a
// BLOB; the recording bus client; a raw protocol client on a TCP socket; child processes started with their own environment and stopped by pid; waits
// that poll with generous deadlines.

#include "indigo/indigo_bus.h"
#include "indigo/indigo_log.h"
#include "indigo/indigo_property.h"
#include "indigo/indigo_server.h"
#include "indigo/wire/indigo_xml_parser.h"
#include "support/bus_log.h"
#include "support/eventually.h"
#include "support/free_port.h"
#include "support/process.h"
#include "support/recording_client.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace wire_test {

using namespace std::chrono_literals;

using test_support::eventually;
using test_support::freePort;
using test_support::Process;
using test_support::TempDir;

// Long enough for a loaded two-core machine; a passing test never waits it out.
constexpr auto kWait = test_support::kPatience;

// The deterministic bytes of a test BLOB.
inline std::vector<std::uint8_t> pattern(std::size_t size, std::uint32_t seed) {
    std::vector<std::uint8_t> bytes(size);
    std::uint32_t state = seed * 2654435761u + 1;
    for (std::size_t i = 0; i < size; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        bytes[i] = static_cast<std::uint8_t>(state);
    }
    return bytes;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

using test_support::captureLog;
using test_support::logged;

inline void changeNumber(indigo_client* client, const char* device, const char* property, const char* item,
                         double value) {
    const char* items[] = {item};
    const double values[] = {value};
    indigo_change_number_property(client, device, property, 1, items, values);
}

// Turns the item of a switch property on.
inline void changeSwitch(indigo_client* client, const char* device, const char* property, const char* item) {
    const char* items[] = {item};
    const bool values[] = {true};
    indigo_change_switch_property(client, device, property, 1, items, values);
}

using test_support::BusEvent;
using test_support::heard;
using test_support::RecordingClient;

// A device of every property type: CONNECTION (CONNECTED, DISCONNECTED), VALUE (X),
// NOTE (TEXT), LAMP (light), BLOB_SIZE (SIZE: on change, DATA carries that many pattern
// bytes), DATA (IMAGE, ".bin"). Changes are copied in and the property set Ok.
class FixtureDevice {
public:
    explicit FixtureDevice(const char* name, std::uint32_t seed = 7) : seed_(seed) {
        indigo_copy_name(device.name, name);
        device.version = INDIGO_VERSION_CURRENT;
        device.private_data = this;
        connection = indigo_init_switch_property(nullptr, name, "CONNECTION", "Main", "Connection", INDIGO_OK_STATE,
                                                 INDIGO_RW_PERM, INDIGO_ONE_OF_MANY_RULE, 2);
        indigo_init_switch_item(connection->items + 0, "CONNECTED", "Connected", false);
        indigo_init_switch_item(connection->items + 1, "DISCONNECTED", "Disconnected", true);
        value =
            indigo_init_number_property(nullptr, name, "VALUE", "Main", "Value", INDIGO_IDLE_STATE, INDIGO_RW_PERM, 1);
        indigo_init_number_item(value->items, "X", "X", -1e9, 1e9, 0.5, 1.25);
        note = indigo_init_text_property(nullptr, name, "NOTE", "Main", "Note", INDIGO_IDLE_STATE, INDIGO_RW_PERM, 1);
        indigo_init_text_item(note->items, "TEXT", "Text", "a <tagged> & \"quoted\" note");
        lamp = indigo_init_light_property(nullptr, name, "LAMP", "Main", "Lamp", INDIGO_OK_STATE, 1);
        indigo_init_light_item(lamp->items, "LIGHT", "Light", INDIGO_BUSY_STATE);
        size = indigo_init_number_property(nullptr, name, "BLOB_SIZE", "Main", "BLOB size", INDIGO_IDLE_STATE,
                                           INDIGO_RW_PERM, 1);
        indigo_init_number_item(size->items, "SIZE", "Size", 0, 1e9, 1, 0);
        data = indigo_init_blob_property(nullptr, name, "DATA", "Main", "Data", INDIGO_IDLE_STATE, 1);
        indigo_init_blob_item(data->items, "IMAGE", "Image");
        device.attach = [](indigo_device* d) {
            for (indigo_property* p : self(d)->all())
                indigo_define_property(d, p, nullptr);
            return INDIGO_OK;
        };
        device.enumerate_properties = [](indigo_device* d, indigo_client*, indigo_property* request) {
            for (indigo_property* p : self(d)->all()) {
                if (indigo_property_match(p, request)) indigo_define_property(d, p, nullptr);
            }
            return INDIGO_OK;
        };
        device.change_property = [](indigo_device* d, indigo_client*, indigo_property* request) {
            return self(d)->change(request);
        };
    }
    ~FixtureDevice() {
        indigo_detach_device(&device);
        for (indigo_property* p : all())
            indigo_release_property(p);
    }
    FixtureDevice(const FixtureDevice&) = delete;
    FixtureDevice& operator=(const FixtureDevice&) = delete;

    std::vector<indigo_property*> all() const { return {connection, value, note, lamp, size, data}; }

    indigo_device device{};
    indigo_property* connection = nullptr;
    indigo_property* value = nullptr;
    indigo_property* note = nullptr;
    indigo_property* lamp = nullptr;
    indigo_property* size = nullptr;
    indigo_property* data = nullptr;
    std::atomic<int> changes{0};
    std::mutex mutex;
    std::vector<std::string> changed; // names of the properties changed, in order

private:
    static FixtureDevice* self(indigo_device* d) { return static_cast<FixtureDevice*>(d->private_data); }

    indigo_result change(indigo_property* request) {
        {
            std::lock_guard lock(mutex);
            changed.push_back(request->name);
        }
        changes++;
        for (indigo_property* p : {connection, value, note}) {
            if (indigo_property_match(p, request)) {
                indigo_property_copy_values(p, request, false);
                p->state = INDIGO_OK_STATE;
                indigo_update_property(&device, p, nullptr);
            }
        }
        if (indigo_property_match(size, request)) {
            indigo_property_copy_values(size, request, false);
            size->state = INDIGO_OK_STATE;
            indigo_update_property(&device, size, nullptr);
            bytes_ = pattern(static_cast<std::size_t>(size->items[0].number.value), seed_);
            data->items[0].blob.value = bytes_.data();
            data->items[0].blob.size = static_cast<std::int64_t>(bytes_.size());
            indigo_copy_name(data->items[0].blob.format, ".bin");
            data->state = INDIGO_OK_STATE;
            indigo_update_property(&device, data, nullptr);
        }
        return INDIGO_OK;
    }

    std::uint32_t seed_;
    std::vector<std::uint8_t> bytes_;
};

// The server on a thread of its own, on 127.0.0.1 and a port of its choosing.
class RunningServer {
public:
    RunningServer() {
        indigo_copy_name(indigo_server_bind_address, "127.0.0.1");
        indigo_server_tcp_port = 0;
        counts_.clear();
        thread_ = std::thread([this] { result = indigo_server_start(&RunningServer::counted); });
        EXPECT_TRUE(eventually([] { return lastCount() >= 0; })) << "the server did not start";
        port = indigo_server_tcp_port;
    }
    ~RunningServer() {
        indigo_server_shutdown();
        thread_.join();
    }
    RunningServer(const RunningServer&) = delete;
    RunningServer& operator=(const RunningServer&) = delete;

    static int lastCount() {
        std::lock_guard lock(countMutex_);
        return counts_.empty() ? -1 : counts_.back();
    }
    static std::vector<int> counts() {
        std::lock_guard lock(countMutex_);
        return counts_;
    }

    int port = 0;
    indigo_result result = INDIGO_OK;

private:
    static void counted(int count) {
        std::lock_guard lock(countMutex_);
        counts_.push_back(count);
    }
    static inline std::mutex countMutex_;
    static inline std::vector<int> counts_;
    std::thread thread_;
};

// A protocol peer on a plain TCP socket; what it receives is parsed as it arrives.
class RawPeer {
public:
    // Connects to 127.0.0.1:port.
    explicit RawPeer(int port) {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            ADD_FAILURE() << "cannot connect to port " << port;
    }
    // Takes a connected socket.
    struct Adopt {};
    RawPeer(Adopt, int fd) : fd_(fd) {}
    ~RawPeer() {
        if (fd_ >= 0) close(fd_);
    }
    RawPeer(const RawPeer&) = delete;
    RawPeer& operator=(const RawPeer&) = delete;

    bool send(std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n <= 0) return false;
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }

    // Reads until a parsed message matches (or the peer closes, or time is up).
    std::optional<zeta::indigo::wire::WireMessage>
    waitFor(const std::function<bool(const zeta::indigo::wire::WireMessage&)>& match,
            std::chrono::milliseconds timeout = kWait) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            for (; seen_ < messages_.size(); ++seen_) {
                if (match(messages_[seen_])) return messages_[seen_++];
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !readSome(static_cast<int>(left.count()))) return std::nullopt;
        }
    }

    // Reads until the peer closes the connection; false when time is up first.
    bool waitForClose(std::chrono::milliseconds timeout = kWait) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (!closed_) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            readSome(static_cast<int>(left.count()));
        }
        return true;
    }

    // Reads whatever arrives within the time given.
    void drain(std::chrono::milliseconds time) {
        const auto end = std::chrono::steady_clock::now() + time;
        while (!closed_) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !readSome(static_cast<int>(left.count()))) return;
        }
    }

    // Closes with a reset, as a peer that vanishes without saying goodbye.
    void vanish() {
        linger hard{1, 0};
        setsockopt(fd_, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        close(fd_);
        fd_ = -1;
    }

    const std::vector<zeta::indigo::wire::WireMessage>& messages() const { return messages_; }
    const std::string& bytes() const { return bytes_; }
    bool closed() const { return closed_; }
    int fd() const { return fd_; }
    void keepBytes(bool keep) { keepBytes_ = keep; }
    // For peers that do not speak the protocol (HTTP): bytes are kept, not parsed.
    void rawOnly() {
        keepBytes_ = true;
        parse_ = false;
    }

private:
    // One read; false when nothing more will come in time.
    bool readSome(int timeoutMs) {
        if (closed_ || fd_ < 0) return false;
        pollfd wait{fd_, POLLIN, 0};
        if (poll(&wait, 1, timeoutMs) <= 0) return false;
        char buffer[1 << 16];
        const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
        if (n <= 0) {
            closed_ = true;
            return false;
        }
        if (keepBytes_) bytes_.append(buffer, static_cast<std::size_t>(n));
        if (parse_ && !parser_.feed(buffer, static_cast<std::size_t>(n)))
            ADD_FAILURE() << "unparsable answer: " << parser_.error();
        return true;
    }

    int fd_ = -1;
    bool closed_ = false;
    bool keepBytes_ = true;
    bool parse_ = true;
    std::string bytes_;
    std::vector<zeta::indigo::wire::WireMessage> messages_;
    std::size_t seen_ = 0;
    zeta::indigo::wire::XmlStreamParser parser_{[this](zeta::indigo::wire::WireMessage& m) {
        messages_.push_back(std::move(m));
    }};
};

inline std::function<bool(const zeta::indigo::wire::WireMessage&)>
wireIs(zeta::indigo::wire::MessageKind kind, const std::string& device, const std::string& name) {
    return [=](const zeta::indigo::wire::WireMessage& m) {
        return m.kind == kind && m.device == device && m.name == name;
    };
}

inline const zeta::indigo::wire::WireItem* wireItem(const zeta::indigo::wire::WireMessage& message,
                                                    const std::string& name) {
    for (const auto& item : message.items) {
        if (item.name == name) return &item;
    }
    return nullptr;
}

} // namespace wire_test
