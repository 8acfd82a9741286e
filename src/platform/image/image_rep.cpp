#include "platform/image/image_rep.h"

#include <algorithm>
#include <exception>
#include <mutex>

namespace zeta::platform {
namespace {

// The application's registry: classes registered at start-up, read by every decode.
struct Registry {
    std::mutex mutex;
    std::vector<ImageRepClass> classes;
};

Registry& registry() {
    static Registry instance;
    return instance;
}

} // namespace

ImageRep::~ImageRep() = default;

void ImageRep::registerImageRepClass(const ImageRepClass& imageRepClass) {
    if (!imageRepClass.canInitWithData || !imageRepClass.imageRepsWithData) return;
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    const bool known = std::any_of(r.classes.begin(), r.classes.end(), [&](const ImageRepClass& c) {
        return c.canInitWithData == imageRepClass.canInitWithData;
    });
    if (!known) r.classes.push_back(imageRepClass);
}

void ImageRep::unregisterImageRepClass(const ImageRepClass& imageRepClass) {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    std::erase_if(r.classes,
                  [&](const ImageRepClass& c) { return c.canInitWithData == imageRepClass.canInitWithData; });
}

std::vector<ImageRepClass> ImageRep::registeredImageRepClasses() {
    std::vector<ImageRepClass> classes;
    {
        auto& r = registry();
        std::lock_guard lock(r.mutex);
        classes = r.classes;
    }
    classes.push_back(jpegImageRepClass());
    classes.push_back(cameraRawImageRepClass());
    classes.push_back(qtImageRepClass());
    return classes;
}

std::optional<ImageRepClass> ImageRep::imageRepClassForData(const Data& data) {
    if (data.empty()) return std::nullopt;
    for (const auto& c : registeredImageRepClasses()) {
        try {
            if (c.canInitWithData(data)) return c;
        } catch (const std::exception&) {
            // A class that cannot even look at the bytes does not take them.
        }
    }
    return std::nullopt;
}

ImageReps ImageRep::imageRepsWithData(const Data& data, std::string* reason) {
    std::string why;
    const auto c = imageRepClassForData(data);
    if (!c) {
        if (reason) *reason = data.empty() ? "no bytes" : "no decoder takes these bytes";
        return {};
    }
    ImageReps reps;
    try {
        reps = c->imageRepsWithData(data, &why);
    } catch (const std::exception& e) {
        // Out of memory for an absurd frame, or a decoder's own failure: the bytes do not decode.
        reps.clear();
        why = e.what();
    }
    std::erase(reps, nullptr);
    if (reps.empty() && reason) *reason = why.empty() ? "the bytes do not decode" : why;
    return reps;
}

} // namespace zeta::platform
