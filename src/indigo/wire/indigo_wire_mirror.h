#pragma once
// The devices of a peer (a remote server, or a driver subprocess) as devices of the bus:
// one indigo_device per device name the peer defines, attached at its first definition,
// with records of our own that the peer's sets write into.
//
// Names: what the peer sends is renamed to the bus's names through the name table (a name
// already in the bus's spelling passes as it is). Each property remembers the names the
// peer used, and a change request goes back to the peer in those names, so one connection
// serves INDI and INDIGO peers alike.
//
// Threads: apply() runs on the link's reader thread and is the only writer of the records
// and of the device list; removeAll() runs there too or once the reader has ended. The
// devices' callbacks run on the bus's threads: enumeration defines our records on the
// caller's thread, change requests and BLOB modes are queued for the peer. No lock of ours
// is held while the bus is called.
//
// BLOB bytes live in a buffer per item that later BLOBs of the same size or smaller
// overwrite; a buffer that is outgrown, or whose property is deleted, stays allocated until
// its device detaches, so a pointer a client kept is never left dangling. The bytes are lent
// to the clients of their update (see indigo_blob_loan.h): while a peer still sends a frame,
// the next one goes to a second buffer of the item. An item has at most two, and its frame
// is lent only while the other is free, so that the next frame always has a buffer to go to.

#include "indigo/indigo_bus.h"
#include "indigo/wire/indigo_blob_loan.h"
#include "indigo/wire/indigo_xml_message.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace zeta::indigo::wire {

class MirrorDevices {
public:
    // send queues bytes for the peer. A driver is not sent enableBLOB (it sends BLOBs
    // whatever it is told); a server is.
    MirrorDevices(std::string origin, std::function<void(std::string)> send, bool peerTakesEnableBlob);
    ~MirrorDevices();
    MirrorDevices(const MirrorDevices&) = delete;
    MirrorDevices& operator=(const MirrorDevices&) = delete;

    // A def, set, delProperty or message from the peer; other kinds are not the mirror's.
    void apply(WireMessage& message);
    // Detaches every mirrored device: the clients hear every property deleted.
    void removeAll();

    bool owns(const indigo_device* device) const;

    // The timeout the peer last gave a property of a device mirrored by any MirrorDevices,
    // as it wrote it; empty for another device, or when the peer gave none.
    static std::string peerTimeout(const indigo_device* device, const std::string& busName);
    std::vector<std::string> deviceNames() const;

private:
    struct BlobSlot {
        std::vector<std::shared_ptr<LendableBytes>> buffers; // at most two
        std::size_t current = 0;                             // the one the item's bytes are in
        bool lendable = false;
    };
    struct PropertyMirror {
        indigo_property* record = nullptr;
        std::string wireName;
        std::string timeout; // guarded by the owner's mutex_
        std::vector<std::string> wireItems;
        std::unordered_map<std::string, int> itemByWire;
        std::unordered_map<std::string, int> itemByBus;
        std::vector<BlobSlot> blobs; // by item
        std::atomic<bool> deleted{false};
        std::uint64_t order = 0; // definitions are enumerated in the order they came
    };
    struct DeviceMirror {
        indigo_device device{};
        MirrorDevices* owner = nullptr;
        std::string name;
        std::map<std::string, std::shared_ptr<PropertyMirror>> properties; // by the bus's name
        std::vector<std::shared_ptr<LendableBytes>> retired;
        std::map<std::string, std::string> blobModeSent;
        bool attached = false;
        bool gone = false;
    };

    static indigo_result enumerateCallback(indigo_device* device, indigo_client* client, indigo_property* request);
    static indigo_result changeCallback(indigo_device* device, indigo_client* client, indigo_property* request);
    static indigo_result enableBlobCallback(indigo_device* device, indigo_client* client, indigo_property* property,
                                            indigo_enable_blob_mode mode);

    void define(WireMessage& message);
    void set(WireMessage& message);
    void remove(WireMessage& message);
    void relayMessage(const WireMessage& message);

    DeviceMirror* deviceNamed(const std::string& name) const;
    std::shared_ptr<PropertyMirror> build(const WireMessage& message, const std::string& busName) const;
    void removeProperty(DeviceMirror& device, const std::string& busName, const char* message);
    void removeDevice(const std::string& name);
    void detachAndFree(std::unique_ptr<DeviceMirror> device);
    void storeBlob(DeviceMirror& device, PropertyMirror& property, int index, WireItem& wire);
    bool takeBlobBuffer(DeviceMirror& device, BlobSlot& slot, std::size_t size);

    void enumerate(DeviceMirror& device, indigo_client* client, indigo_property* request);
    void forwardChange(DeviceMirror& device, indigo_property* request);
    void forwardBlobMode(DeviceMirror& device, indigo_property* property, indigo_enable_blob_mode mode);
    void sendBlobMode(DeviceMirror& device, const std::string& busName, const std::string& wireName, const char* mode);

    const std::string origin_;
    const std::function<void(std::string)> send_;
    const bool peerTakesEnableBlob_;

    mutable std::mutex mutex_;
    std::map<std::string, std::unique_ptr<DeviceMirror>> devices_;
    std::uint64_t definitions_ = 0;
};

} // namespace zeta::indigo::wire
