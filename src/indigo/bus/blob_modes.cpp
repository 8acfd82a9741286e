#include "indigo/bus/blob_modes.h"

#include "indigo/bus/text_field.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace zeta::indigo {

namespace {

std::mutex& blobModesMutex() {
    static std::mutex mutex;
    return mutex;
}

bool sameName(const char* a, const char* b) {
    return std::strncmp(a, b, INDIGO_NAME_SIZE) == 0;
}

} // namespace

void setBlobMode(indigo_client* client, const char* device, const char* name, indigo_enable_blob_mode mode) {
    char deviceField[INDIGO_NAME_SIZE];
    char nameField[INDIGO_NAME_SIZE];
    copyField(deviceField, device);
    copyField(nameField, name);
    std::lock_guard lock(blobModesMutex());
    for (auto* record = client->enable_blob_mode_records; record != nullptr; record = record->next) {
        if (sameName(record->device, deviceField) && sameName(record->name, nameField)) {
            record->mode = mode;
            return;
        }
    }
    auto* record = static_cast<indigo_enable_blob_mode_record*>(std::calloc(1, sizeof(indigo_enable_blob_mode_record)));
    if (record == nullptr) return;
    std::memcpy(record->device, deviceField, sizeof deviceField);
    std::memcpy(record->name, nameField, sizeof nameField);
    record->mode = mode;
    record->next = client->enable_blob_mode_records;
    client->enable_blob_mode_records = record;
}

indigo_enable_blob_mode blobMode(const indigo_client* client, const char* device, const char* name) {
    if (client == nullptr) return INDIGO_ENABLE_BLOB_ALSO;
    if (device == nullptr) device = "";
    if (name == nullptr) name = "";
    std::lock_guard lock(blobModesMutex());
    indigo_enable_blob_mode best = INDIGO_ENABLE_BLOB_ALSO;
    int bestRank = -1;
    for (auto* record = client->enable_blob_mode_records; record != nullptr; record = record->next) {
        const bool anyDevice = record->device[0] == '\0';
        const bool anyName = record->name[0] == '\0';
        if (!anyDevice && !sameName(record->device, device)) continue;
        if (!anyName && !sameName(record->name, name)) continue;
        const int rank = (anyDevice ? 0 : 2) + (anyName ? 0 : 1);
        if (rank > bestRank) {
            bestRank = rank;
            best = record->mode;
        }
    }
    return best;
}

void forgetBlobModes(indigo_client* client) {
    std::lock_guard lock(blobModesMutex());
    auto* record = client->enable_blob_mode_records;
    while (record != nullptr) {
        auto* next = record->next;
        std::free(record);
        record = next;
    }
    client->enable_blob_mode_records = nullptr;
}

} // namespace zeta::indigo
