#pragma once
// Image representations and the registry of decoder classes (the platform's image-rep
// registry).
//
// A decoder class is a pair of functions:
//   bool canInitWithData(const Data&)                  -- does this class take these bytes?
//   std::vector<std::shared_ptr<ImageRep>> imageRepsWithData(const Data&, std::string* reason)
//                                                      -- decode them; empty when it fails,
//                                                         with why in *reason when not null
// Callers register classes in order at start-up; a picture made from bytes asks the
// registered classes in registration order, then the built-in decoders (JPEG, camera raw
// files, the Qt image readers), and the FIRST class whose canInitWithData() says yes decides:
// if its imageRepsWithData() gives nothing, the bytes do not decode (no further class is
// tried). canInitWithData() should therefore be a cheap test of the file's signature.
//
// A class written as a type T with those two static member functions registers with
// ImageRep::registerImageRepClass<T>(). Registering a class twice keeps the first place.
// The registry may be read and changed from any thread; both functions of a class may be
// called on any thread, also at the same time, and must keep no shared state.

#include "platform/image/data.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <typeinfo>
#include <vector>

namespace zeta::platform {

class ImageRep;
using ImageReps = std::vector<std::shared_ptr<ImageRep>>;

struct ImageRepClass {
    std::string name;
    bool (*canInitWithData)(const Data& data) = nullptr;
    ImageReps (*imageRepsWithData)(const Data& data, std::string* reason) = nullptr;
};

// Base of every representation. Representations are immutable once made and may be shared
// between threads.
class ImageRep {
public:
    virtual ~ImageRep();
    ImageRep(const ImageRep&) = delete;
    ImageRep& operator=(const ImageRep&) = delete;

    virtual std::int64_t pixelsWide() const = 0;
    virtual std::int64_t pixelsHigh() const = 0;

    static void registerImageRepClass(const ImageRepClass& imageRepClass);
    template <class T>
    static void registerImageRepClass() {
        registerImageRepClass(ImageRepClass{typeid(T).name(), &T::canInitWithData, &T::imageRepsWithData});
    }
    // Removes a registered class (matched by its canInitWithData function).
    static void unregisterImageRepClass(const ImageRepClass& imageRepClass);
    template <class T>
    static void unregisterImageRepClass() {
        unregisterImageRepClass(ImageRepClass{typeid(T).name(), &T::canInitWithData, &T::imageRepsWithData});
    }
    // The registered classes in registration order, followed by the built-in decoders.
    static std::vector<ImageRepClass> registeredImageRepClasses();
    // The first class (in the order above) that can init with the bytes; none when no class can.
    static std::optional<ImageRepClass> imageRepClassForData(const Data& data);
    // The representations the deciding class makes of the bytes; empty when none decodes them,
    // and then why in *reason (for the log and the image window) when reason is not null.
    static ImageReps imageRepsWithData(const Data& data, std::string* reason = nullptr);

protected:
    ImageRep() = default;
};

// The built-in decoders, in the order they are consulted after the registered classes.
ImageRepClass jpegImageRepClass();
ImageRepClass cameraRawImageRepClass();
ImageRepClass qtImageRepClass();

} // namespace zeta::platform
