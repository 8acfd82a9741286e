#include "imaging/fits_image_rep.h"

#include <fitsio.h>

#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

namespace FITSIO {
namespace {

constexpr std::size_t kRecord = 2880;  // FITS files come in records of this many bytes

struct FitsCloser {
    void operator()(fitsfile* file) const {
        int status = 0;
        fits_close_file(file, &status);
    }
};
using FitsFile = std::unique_ptr<fitsfile, FitsCloser>;

// A keyword of the current header as an integer; the fallback when it is absent.
bool readKey(fitsfile* file, const char* key, long long fallback, long long& value) {
    int status = 0;
    value = fallback;
    LONGLONG read = 0;
    fits_read_key(file, TLONGLONG, key, &read, nullptr, &status);
    if (status == KEY_NO_EXIST) return true;
    if (status != 0) return false;
    value = read;
    return true;
}

// The bytes the current HDU's data occupy as its header declares them:
// |BITPIX| / 8 x GCOUNT x (PCOUNT + NAXIS1 x ... x NAXISn). For a tile-compressed image these
// are the table's and heap's bytes. -1 when the header is unreadable or the size absurd.
long long declaredDataBytes(fitsfile* file) {
    constexpr long long kLimit = std::numeric_limits<long long>::max() / 4;
    long long bitpix = 0, naxis = 0, pcount = 0, gcount = 1;
    if (!readKey(file, "BITPIX", 0, bitpix) || !readKey(file, "NAXIS", 0, naxis) ||
        !readKey(file, "PCOUNT", 0, pcount) || !readKey(file, "GCOUNT", 1, gcount))
        return -1;
    if (naxis < 0 || naxis > 999 || pcount < 0 || gcount < 0) return -1;
    if (bitpix != 8 && bitpix != 16 && bitpix != 32 && bitpix != 64 && bitpix != -32 && bitpix != -64) return -1;
    if (naxis == 0) return 0;
    long long elements = 1;
    for (long long i = 1; i <= naxis; ++i) {
        char key[32];
        std::snprintf(key, sizeof key, "NAXIS%lld", i);
        long long length = 0;
        if (!readKey(file, key, -1, length) || length < 0) return -1;
        if (length != 0 && elements > kLimit / length) return -1;
        elements *= length;
    }
    if (elements > kLimit - pcount) return -1;
    const long long perGroup = elements + pcount;
    const long long sampleBytes = (bitpix < 0 ? -bitpix : bitpix) / 8;
    if (gcount != 0 && perGroup > kLimit / gcount / sampleBytes) return -1;
    return perGroup * gcount * sampleBytes;
}

// Reads n values of one plane; a value out of the type's range comes out clamped to it, which
// the library reports as an overflow: that is still a complete read.
bool readPlane(fitsfile* file, int type, long plane, LONGLONG n, void* out) {
    int status = 0;
    long first[3] = {1, 1, plane};
    fits_read_pix(file, type, first, n, nullptr, out, nullptr, &status);
    return status == 0 || status == NUM_OVERFLOW;
}

}  // namespace

FITSImageRep::FITSImageRep(const platform::Data& data) : data_(data) {
    if (!decode()) {
        buffer_.reset();
        bufferSize_ = 0;
    }
}

FITSImageRep::~FITSImageRep() = default;

bool FITSImageRep::canInitWithData(const platform::Data& data) { return data.startsWith("SIMPLE"); }

platform::ImageReps FITSImageRep::imageRepsWithData(const platform::Data& data) {
    auto rep = std::make_shared<FITSImageRep>(data);
    if (!rep->bitmapData()) return {};
    return {rep};
}

bool FITSImageRep::decode() {
    if (!canInitWithData(data_)) return false;
    // The library reads whole records: a file cut short of its last record is read from a
    // zero-padded copy so that no read goes past the bytes.
    void* memory = const_cast<std::uint8_t*>(data_.bytes());
    std::size_t memorySize = data_.length();
    std::vector<std::uint8_t> padded;
    if (memorySize % kRecord != 0) {
        padded.assign(data_.bytes(), data_.bytes() + data_.length());
        padded.resize((memorySize / kRecord + 1) * kRecord, 0);
        memory = padded.data();
        memorySize = padded.size();
    }

    int status = 0;
    fitsfile* opened = nullptr;
    fits_open_memfile(&opened, "", READONLY, &memory, &memorySize, 0, nullptr, &status);
    FitsFile file(opened);
    if (status != 0 || !file) return false;

    int bitpix = 0, naxis = 0;
    long naxes[3] = {0, 0, 1};
    fits_get_img_param(file.get(), 3, &bitpix, &naxis, naxes, &status);
    // A primary header without an image (tile-compressed files): the first image extension.
    while (status == 0 && naxis == 0) {
        int type = 0;
        if (fits_movrel_hdu(file.get(), 1, &type, &status) != 0) break;
        if (type != IMAGE_HDU) continue;
        naxes[0] = naxes[1] = 0;
        naxes[2] = 1;
        fits_get_img_param(file.get(), 3, &bitpix, &naxis, naxes, &status);
    }
    if (status != 0 || (naxis != 2 && naxis != 3) || (bitpix != 8 && bitpix != 16)) return false;

    const long width = naxes[0];
    const long height = naxes[1];
    if (width < 1 || height < 1 || width > platform::kMaxDecodedPixels ||
        height > platform::kMaxDecodedPixels / width)
        return false;
    if (naxis == 3 && naxes[2] < 3) return false;

    // The memory driver does not stop at the end of the buffer: the data must all be there.
    LONGLONG headStart = 0, dataStart = 0, dataEnd = 0;
    fits_get_hduaddrll(file.get(), &headStart, &dataStart, &dataEnd, &status);
    const long long dataBytes = declaredDataBytes(file.get());
    if (status != 0 || dataBytes < 0 || dataStart < 0 ||
        static_cast<unsigned long long>(dataStart) > data_.length() ||
        static_cast<unsigned long long>(dataBytes) > data_.length() - static_cast<unsigned long long>(dataStart))
        return false;

    const auto n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    platform::BitmapLayout layout;
    layout.pixelsWide = width;
    layout.pixelsHigh = height;
    if (naxis == 2) {
        const std::size_t sampleBytes = bitpix == 16 ? 2 : 1;
        bufferSize_ = n * sampleBytes;
        buffer_.reset(new unsigned char[bufferSize_]());
        if (!readPlane(file.get(), bitpix == 16 ? TUSHORT : TBYTE, 1, static_cast<LONGLONG>(n), buffer_.get()))
            return false;
        layout.bitsPerSample = bitpix;
        layout.samplesPerPixel = 1;
        layout.colorSpaceName = platform::ColorSpace::CalibratedWhite;
    } else {
        bufferSize_ = n * 3;
        buffer_.reset(new unsigned char[bufferSize_]());
        if (bitpix == 16) {
            std::vector<std::uint16_t> plane(n);
            for (long p = 1; p <= 3; ++p) {
                if (!readPlane(file.get(), TUSHORT, p, static_cast<LONGLONG>(n), plane.data())) return false;
                unsigned char* out = buffer_.get() + (p - 1);
                for (std::size_t i = 0; i < n; ++i) out[3 * i] = static_cast<unsigned char>(plane[i] >> 8);
            }
        } else {
            std::vector<unsigned char> plane(n);
            for (long p = 1; p <= 3; ++p) {
                if (!readPlane(file.get(), TBYTE, p, static_cast<LONGLONG>(n), plane.data())) return false;
                unsigned char* out = buffer_.get() + (p - 1);
                for (std::size_t i = 0; i < n; ++i) out[3 * i] = plane[i];
            }
        }
        layout.bitsPerSample = 8;
        layout.samplesPerPixel = 3;
        layout.colorSpaceName = platform::ColorSpace::DeviceRGB;
    }
    unsigned char* planes[1] = {buffer_.get()};
    return initWithBitmapDataPlanes(planes, layout);
}

}  // namespace FITSIO

std::shared_ptr<FITSIO::FITSImageRep> fitsRepresentation(const platform::Picture& picture) {
    for (const auto& rep : picture.representations()) {
        if (auto fits = std::dynamic_pointer_cast<FITSIO::FITSImageRep>(rep)) return fits;
    }
    return nullptr;
}
