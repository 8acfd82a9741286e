#pragma once
// INDIGO::Item and its kinds: one item of a property, over the bus's own item record. The
// name is fixed when the object is made; values are read from the record at each call
// (without a lock: a read racing the bus's write may see the value mid-change). Each item
// keeps its property's record readable for as long as it lives.

#include "Common/indigo_client.h"
#include "Common/record_reference.h"

#include <memory>
#include <string>

class INDIGO::Item {
public:
    virtual ~Item();
    Item(const Item&) = delete;
    Item& operator=(const Item&) = delete;

    const std::string& name() const { return name_; }
    // The bus's item record.
    indigo_item* item() const { return item_; }
    // The item's label.
    std::string description() const;

protected:
    Item(indigo_item* item, std::shared_ptr<const RecordReference> record);

private:
    indigo_item* item_;
    std::shared_ptr<const RecordReference> record_;
    std::string name_;
};

class INDIGO::TextItem final : public Item {
public:
    TextItem(indigo_item* item, std::shared_ptr<const RecordReference> record) : Item(item, std::move(record)) {}
    std::string value() const;
};

class INDIGO::NumberItem final : public Item {
public:
    NumberItem(indigo_item* item, std::shared_ptr<const RecordReference> record) : Item(item, std::move(record)) {}
    double value() const { return item()->number.value; }
    double target() const { return item()->number.target; }
    double min() const { return item()->number.min; }
    double max() const { return item()->number.max; }
    double step() const { return item()->number.step; }
    std::string format() const;
};

class INDIGO::SwitchItem final : public Item {
public:
    SwitchItem(indigo_item* item, std::shared_ptr<const RecordReference> record) : Item(item, std::move(record)) {}
    bool value() const;
};

class INDIGO::LightItem final : public Item {
public:
    LightItem(indigo_item* item, std::shared_ptr<const RecordReference> record) : Item(item, std::move(record)) {}
    // A property state code.
    int value() const;
};
