#pragma once
// An image made of representations (the platform's image object): the decoded form of a
// file's bytes, or a drawing or rendering wrapped around one bitmap.
//
// A picture is filled by whoever makes it and read-only from then on: it may be shared
// between threads once made.

#include "platform/image/bitmap_image_rep.h"
#include "platform/image/data.h"
#include "platform/image/image_rep.h"

#include <memory>
#include <string>
#include <vector>

namespace zeta::platform {

class Picture {
public:
    Picture() = default;
    explicit Picture(std::shared_ptr<ImageRep> rep);

    // The picture of encoded bytes: the representations of the first decoder class that
    // takes them (ImageRep::imageRepsWithData); nullptr when no class takes them or the one
    // that does cannot decode them, and then why in *reason when reason is not null.
    static std::shared_ptr<Picture> withData(const Data& data, std::string* reason = nullptr);

    void addRepresentation(std::shared_ptr<ImageRep> rep);
    const std::vector<std::shared_ptr<ImageRep>>& representations() const { return representations_; }
    // The first representation that is a bitmap, or nullptr.
    std::shared_ptr<BitmapImageRep> firstBitmapImageRep() const;

private:
    std::vector<std::shared_ptr<ImageRep>> representations_;
};

} // namespace zeta::platform
