// Camera raw files (NEF, ARW, CR2, DNG and the other formats LibRaw knows), demosaiced with
// the camera's white balance into 16-bit RGB (48 bits per pixel), or 16-bit grey for
// monochrome sensors. LibRaw runs in the helper program zeta-camera-raw: the library can
// fault on damaged files, and a frame from the bus must not take the application with it.

#include "platform/image/bitmap_image_rep.h"
#include "platform/image/helper_process.h"
#include "platform/image/image_rep.h"

#include <chrono>
#include <cstring>
#include <string>
#include <string_view>

namespace zeta::platform {
namespace {

using namespace std::string_view_literals;

bool at(const Data& data, std::size_t offset, std::string_view text) {
    return data.length() >= offset + text.size() && std::memcmp(data.bytes() + offset, text.data(), text.size()) == 0;
}

bool isTiff(const Data& data) {
    return at(data, 0, "II*\0"sv) || at(data, 0, "MM\0*"sv);
}

// Signatures of the containers raw files come in; anything else is not offered to LibRaw,
// whose identification also guesses headerless formats from the file size alone.
bool hasRawSignature(const Data& data) {
    return isTiff(data)                                                               // NEF, ARW, CR2, DNG, PEF, ...
           || at(data, 0, "IIRO"sv) || at(data, 0, "IIRS"sv) || at(data, 0, "MMOR"sv) // ORF
           || at(data, 0, "IIU\0"sv)                                                  // RW2
           || at(data, 0, "FUJIFILM"sv)                                               // RAF
           || at(data, 6, "HEAPCCDR"sv)                                               // CRW
           || at(data, 4, "ftypcrx "sv)                                               // CR3
           || at(data, 0, "\0MRM"sv)                                                  // MRW
           || at(data, 0, "FOVb"sv);                                                  // X3F
}

// True when the first directory of a TIFF names a camera (Make) or a DNG version: a plain
// TIFF is an ordinary picture, not a raw file.
bool tiffNamesACamera(const Data& data) {
    const bool little = data.bytes()[0] == 'I';
    const auto read = [&](std::size_t offset, int bytes) -> std::uint32_t {
        std::uint32_t v = 0;
        for (int i = 0; i < bytes; ++i) {
            const std::uint32_t b = data.bytes()[offset + static_cast<std::size_t>(i)];
            v |= little ? b << (8 * i) : b << (8 * (bytes - 1 - i));
        }
        return v;
    };
    if (data.length() < 8) return false;
    const std::size_t directory = read(4, 4);
    if (directory > data.length() - 2 || directory < 8) return false;
    const std::size_t entries = read(directory, 2);
    for (std::size_t i = 0; i < entries; ++i) {
        const std::size_t entry = directory + 2 + 12 * i;
        if (entry + 12 > data.length()) return false;
        const std::uint32_t tag = read(entry, 2);
        if (tag == 271 || tag == 50706) return true;
    }
    return false;
}

bool canInitWithData(const Data& data) {
    return hasRawSignature(data) && (!isTiff(data) || tiffNamesACamera(data));
}

const std::string& helperPath() {
    static const std::string path =
        findHelperProgram("zeta-camera-raw", "ZETA_CAMERA_RAW_HELPER", ZETA_CAMERA_RAW_HELPER_BUILD_PATH);
    return path;
}

ImageReps decode(const Data& data, const char*& failure) {
    failure = "not a camera raw file";
    if (!canInitWithData(data)) return {};
    // Generous: demosaicing a large frame takes a few seconds.
    HelperProcess helper(HelperProcess::Clock::now() + std::chrono::seconds(120));
    failure = "camera raw helper could not be started";
    if (!helper.start(helperPath())) return {};
    failure = "camera raw file refused by the helper (damaged, unsupported or too large)";
    if (!helper.sendAll(data.bytes(), data.length())) return {};
    std::uint8_t header[16];
    if (!helper.receive(header, sizeof header) || std::memcmp(header, "ZRAW", 4) != 0) return {};
    std::uint32_t size[2];
    std::uint16_t format[2];
    std::memcpy(size, header + 4, 8);
    std::memcpy(format, header + 12, 4);
    failure = "camera raw helper answered out of protocol";
    if ((format[0] != 1 && format[0] != 3) || format[1] != 16) return {};
    BitmapLayout layout;
    layout.pixelsWide = size[0];
    layout.pixelsHigh = size[1];
    layout.bitsPerSample = 16;
    layout.samplesPerPixel = format[0];
    layout.colorSpaceName = format[0] == 1 ? ColorSpace::CalibratedWhite : ColorSpace::DeviceRGB;
    auto rep = BitmapImageRep::withLayout(layout);
    if (!rep || !helper.receive(rep->bitmapData(), static_cast<std::size_t>(rep->bytesPerPlane())) || !helper.finish())
        return {};
    failure = nullptr;
    return {rep};
}

ImageReps imageRepsWithData(const Data& data, std::string* reason) {
    const char* failure = nullptr;
    ImageReps reps = decode(data, failure);
    if (failure && reason) *reason = failure;
    return reps;
}

} // namespace

ImageRepClass cameraRawImageRepClass() {
    return {"Camera raw", &canInitWithData, &imageRepsWithData};
}

} // namespace zeta::platform
