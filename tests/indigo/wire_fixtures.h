#pragma once
// Real participants for the wire tests: a device with a switch, a number, a text and a
// BLOB; a bus client that copies every event it hears; a raw protocol client on a TCP
// socket; child processes started with their own environment and stopped by pid; waits
// that poll with generous deadlines.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "indigo/indigo_bus.h"
#include "indigo/indigo_property.h"
#include "indigo/indigo_server.h"
#include "indigo/indigo_xml_parser.h"

extern char** environ;

namespace wire_test {

using namespace std::chrono_literals;

// Long enough for a loaded two-core machine; a passing test never waits it out.
constexpr auto kWait = 30s;

template <class Predicate>
bool eventually(Predicate&& predicate, std::chrono::milliseconds timeout = kWait)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!predicate()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

// The deterministic bytes of a test BLOB.
inline std::vector<std::uint8_t> pattern(std::size_t size, std::uint32_t seed)
{
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

class TempDir {
public:
    TempDir()
    {
        std::string templ = (std::filesystem::temp_directory_path() / "zeta-wire-XXXXXX").string();
        if (mkdtemp(templ.data()) == nullptr)
            ADD_FAILURE() << "mkdtemp failed";
        path = templ;
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string path;
};

inline int freePort()
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

// A child process with extra environment, its output in a file; stopped by pid.
class Process {
public:
    Process(const std::vector<std::string>& argv, const std::vector<std::pair<std::string, std::string>>& env,
            const std::string& outputPath = "/dev/null", bool keepStdin = false)
    {
        std::vector<std::string> environment;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            const std::string text = *entry;
            bool replaced = false;
            for (const auto& [key, value] : env)
                replaced = replaced || text.rfind(key + "=", 0) == 0;
            if (!replaced)
                environment.push_back(text);
        }
        for (const auto& [key, value] : env)
            environment.push_back(key + "=" + value);
        std::vector<char*> args;
        for (const std::string& arg : argv)
            args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        std::vector<char*> envp;
        for (std::string& entry : environment)
            envp.push_back(entry.data());
        envp.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (keepStdin) {
            int input[2];
            if (pipe2(input, O_CLOEXEC) == 0) {
                posix_spawn_file_actions_adddup2(&actions, input[0], 0);
                stdinPipe_ = input[1];
                childStdin_ = input[0];
            }
        } else {
            posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        }
        posix_spawn_file_actions_addopen(&actions, 1, outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, (outputPath == "/dev/null" ? outputPath : outputPath + ".err").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int status = posix_spawnp(&pid_, argv[0].c_str(), &actions, nullptr, args.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (childStdin_ >= 0)
            close(childStdin_);
        if (status != 0) {
            ADD_FAILURE() << "cannot start " << argv[0] << ": " << std::strerror(status);
            pid_ = -1;
        }
    }
    ~Process() { stop(); }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    pid_t pid() const { return pid_; }

    bool running()
    {
        if (pid_ < 0)
            return false;
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            status_ = status;
            pid_ = -1;
            return false;
        }
        return true;
    }

    // Waits for the process to end on its own; its wait status, or -1 after the timeout.
    int wait(std::chrono::milliseconds timeout = kWait)
    {
        if (!eventually([&] { return !running(); }, timeout))
            return -1;
        return status_;
    }

    void signal(int number)
    {
        if (pid_ > 0)
            ::kill(pid_, number);
    }

    int stop()
    {
        if (stdinPipe_ >= 0) {
            close(stdinPipe_);
            stdinPipe_ = -1;
        }
        if (pid_ < 0)
            return status_;
        ::kill(pid_, SIGTERM);
        if (wait(5s) == -1 && pid_ > 0) {
            ::kill(pid_, SIGKILL);
            waitpid(pid_, &status_, 0);
            pid_ = -1;
        }
        return status_;
    }

private:
    pid_t pid_ = -1;
    int status_ = 0;
    int stdinPipe_ = -1;
    int childStdin_ = -1;
};

inline std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// One event as a client heard it, values copied while the record was current.
struct Heard {
    std::string kind;   // define, update, delete, message
    std::string device;
    std::string name;
    std::string message;
    indigo_property_state state = INDIGO_IDLE_STATE;
    indigo_property_type type = INDIGO_TEXT_VECTOR;
    indigo_property_perm perm = INDIGO_RO_PERM;
    std::vector<std::pair<std::string, std::string>> items;   // name, value as text
    std::vector<std::uint8_t> blob;
    std::string blobFormat;
    std::string blobUrl;

    std::string value(const std::string& item) const
    {
        for (const auto& [name, value] : items) {
            if (name == item)
                return value;
        }
        return "<none>";
    }
    double number(const std::string& item) const { return std::atof(value(item).c_str()); }
};

class HearingClient {
public:
    explicit HearingClient(const char* name)
    {
        indigo_copy_name(client.name, name);
        client.version = INDIGO_VERSION_CURRENT;
        client.client_context = this;
        client.define_property = [](indigo_client* c, indigo_device*, indigo_property* p, const char* m) {
            return self(c)->hear("define", p, m);
        };
        client.update_property = [](indigo_client* c, indigo_device*, indigo_property* p, const char* m) {
            return self(c)->hear("update", p, m);
        };
        client.delete_property = [](indigo_client* c, indigo_device*, indigo_property* p, const char* m) {
            return self(c)->hear("delete", p, m);
        };
        client.send_message = [](indigo_client* c, indigo_device* d, const char* m) {
            Heard heard;
            heard.kind = "message";
            heard.device = d != nullptr ? d->name : "";
            heard.message = m != nullptr ? m : "";
            std::lock_guard lock(self(c)->mutex_);
            self(c)->heard_.push_back(std::move(heard));
            return INDIGO_OK;
        };
        EXPECT_EQ(indigo_attach_client(&client), INDIGO_OK);
    }
    ~HearingClient() { indigo_detach_client(&client); }
    HearingClient(const HearingClient&) = delete;
    HearingClient& operator=(const HearingClient&) = delete;

    std::vector<Heard> all() const
    {
        std::lock_guard lock(mutex_);
        return heard_;
    }

    // The first event from index from on that matches, waiting for it.
    std::optional<Heard> waitFor(const std::function<bool(const Heard&)>& match, std::size_t from = 0,
                                 std::chrono::milliseconds timeout = kWait) const
    {
        std::optional<Heard> found;
        eventually(
            [&] {
                std::lock_guard lock(mutex_);
                for (std::size_t i = from; i < heard_.size(); ++i) {
                    if (match(heard_[i])) {
                        found = heard_[i];
                        return true;
                    }
                }
                return false;
            },
            timeout);
        return found;
    }

    std::size_t count() const
    {
        std::lock_guard lock(mutex_);
        return heard_.size();
    }

    // Properties defined and not deleted since, as "device.name".
    std::vector<std::string> defined(const std::string& device) const
    {
        std::vector<std::string> names;
        std::lock_guard lock(mutex_);
        for (const Heard& h : heard_) {
            if (h.device != device)
                continue;
            const auto found = std::find(names.begin(), names.end(), h.name);
            if (h.kind == "define" && found == names.end())
                names.push_back(h.name);
            else if (h.kind == "delete" && h.name.empty())
                names.clear();
            else if (h.kind == "delete" && found != names.end())
                names.erase(found);
        }
        return names;
    }

    indigo_client client{};

private:
    static HearingClient* self(indigo_client* c) { return static_cast<HearingClient*>(c->client_context); }

    indigo_result hear(const char* kind, indigo_property* p, const char* message)
    {
        Heard heard;
        heard.kind = kind;
        heard.device = p->device;
        heard.name = p->name;
        heard.message = message != nullptr ? message : "";
        heard.state = p->state;
        heard.type = p->type;
        heard.perm = p->perm;
        for (int i = 0; i < p->count; ++i) {
            const indigo_item& item = p->items[i];
            std::string value;
            char number[64];
            switch (p->type) {
            case INDIGO_TEXT_VECTOR:
                value = item.text.value;
                break;
            case INDIGO_NUMBER_VECTOR:
                std::snprintf(number, sizeof number, "%.17g", item.number.value);
                value = number;
                break;
            case INDIGO_SWITCH_VECTOR:
                value = item.sw.value ? "On" : "Off";
                break;
            case INDIGO_LIGHT_VECTOR:
                value = std::to_string(item.light.value);
                break;
            case INDIGO_BLOB_VECTOR:
                value = std::to_string(item.blob.size);
                if (i == 0 && std::string(kind) == "update") {
                    if (item.blob.value != nullptr && item.blob.size > 0) {
                        const auto* bytes = static_cast<const std::uint8_t*>(item.blob.value);
                        heard.blob.assign(bytes, bytes + item.blob.size);
                    }
                    heard.blobFormat = item.blob.format;
                    heard.blobUrl = item.blob.url;
                }
                break;
            }
            heard.items.emplace_back(item.name, value);
        }
        std::lock_guard lock(mutex_);
        heard_.push_back(std::move(heard));
        return INDIGO_OK;
    }

    mutable std::mutex mutex_;
    std::vector<Heard> heard_;
};

inline std::function<bool(const Heard&)> heard(const std::string& kind, const std::string& device, const std::string& name,
                                               std::optional<indigo_property_state> state = std::nullopt)
{
    return [=](const Heard& h) {
        return h.kind == kind && h.device == device && h.name == name && (!state || h.state == *state);
    };
}

// A device of every property type: CONNECTION (CONNECTED, DISCONNECTED), VALUE (X),
// NOTE (TEXT), LAMP (light), BLOB_SIZE (SIZE: on change, DATA carries that many pattern
// bytes), DATA (IMAGE, ".bin"). Changes are copied in and the property set Ok.
class FixtureDevice {
public:
    explicit FixtureDevice(const char* name, std::uint32_t seed = 7) : seed_(seed)
    {
        indigo_copy_name(device.name, name);
        device.version = INDIGO_VERSION_CURRENT;
        device.private_data = this;
        connection = indigo_init_switch_property(nullptr, name, "CONNECTION", "Main", "Connection", INDIGO_OK_STATE,
                                                 INDIGO_RW_PERM, INDIGO_ONE_OF_MANY_RULE, 2);
        indigo_init_switch_item(connection->items + 0, "CONNECTED", "Connected", false);
        indigo_init_switch_item(connection->items + 1, "DISCONNECTED", "Disconnected", true);
        value = indigo_init_number_property(nullptr, name, "VALUE", "Main", "Value", INDIGO_IDLE_STATE, INDIGO_RW_PERM, 1);
        indigo_init_number_item(value->items, "X", "X", -1e9, 1e9, 0.5, 1.25);
        note = indigo_init_text_property(nullptr, name, "NOTE", "Main", "Note", INDIGO_IDLE_STATE, INDIGO_RW_PERM, 1);
        indigo_init_text_item(note->items, "TEXT", "Text", "a <tagged> & \"quoted\" note");
        lamp = indigo_init_light_property(nullptr, name, "LAMP", "Main", "Lamp", INDIGO_OK_STATE, 1);
        indigo_init_light_item(lamp->items, "LIGHT", "Light", INDIGO_BUSY_STATE);
        size = indigo_init_number_property(nullptr, name, "BLOB_SIZE", "Main", "BLOB size", INDIGO_IDLE_STATE, INDIGO_RW_PERM, 1);
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
                if (indigo_property_match(p, request))
                    indigo_define_property(d, p, nullptr);
            }
            return INDIGO_OK;
        };
        device.change_property = [](indigo_device* d, indigo_client*, indigo_property* request) {
            return self(d)->change(request);
        };
    }
    ~FixtureDevice()
    {
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
    std::vector<std::string> changed;   // names of the properties changed, in order

private:
    static FixtureDevice* self(indigo_device* d) { return static_cast<FixtureDevice*>(d->private_data); }

    indigo_result change(indigo_property* request)
    {
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
    RunningServer()
    {
        indigo_copy_name(indigo_server_bind_address, "127.0.0.1");
        indigo_server_tcp_port = 0;
        counts_.clear();
        thread_ = std::thread([this] { result = indigo_server_start(&RunningServer::counted); });
        EXPECT_TRUE(eventually([] { return lastCount() >= 0; })) << "the server did not start";
        port = indigo_server_tcp_port;
    }
    ~RunningServer()
    {
        indigo_server_shutdown();
        thread_.join();
    }
    RunningServer(const RunningServer&) = delete;
    RunningServer& operator=(const RunningServer&) = delete;

    static int lastCount()
    {
        std::lock_guard lock(countMutex_);
        return counts_.empty() ? -1 : counts_.back();
    }
    static std::vector<int> counts()
    {
        std::lock_guard lock(countMutex_);
        return counts_;
    }

    int port = 0;
    indigo_result result = INDIGO_OK;

private:
    static void counted(int count)
    {
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
    explicit RawPeer(int port)
    {
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
    ~RawPeer()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    RawPeer(const RawPeer&) = delete;
    RawPeer& operator=(const RawPeer&) = delete;

    bool send(std::string_view bytes)
    {
        while (!bytes.empty()) {
            const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }

    // Reads until a parsed message matches (or the peer closes, or time is up).
    std::optional<zeta::indigo::wire::WireMessage> waitFor(
        const std::function<bool(const zeta::indigo::wire::WireMessage&)>& match, std::chrono::milliseconds timeout = kWait)
    {
        const auto end = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            for (; seen_ < messages_.size(); ++seen_) {
                if (match(messages_[seen_]))
                    return messages_[seen_++];
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !readSome(static_cast<int>(left.count())))
                return std::nullopt;
        }
    }

    // Reads until the peer closes the connection; false when time is up first.
    bool waitForClose(std::chrono::milliseconds timeout = kWait)
    {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (!closed_) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return false;
            readSome(static_cast<int>(left.count()));
        }
        return true;
    }

    // Reads whatever arrives within the time given.
    void drain(std::chrono::milliseconds time)
    {
        const auto end = std::chrono::steady_clock::now() + time;
        while (!closed_) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !readSome(static_cast<int>(left.count())))
                return;
        }
    }

    // Closes with a reset, as a peer that vanishes without saying goodbye.
    void vanish()
    {
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
    void rawOnly()
    {
        keepBytes_ = true;
        parse_ = false;
    }

private:
    // One read; false when nothing more will come in time.
    bool readSome(int timeoutMs)
    {
        if (closed_ || fd_ < 0)
            return false;
        pollfd wait{fd_, POLLIN, 0};
        if (poll(&wait, 1, timeoutMs) <= 0)
            return false;
        char buffer[1 << 16];
        const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
        if (n <= 0) {
            closed_ = true;
            return false;
        }
        if (keepBytes_)
            bytes_.append(buffer, static_cast<std::size_t>(n));
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
    zeta::indigo::wire::XmlStreamParser parser_{[this](zeta::indigo::wire::WireMessage& m) { messages_.push_back(std::move(m)); }};
};

inline std::function<bool(const zeta::indigo::wire::WireMessage&)> wireIs(zeta::indigo::wire::MessageKind kind,
                                                                         const std::string& device, const std::string& name)
{
    return [=](const zeta::indigo::wire::WireMessage& m) { return m.kind == kind && m.device == device && m.name == name; };
}

inline const zeta::indigo::wire::WireItem* wireItem(const zeta::indigo::wire::WireMessage& message, const std::string& name)
{
    for (const auto& item : message.items) {
        if (item.name == name)
            return &item;
    }
    return nullptr;
}

}  // namespace wire_test
