#pragma once
// Property records with a hidden header: a reference count and how many devices have the
// record defined on the bus. The header sits just before the indigo_property.

#include "indigo/indigo_bus.h"

#include <atomic>
#include <cstdint>

namespace zeta::indigo {

struct RecordHeader {
    std::atomic<int> references{1};
    std::atomic<int> definitions{0};
    int capacity = 0; // items the allocation has room for
    std::uint32_t magic = 0;
};

// A zero-filled record with room for capacity items, holding one reference; nullptr when
// memory runs out.
indigo_property* allocateRecord(int capacity);

// The header of a record made by allocateRecord; nullptr for the static all-properties
// record, for nullptr, and (logged) for anything that does not carry a live header.
RecordHeader* headerOf(const indigo_property* property);

void retainRecord(indigo_property* property);
void releaseRecord(indigo_property* property);

// Bytes of a record of count items.
std::size_t recordSize(int count);

} // namespace zeta::indigo
