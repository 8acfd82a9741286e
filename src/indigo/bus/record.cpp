#include "indigo/bus/record.h"

#include "indigo/indigo_log.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>

namespace zeta::indigo {

namespace {

constexpr std::uint32_t kLiveMagic = 0x5a455441; // "ZETA"
constexpr std::size_t kAlignment = alignof(std::max_align_t);
constexpr std::size_t kHeaderSize = (sizeof(RecordHeader) + kAlignment - 1) / kAlignment * kAlignment;

RecordHeader* headerAt(const indigo_property* property) {
    auto* bytes = reinterpret_cast<unsigned char*>(const_cast<indigo_property*>(property));
    return reinterpret_cast<RecordHeader*>(bytes - kHeaderSize);
}

} // namespace

std::size_t recordSize(int count) {
    const std::size_t items = offsetof(indigo_property, items) + static_cast<std::size_t>(count) * sizeof(indigo_item);
    return items > sizeof(indigo_property) ? items : sizeof(indigo_property);
}

indigo_property* allocateRecord(int capacity) {
    if (capacity < 0) capacity = 0;
    void* memory = std::calloc(1, kHeaderSize + recordSize(capacity));
    if (memory == nullptr) return nullptr;
    auto* header = new (memory) RecordHeader();
    header->capacity = capacity;
    header->magic = kLiveMagic;
    return reinterpret_cast<indigo_property*>(static_cast<unsigned char*>(memory) + kHeaderSize);
}

RecordHeader* headerOf(const indigo_property* property) {
    if (property == nullptr || property == &indigo_all_properties) return nullptr;
    RecordHeader* header = headerAt(property);
    if (header->magic != kLiveMagic) {
        indigo_error("indigo: property record %p was not made by indigo_init_*_property or is already freed",
                     static_cast<const void*>(property));
        return nullptr;
    }
    return header;
}

void retainRecord(indigo_property* property) {
    if (RecordHeader* header = headerOf(property)) header->references.fetch_add(1, std::memory_order_relaxed);
}

void releaseRecord(indigo_property* property) {
    RecordHeader* header = headerOf(property);
    if (header == nullptr) return;
    if (header->references.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
    header->magic = 0;
    header->~RecordHeader();
    std::free(header);
}

} // namespace zeta::indigo

indigo_property indigo_all_properties = {};
