#include "platform/image/picture.h"

namespace zeta::platform {

Picture::Picture(std::shared_ptr<ImageRep> rep) {
    addRepresentation(std::move(rep));
}

std::shared_ptr<Picture> Picture::withData(const Data& data, std::string* reason) {
    ImageReps reps = ImageRep::imageRepsWithData(data, reason);
    if (reps.empty()) return nullptr;
    auto picture = std::make_shared<Picture>();
    for (auto& rep : reps)
        picture->addRepresentation(std::move(rep));
    return picture;
}

void Picture::addRepresentation(std::shared_ptr<ImageRep> rep) {
    if (rep) representations_.push_back(std::move(rep));
}

std::shared_ptr<BitmapImageRep> Picture::firstBitmapImageRep() const {
    for (const auto& rep : representations_) {
        if (auto bitmap = std::dynamic_pointer_cast<BitmapImageRep>(rep)) return bitmap;
    }
    return nullptr;
}

} // namespace zeta::platform
