#include "Common/blob_item.h"

#include "Common/utf8.h"
#include "imaging/image.h"

#include <QUrl>

namespace {

// The url as the platform's URL class reads it; nullopt when the text does not parse.
std::optional<QUrl> parsedURL(const std::string& text) {
    if (text.empty()) return std::nullopt;
    QUrl url(QString::fromStdString(text), QUrl::StrictMode);
    if (!url.isValid()) return std::nullopt;
    return url;
}

} // namespace

INDIGO::BLOBItem::BLOBItem(indigo_item* item, std::shared_ptr<const RecordReference> record)
    : Item(item, std::move(record)) {}

INDIGO::BLOBItem::~BLOBItem() = default;

BlobFetchLimits INDIGO::BLOBItem::fetchLimits() {
    return BlobFetchLimits{};
}

std::string INDIGO::BLOBItem::format() const {
    const std::string url = fieldText(item()->blob.url, sizeof item()->blob.url);
    if (const auto parsed = parsedURL(url)) {
        const std::string path = parsed->path().toStdString();
        const auto dot = path.rfind('.');
        return "." + (dot == std::string::npos ? path : path.substr(dot + 1));
    }
    return fieldText(item()->blob.format, sizeof item()->blob.format);
}

zeta::platform::Data INDIGO::BLOBItem::load() const {
    const std::string url = fieldText(item()->blob.url, sizeof item()->blob.url);
    if (parsedURL(url)) {
        auto fetched = fetchBlobURL(url, fetchLimits());
        return fetched ? zeta::platform::Data(std::move(*fetched)) : zeta::platform::Data();
    }
    // After the deletion of its property the device may have freed the bytes.
    if (detached_.load(std::memory_order_acquire)) return {};
    const void* bytes = item()->blob.value;
    const std::int64_t size = item()->blob.size;
    if (bytes == nullptr || size <= 0) return {};
    return zeta::platform::Data(bytes, static_cast<std::size_t>(size));
}

zeta::platform::Data INDIGO::BLOBItem::cachedValue() const {
    std::lock_guard fields(cacheMutex_);
    return cacheGeneration_ == generation_.load(std::memory_order_acquire) ? cachedValue_ : zeta::platform::Data();
}

std::shared_ptr<Image> INDIGO::BLOBItem::cachedImage() const {
    std::lock_guard fields(cacheMutex_);
    return cacheGeneration_ == generation_.load(std::memory_order_acquire) ? cachedImage_ : nullptr;
}

zeta::platform::Data INDIGO::BLOBItem::loadLocked(std::uint64_t generation) {
    zeta::platform::Data bytes = cachedValue();
    if (bytes.empty()) {
        bytes = load();
        std::lock_guard fields(cacheMutex_);
        if (cacheGeneration_ != generation) cachedImage_.reset();
        cacheGeneration_ = generation;
        cachedValue_ = bytes;
    }
    return bytes;
}

zeta::platform::Data INDIGO::BLOBItem::value() {
    const std::uint64_t generation = generation_.load(std::memory_order_acquire);
    std::unique_lock lock(lock_, std::try_to_lock);
    if (!lock.owns_lock()) return cachedValue();
    return loadLocked(generation);
}

zeta::platform::Data INDIGO::BLOBItem::eventValue() {
    const std::uint64_t generation = generation_.load(std::memory_order_acquire);
    std::unique_lock lock(lock_, std::try_to_lock);
    if (lock.owns_lock()) return loadLocked(generation);
    zeta::platform::Data cached = cachedValue();
    return cached.empty() ? load() : cached;
}

std::shared_ptr<Image> INDIGO::BLOBItem::image() {
    if (auto cached = cachedImage()) return cached;
    const std::uint64_t generation = generation_.load(std::memory_order_acquire);
    std::unique_lock lock(lock_, std::try_to_lock);
    if (!lock.owns_lock()) return nullptr;
    if (auto cached = cachedImage()) return cached;
    const zeta::platform::Data bytes = loadLocked(generation);
    if (bytes.empty()) return nullptr;
    auto decoded = std::make_shared<Image>(bytes, format());
    std::lock_guard fields(cacheMutex_);
    if (cacheGeneration_ == generation) cachedImage_ = decoded;
    return decoded;
}

void INDIGO::BLOBItem::reset() {
    // Whatever is cached now belongs to the previous update, even when a reader holds the
    // lock and the cache cannot be emptied at once: it is no longer handed out.
    generation_.fetch_add(1, std::memory_order_acq_rel);
    std::unique_lock lock(lock_, std::try_to_lock);
    if (!lock.owns_lock()) return;
    zeta::platform::Data oldValue;
    std::shared_ptr<Image> oldImage;
    {
        std::lock_guard fields(cacheMutex_);
        oldValue = std::move(cachedValue_);
        cachedValue_ = zeta::platform::Data();
        oldImage = std::move(cachedImage_);
    }
    // The old frame is freed here, outside the short lock.
}
