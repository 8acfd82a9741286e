#pragma once
// One reference to a bus property record, held by the model's property and item objects so
// that the record stays readable (with its last values) for as long as any of them lives,
// even after the property has been deleted on the bus.

#include "indigo/indigo_bus.h"
#include "indigo/indigo_property.h"

class RecordReference {
public:
    explicit RecordReference(indigo_property* record) : record_(record) { indigo_retain_property(record_); }
    ~RecordReference() { indigo_release_property(record_); }
    RecordReference(const RecordReference&) = delete;
    RecordReference& operator=(const RecordReference&) = delete;

    indigo_property* get() const { return record_; }

private:
    indigo_property* record_;
};
