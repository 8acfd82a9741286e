#pragma once
// INDIGO::Property: one property of a device, over the bus's own record. Name, group, item
// names and item objects are fixed when the object is made; everything else is read from the
// record at the moment of the call, so an update is visible as soon as the bus has written
// it. The object holds a reference to the record, which therefore stays readable (with its
// last values) after the property has been deleted.

#include "Common/indigo_client.h"
#include "Common/record_reference.h"

#include <QImage>
#include <atomic>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class INDIGO::Property {
public:
    // Builds the property and one item object per record item of the property's kind (none
    // for a type code outside 1 to 5). An item name listed twice keeps the later item.
    Property(std::shared_ptr<Device> device, indigo_property* record);
    ~Property();
    Property(const Property&) = delete;
    Property& operator=(const Property&) = delete;

    // The owning device (kept alive by the property).
    const std::shared_ptr<Device>& device() const { return device_; }
    const std::string& group() const { return group_; }
    const std::string& name() const { return name_; }
    // Item names in the record's order, one per record item.
    const std::vector<std::string>& itemNames() const { return itemNames_; }
    const StringMap<std::shared_ptr<Item>>& items() const { return items_; }
    // The item of that name, or nullptr; the typed form gives nullptr for another kind.
    std::shared_ptr<Item> item(std::string_view name) const;
    template <class Kind>
    std::shared_ptr<Kind> item(std::string_view name) const {
        return std::dynamic_pointer_cast<Kind>(item(name));
    }

    // The bus record (borrowed from the bus, kept readable by this object).
    indigo_property* property() const { return record_->get(); }

    // Read live from the record.
    std::string description() const;
    indigo_property_state state() const;
    int type() const;
    // True exactly for permission 1.
    bool readOnly() const;
    int version() const;
    // "OK", "Busy", "Alert" or "Idle".
    std::string stateDescription() const;
    std::string_view stateImageName() const;
    QImage stateImage() const;

    // True once the client has taken the property out of the model.
    bool deleted() const { return deleted_.load(std::memory_order_acquire); }
    // The client's: marks the property deleted (its BLOB items stop reading the device's bytes).
    void markDeleted();

private:
    std::shared_ptr<Device> device_;
    std::shared_ptr<const RecordReference> record_;
    std::string group_;
    std::string name_;
    std::vector<std::string> itemNames_;
    StringMap<std::shared_ptr<Item>> items_;
    std::atomic<bool> deleted_{false};
};
