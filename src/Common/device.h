#pragma once
// INDIGO::Device and INDIGO::Group: one device on the bus with its properties filed by name
// and by group.
//
// The maps are changed only by the client on its indigoSyncQueue; any thread may read them
// (each read takes the device's lock for the moment of the lookup or copy).

#include "Common/indigo_client.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

class INDIGO::Group {
public:
    explicit Group(std::string name);

    const std::string& name() const { return name_; }
    const std::string& description() const { return name_; }

    StringMap<std::shared_ptr<Property>> properties() const;
    std::shared_ptr<Property> property(std::string_view name) const;

    // Model changes (the client's).
    void addProperty(const std::shared_ptr<Property>& property);
    // True when the group is empty afterwards.
    bool removeProperty(std::string_view name);

private:
    const std::string name_;
    mutable std::mutex mutex_;
    StringMap<std::shared_ptr<Property>> properties_;
};

class INDIGO::Device : public std::enable_shared_from_this<INDIGO::Device> {
public:
    explicit Device(std::string name);

    const std::string& name() const { return name_; }
    const std::string& description() const { return name_; }

    StringMap<std::shared_ptr<Property>> properties() const;
    std::shared_ptr<Property> property(std::string_view name) const;
    std::size_t propertyCount() const;
    StringMap<std::shared_ptr<Group>> groups() const;
    std::shared_ptr<Group> group(std::string_view name) const;

    // Whether the device reports itself connected (its CONNECTION's CONNECTED switch).
    bool connected() const { return connected_.load(std::memory_order_acquire); }
    void setConnected(bool connected) { connected_.store(connected, std::memory_order_release); }
    // The device's CONNECTION property, remembered when first filed; kept after its deletion
    // for as long as the device has other properties, dropped when the device leaves the bus.
    std::shared_ptr<Property> connectionProperty() const;
    void forgetConnectionProperty();

    // The property of the record's name; made from the record and filed (by name, in its
    // group, as the connection property when it is CONNECTION) when the device has none.
    // The device must be owned by a shared_ptr.
    std::shared_ptr<Property> lookupProperty(indigo_property* record);

    // Takes the property out of the device and out of its group (dropping a group left
    // empty); nullptr when the device has no property of that name.
    std::shared_ptr<Property> removeProperty(std::string_view name);
    // Drops every property and group (breaks the device <-> property ownership loop).
    void clear();

private:
    const std::string name_;
    std::atomic<bool> connected_{false};
    mutable std::mutex mutex_;
    StringMap<std::shared_ptr<Property>> properties_;
    StringMap<std::shared_ptr<Group>> groups_;
    std::shared_ptr<Property> connectionProperty_;
};
