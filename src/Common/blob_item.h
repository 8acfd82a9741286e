#pragma once
// INDIGO::BLOBItem: the item of a BLOB property, with a cache of its own: the received bytes
// and the frame decoded from them, each made at most once per update of the property.
//
// lock() guards the loading and decoding. The item only ever tries it: a caller that finds it
// held elsewhere gets the cache as it stands (possibly empty) and never waits. The cache
// fields themselves are copied under a second, short-held lock so that a reader and a reset
// on another thread never touch the same field at once.
//
// A reset that finds the lock held cannot empty the cache, but it still ends its validity:
// bytes or a frame of an earlier update are never handed out as those of a later one.
//
// The bytes come from the record's url when it has one (fetched on the calling thread, http
// and https only, with a time and size limit), otherwise they are copied from the record's
// in-memory value.

#include "Common/blob_fetch.h"
#include "Common/items.h"
#include "platform/image/data.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

class Image;

class INDIGO::BLOBItem final : public Item {
public:
    BLOBItem(indigo_item* item, std::shared_ptr<const RecordReference> record);
    ~BLOBItem() override;

    // The file extension with its leading dot: taken from the url's path when the url parses,
    // otherwise the record's format field.
    std::string format() const;
    // The bytes (empty when there are none, or when they could not be had now).
    zeta::platform::Data value();
    // The bytes of this update for a caller that must not miss them (the batch writer saves
    // every frame): while the lock is held elsewhere they are read from the record without
    // being cached, instead of coming back empty. Never waits for the lock.
    zeta::platform::Data eventValue();
    // The decoded frame, or nullptr when there are no bytes or the lock is held elsewhere.
    std::shared_ptr<Image> image();
    // Empties the cache when the lock can be had at once.
    void reset();

    std::mutex& lock() { return lock_; }

    // The client's: the property was deleted, so the device's bytes may be gone; from now on
    // only what is cached is handed out.
    void detach() { detached_.store(true, std::memory_order_release); }

    // Limits of a fetch from the url.
    static BlobFetchLimits fetchLimits();

private:
    zeta::platform::Data load() const;
    // With lock_ held: the cached bytes of this generation, loaded and cached when missing.
    zeta::platform::Data loadLocked(std::uint64_t generation);
    zeta::platform::Data cachedValue() const;
    std::shared_ptr<Image> cachedImage() const;

    std::mutex lock_;
    // Counts the resets; the cache is valid only for the generation it was made in.
    std::atomic<std::uint64_t> generation_{0};
    mutable std::mutex cacheMutex_;
    std::uint64_t cacheGeneration_ = 0;
    zeta::platform::Data cachedValue_;
    std::shared_ptr<Image> cachedImage_;
    std::atomic<bool> detached_{false};
};
