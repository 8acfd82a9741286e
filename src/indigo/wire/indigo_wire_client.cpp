#include "indigo/wire/indigo_wire_client.h"

#include "indigo/bus/indigo_bus_internal.h"
#include "indigo/bus/record.h"
#include "indigo/bus/text_field.h"
#include "indigo/indigo_log.h"
#include "indigo/indigo_property.h"
#include "indigo/wire/indigo_base64.h"
#include "indigo/wire/indigo_blob_loan.h"
#include "indigo/wire/indigo_name_map.h"
#include "indigo/wire/indigo_wire_mirror.h"
#include "indigo/wire/indigo_xml_writer.h"

#include <cstdlib>
#include <cstring>
#include <optional>

namespace zeta::indigo::wire {

namespace {

enum EventKind { kDefine, kUpdate, kDelete, kMessage };

constexpr std::size_t kLargeBlob = std::size_t{1} << 20;

struct FreeRecord {
    void operator()(indigo_property* property) const { std::free(property); }
};

// Copies of frames, one per update that peers hear. Fresh memory of that size costs a page
// fault per page on every frame; the last buffers given back are kept and used again.
class BlobPool {
public:
    static BlobPool& instance() {
        static BlobPool* pool = new BlobPool();
        return *pool;
    }

    SharedBytes copy(const void* data, std::size_t size) {
        std::unique_ptr<BlobBytes> buffer;
        if (size >= kKeptSize) {
            std::lock_guard lock(mutex_);
            for (auto it = free_.begin(); it != free_.end(); ++it) {
                if ((*it)->capacity() >= size) {
                    buffer = std::move(*it);
                    free_.erase(it);
                    break;
                }
            }
        }
        if (buffer == nullptr) buffer = std::make_unique<BlobBytes>();
        buffer->resize(size);
        std::memcpy(buffer->data(), data, size);
        return SharedBytes(buffer.release(), [](const BlobBytes* done) { instance().giveBack(done); });
    }

private:
    static constexpr std::size_t kKeptSize = std::size_t{1} << 20;
    static constexpr std::size_t kKept = 2;

    void giveBack(const BlobBytes* done) {
        std::unique_ptr<BlobBytes> buffer(const_cast<BlobBytes*>(done));
        if (buffer->capacity() < kKeptSize) return;
        std::lock_guard lock(mutex_);
        if (free_.size() < kKept) free_.push_back(std::move(buffer));
    }

    std::mutex mutex_;
    std::vector<std::unique_ptr<BlobBytes>> free_;
};

// One event as the peers are to see it: a copy of the record (BLOB bytes included) taken
// while the device's callback runs, written out at most once per dialect on a writer
// thread, and shared by every peer that hears the event.
class Snapshot {
public:
    Snapshot(int kind, indigo_device* device, const indigo_property* property, const char* message) : kind_(kind) {
        if (message != nullptr) message_ = message;
        if (device != nullptr) device_ = field(device->name);
        if (property == nullptr) return;
        device_ = field(property->device);
        if (kind == kDefine || kind == kUpdate)
            timeout_ = MirrorDevices::peerTimeout(device, std::string(field(property->name)));
        const std::size_t size = recordSize(property->count);
        record_.reset(static_cast<indigo_property*>(std::malloc(size)));
        if (record_ == nullptr) return;
        std::memcpy(static_cast<void*>(record_.get()), property, size);
        if (property->type != INDIGO_BLOB_VECTOR) return;
        blobs_.resize(static_cast<std::size_t>(property->count));
        for (int i = 0; i < property->count; ++i) {
            indigo_item& item = record_->items[i];
            const bool withBytes = kind == kUpdate && item.blob.value != nullptr && item.blob.size > 0;
            if (withBytes) {
                const auto size = static_cast<std::size_t>(item.blob.size);
                SharedBytes copy = borrowBytes(item.blob.value, size);
                if (copy == nullptr) copy = BlobPool::instance().copy(item.blob.value, size);
                item.blob.value = const_cast<std::uint8_t*>(copy->data());
                weight_ += base64Length(copy->size());
                blobs_[static_cast<std::size_t>(i)] = std::move(copy);
            } else {
                item.blob.value = nullptr;
                item.blob.size = 0;
            }
        }
    }

    bool usable() const { return kind_ == kMessage || record_ != nullptr; }

    std::string_view render(Dialect dialect) {
        const int slot = dialect == Dialect::Indi ? 0 : 1;
        std::lock_guard lock(mutex_);
        if (!rendered_[slot]) {
            std::string out;
            write(out, dialect, nullptr);
            rendered_[slot] = std::move(out);
        }
        return *rendered_[slot];
    }

    std::string renderWithUrls(Dialect dialect, const std::vector<std::string>& urls) {
        std::string out;
        write(out, dialect, &urls);
        return out;
    }

    // The server paths of the BLOB items, published once however many peers ask.
    std::vector<std::string> publish(BlobStore& store) {
        std::lock_guard lock(mutex_);
        if (!published_) {
            published_ = true;
            for (std::size_t i = 0; i < blobs_.size(); ++i) {
                const indigo_item& item = record_->items[i];
                if (blobs_[i] == nullptr) {
                    paths_.emplace_back();
                    continue;
                }
                const std::string key =
                    device_ + '\n' + std::string(field(record_->name)) + '\n' + std::string(field(item.name));
                paths_.push_back(store.publish(key, blobs_[i], field(item.blob.format)));
            }
        }
        return paths_;
    }

    std::size_t weight() const {
        return weight_ + 256 + (record_ != nullptr ? static_cast<std::size_t>(record_->count) * 160 : 0);
    }

    // A frame is written as it is encoded rather than held whole as text.
    bool large() const { return kind_ == kUpdate && weight_ > kLargeBlob; }
    bool stream(Dialect dialect, const TextSink& sink) const {
        return streamUpdate(*record_, message_ ? message_->c_str() : nullptr, namesFor(dialect), sink, timeout_);
    }

private:
    void write(std::string& out, Dialect dialect, const std::vector<std::string>* urls) const {
        const OutgoingNames& names = namesFor(dialect);
        const char* message = message_ ? message_->c_str() : nullptr;
        switch (kind_) {
        case kDefine:
            writeDefinition(out, *record_, message, names, timeout_);
            break;
        case kUpdate:
            writeUpdate(out, *record_, message, names, urls, timeout_);
            break;
        case kDelete:
            writeDelete(out, device_, field(record_->name), message, names);
            break;
        default:
            writeMessage(out, device_, message);
            break;
        }
    }

    const int kind_;
    std::string device_;
    std::string timeout_; // a relayed property's, as its peer gave it
    std::optional<std::string> message_;
    std::unique_ptr<indigo_property, FreeRecord> record_;
    std::vector<SharedBytes> blobs_;
    std::size_t weight_ = 0;

    std::mutex mutex_;
    std::optional<std::string> rendered_[2];
    bool published_ = false;
    std::vector<std::string> paths_;
};

class SnapshotPiece final : public OutgoingPiece {
public:
    SnapshotPiece(std::shared_ptr<Snapshot> snapshot, Dialect dialect)
        : snapshot_(std::move(snapshot)), dialect_(dialect) {}
    std::string_view bytes() override { return snapshot_->render(dialect_); }
    std::size_t weight() const override { return snapshot_->weight(); }
    bool streams() const override { return snapshot_->large(); }
    bool writeTo(const std::function<bool(std::string_view)>& write) override {
        return streams() ? snapshot_->stream(dialect_, write) : write(bytes());
    }

private:
    std::shared_ptr<Snapshot> snapshot_;
    Dialect dialect_;
};

class UrlPiece final : public OutgoingPiece {
public:
    UrlPiece(std::shared_ptr<Snapshot> snapshot, Dialect dialect, std::vector<std::string> urls)
        : snapshot_(std::move(snapshot)), dialect_(dialect), urls_(std::move(urls)) {}
    std::string_view bytes() override {
        if (text_.empty()) text_ = snapshot_->renderWithUrls(dialect_, urls_);
        return text_;
    }
    std::size_t weight() const override { return 1024; }

private:
    std::shared_ptr<Snapshot> snapshot_;
    Dialect dialect_;
    std::vector<std::string> urls_;
    std::string text_;
};

// The snapshot of the event being handed out on this thread, made by its first hearer. The
// cache does not keep it alive: once every queue has written it, a frame's copy goes.
std::shared_ptr<Snapshot> sharedSnapshot(int kind, indigo_device* device, indigo_property* property,
                                         const char* message) {
    struct Cache {
        std::uint64_t event = 0;
        std::weak_ptr<Snapshot> snapshot;
    };
    thread_local Cache cache;
    const std::uint64_t event = currentEventSerial();
    if (event != 0 && cache.event == event) {
        if (std::shared_ptr<Snapshot> shared = cache.snapshot.lock()) return shared;
    }
    auto snapshot = std::make_shared<Snapshot>(kind, device, property, message);
    if (!snapshot->usable()) return nullptr;
    cache.event = event;
    cache.snapshot = snapshot;
    return snapshot;
}

int majorVersion(const std::string& version) {
    return std::atoi(version.c_str());
}

} // namespace

WireClient::WireClient(std::string name, Role role, Link& link, BlobStore* blobs, std::string urlBase)
    : name_(std::move(name)), role_(role), link_(link), blobs_(blobs), urlBase_(std::move(urlBase)) {
    copyField(client_.name, name_.c_str());
    client_.is_remote = true;
    client_.version = INDIGO_VERSION_CURRENT;
    client_.client_context = this;
    client_.define_property = [](indigo_client* c, indigo_device* d, indigo_property* p, const char* m) {
        self(c)->onEvent(kDefine, d, p, m);
        return INDIGO_OK;
    };
    client_.update_property = [](indigo_client* c, indigo_device* d, indigo_property* p, const char* m) {
        self(c)->onEvent(kUpdate, d, p, m);
        return INDIGO_OK;
    };
    client_.delete_property = [](indigo_client* c, indigo_device* d, indigo_property* p, const char* m) {
        self(c)->onEvent(kDelete, d, p, m);
        return INDIGO_OK;
    };
    client_.send_message = [](indigo_client* c, indigo_device* d, const char* m) {
        self(c)->onEvent(kMessage, d, nullptr, m);
        return INDIGO_OK;
    };
}

WireClient::~WireClient() {
    detach();
}

bool WireClient::attach() {
    if (indigo_attach_client(&client_) != INDIGO_OK) return false;
    attached_ = true;
    // Peers get no BLOBs until they ask for them.
    indigo_enable_blob(&client_, nullptr, INDIGO_ENABLE_BLOB_NEVER);
    return true;
}

void WireClient::detach() {
    if (attached_) {
        attached_ = false;
        indigo_detach_client(&client_);
    }
}

bool WireClient::hears(const std::string& device, const std::string& name) const {
    for (const Rule& rule : heard_) {
        if ((rule.device.empty() || rule.device == device) && (rule.name.empty() || name.empty() || rule.name == name))
            return true;
    }
    return false;
}

WireClient::BlobMode WireClient::blobMode(const std::string& device, const std::string& name) const {
    BlobMode mode = BlobMode::Never;
    int best = -1;
    for (const BlobRule& rule : blobRules_) {
        if (!rule.device.empty() && rule.device != device) continue;
        if (!rule.name.empty() && rule.name != name) continue;
        const int rank = (rule.device.empty() ? 0 : 2) + (rule.name.empty() ? 0 : 1);
        if (rank > best) {
            best = rank;
            mode = rule.mode;
        }
    }
    return mode;
}

void WireClient::onEvent(int kind, indigo_device* device, indigo_property* property, const char* message) {
    if (kind == kMessage && role_ == Role::SnoopingDriver) return;
    if (excluded_ && device != nullptr && excluded_(device)) return;
    const std::string deviceName(property != nullptr ? field(property->device)
                                 : device != nullptr ? field(device->name)
                                                     : "");
    const std::string name(property != nullptr ? field(property->name) : "");
    const bool blob = property != nullptr && property->type == INDIGO_BLOB_VECTOR;
    BlobMode mode;
    Dialect dialect;
    {
        std::lock_guard lock(mutex_);
        if (heard_.empty() || (!deviceName.empty() && !hears(deviceName, name))) return;
        mode = blobMode(deviceName, name);
        dialect = dialect_;
    }
    if (mode == BlobMode::Only && !blob && !name.empty()) return;
    if (blob && kind == kUpdate && mode == BlobMode::Never) return;
    std::shared_ptr<Snapshot> snapshot = sharedSnapshot(kind, device, property, message);
    if (snapshot == nullptr) {
        indigo_error("indigo: %s: out of memory copying %s.%s", name_.c_str(), deviceName.c_str(), name.c_str());
        return;
    }
    if (blob && kind == kUpdate && mode == BlobMode::Url && blobs_ != nullptr) {
        std::vector<std::string> urls;
        for (const std::string& path : snapshot->publish(*blobs_))
            urls.push_back(path.empty() ? std::string() : urlBase_ + path);
        link_.send(std::make_shared<UrlPiece>(std::move(snapshot), dialect, std::move(urls)));
        return;
    }
    link_.send(std::make_shared<SnapshotPiece>(std::move(snapshot), dialect));
}

std::string WireClient::busName(const std::string& wireProperty) const {
    std::lock_guard lock(mutex_);
    return dialect_ == Dialect::Indi ? std::string(indigoPropertyName(wireProperty)) : wireProperty;
}

bool WireClient::handle(WireMessage& message) {
    if (!message.invalid.empty()) {
        indigo_error("indigo: %s: message dropped: %s", name_.c_str(), message.invalid.c_str());
        return true;
    }
    switch (message.kind) {
    case MessageKind::GetProperties:
        if (role_ == Role::ServerClient && message.client == processClientName()) {
            indigo_error("indigo: %s: this process connected to its own server; the connection is refused",
                         name_.c_str());
            return false;
        }
        getProperties(message);
        break;
    case MessageKind::EnableBlob:
        enableBlob(message);
        break;
    case MessageKind::New:
        if (role_ == Role::ServerClient) change(message);
        break;
    case MessageKind::PingRequest: {
        std::string reply;
        writePingReply(reply, message.uid);
        link_.send(std::move(reply));
        break;
    }
    default:
        indigo_debug("indigo: %s: a client's message of a kind only devices send, dropped", name_.c_str());
        break;
    }
    return true;
}

void WireClient::getProperties(const WireMessage& message) {
    if (role_ == Role::ServerClient && majorVersion(message.version) >= kIndigoProtocolMajor) {
        std::lock_guard lock(mutex_);
        dialect_ = Dialect::Indigo;
    }
    const std::string name = message.name.empty() ? std::string() : busName(message.name);
    {
        std::lock_guard lock(mutex_);
        Rule rule{message.device, role_ == Role::ServerClient ? std::string() : name};
        bool known = false;
        for (const Rule& existing : heard_)
            known = known || (existing.device == rule.device && existing.name == rule.name);
        if (!known) heard_.push_back(std::move(rule));
    }
    indigo_property* request = nullptr;
    if (!message.device.empty() || !name.empty()) {
        request = indigo_init_text_property(nullptr, message.device.c_str(), name.c_str(), "", "", INDIGO_IDLE_STATE,
                                            INDIGO_RO_PERM, 0);
        if (request == nullptr) return;
    }
    indigo_enumerate_properties(&client_, request != nullptr ? request : INDIGO_ALL_PROPERTIES);
    indigo_release_property(request);
}

void WireClient::enableBlob(const WireMessage& message) {
    BlobMode mode = BlobMode::Never;
    if (message.blobMode == "Also")
        mode = BlobMode::Also;
    else if (message.blobMode == "Only")
        mode = BlobMode::Only;
    else if (message.blobMode == "URL")
        mode = blobs_ != nullptr ? BlobMode::Url : BlobMode::Also;
    const std::string name = message.name.empty() ? std::string() : busName(message.name);
    {
        std::lock_guard lock(mutex_);
        bool found = false;
        for (BlobRule& rule : blobRules_) {
            if (rule.device == message.device && rule.name == name) {
                rule.mode = mode;
                found = true;
            }
        }
        if (!found) blobRules_.push_back(BlobRule{message.device, name, mode});
    }
    const indigo_enable_blob_mode busMode = mode == BlobMode::Never ? INDIGO_ENABLE_BLOB_NEVER
                                            : mode == BlobMode::Url ? INDIGO_ENABLE_BLOB_URL
                                                                    : INDIGO_ENABLE_BLOB_ALSO;
    indigo_property* request =
        indigo_init_blob_property(nullptr, message.device.c_str(), name.c_str(), "", "", INDIGO_IDLE_STATE, 0);
    if (request == nullptr) return;
    indigo_enable_blob(&client_, request, busMode);
    indigo_release_property(request);
}

void WireClient::change(const WireMessage& message) {
    Dialect dialect;
    {
        std::lock_guard lock(mutex_);
        dialect = dialect_;
        if (!hears(message.device, std::string())) heard_.push_back(Rule{message.device, std::string()});
    }
    const std::string name = dialect == Dialect::Indi ? std::string(indigoPropertyName(message.name)) : message.name;
    const int count = static_cast<int>(message.items.size());
    const char* device = message.device.c_str();
    indigo_property* request = nullptr;
    switch (message.type) {
    case INDIGO_TEXT_VECTOR:
        request =
            indigo_init_text_property(nullptr, device, name.c_str(), "", "", INDIGO_IDLE_STATE, INDIGO_RW_PERM, count);
        break;
    case INDIGO_NUMBER_VECTOR:
        request = indigo_init_number_property(nullptr, device, name.c_str(), "", "", INDIGO_IDLE_STATE, INDIGO_RW_PERM,
                                              count);
        break;
    case INDIGO_SWITCH_VECTOR:
        request = indigo_init_switch_property(nullptr, device, name.c_str(), "", "", INDIGO_IDLE_STATE, INDIGO_RW_PERM,
                                              INDIGO_ANY_OF_MANY_RULE, count);
        break;
    case INDIGO_BLOB_VECTOR:
        request = indigo_init_blob_property(nullptr, device, name.c_str(), "", "", INDIGO_IDLE_STATE, count);
        if (request != nullptr) request->perm = INDIGO_RW_PERM;
        break;
    default:
        break;
    }
    if (request == nullptr) return;
    for (int i = 0; i < count; ++i) {
        const WireItem& wire = message.items[static_cast<std::size_t>(i)];
        indigo_item& item = request->items[i];
        const std::string itemName =
            dialect == Dialect::Indi ? std::string(indigoItemName(message.name, wire.name)) : wire.name;
        copyField(item.name, itemName.c_str());
        switch (message.type) {
        case INDIGO_TEXT_VECTOR:
            copyField(item.text.value, wire.text.c_str());
            break;
        case INDIGO_NUMBER_VECTOR:
            item.number.value = wire.value;
            item.number.target = wire.value;
            break;
        case INDIGO_SWITCH_VECTOR:
            item.sw.value = wire.on;
            break;
        case INDIGO_BLOB_VECTOR:
            copyField(item.blob.format, wire.format.c_str());
            copyField(item.blob.url, wire.url.c_str());
            item.blob.size = static_cast<std::int64_t>(wire.bytes.size());
            item.blob.value = wire.bytes.empty() ? nullptr : const_cast<std::uint8_t*>(wire.bytes.data());
            break;
        default:
            break;
        }
    }
    indigo_change_property(&client_, request);
    indigo_release_property(request);
}

} // namespace zeta::indigo::wire
