#include "imaging/fits_image_rep.h"

#include "imaging/fits_header_check.h"
#include "imaging/parallel_chunks.h"
#include "platform/image/helper_process.h"

#include <fitsio.h>

#if defined(__x86_64__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>
#include <string>
#include <vector>

namespace FITSIO {
namespace {

constexpr std::size_t kRecord = 2880; // FITS files come in records of this many bytes
// Pixels per thread of a plain decode at the least: below it, starting threads costs more.
constexpr std::size_t kChunk = std::size_t(1) << 19;

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

// The most pixels of a tile-compressed image (a 67-megapixel frame): its size is not bounded
// by the bytes, and the library sets aside several bytes per pixel of a tile to decompress it.
constexpr long long kMaxCompressedPixels = 1LL << 26;

// True when the tiles of a compressed image are of a sane size: each ZTILEn that is given
// reads as a whole number from 1 up to the length of its axis.
bool saneTiles(fitsfile* file, const long* axes, int naxis) {
    for (int i = 0; i < naxis; ++i) {
        char key[16];
        std::snprintf(key, sizeof key, "ZTILE%d", i + 1);
        long long tile = 0;
        if (!readKey(file, key, 1, tile) || tile < 1 || tile > axes[i]) return false;
    }
    return true;
}

// True when every tile of a compressed image lies in its table's heap. The library sizes its
// buffer and its read by each tile's descriptor alone, so one that points past the heap
// would have it read past the bytes. The table and heap themselves are known to be there.
bool tilesInHeap(fitsfile* file) {
    int status = 0, columns = 0;
    LONGLONG rows = 0;
    fits_get_num_cols(file, &columns, &status);
    fits_get_num_rowsll(file, &rows, &status);
    long long rowBytes = 0, pcount = 0, heapStart = 0;
    if (status != 0 || !readKey(file, "NAXIS1", 0, rowBytes) || !readKey(file, "PCOUNT", 0, pcount) || rowBytes < 0 ||
        rows < 0 || pcount < 0 || (rows > 0 && rowBytes > (1LL << 40) / rows))
        return false;
    const long long tableBytes = rowBytes * rows;
    if (!readKey(file, "THEAP", tableBytes, heapStart) || heapStart < 0) return false;
    const long long dataBytes = tableBytes + pcount;
    for (int column = 1; column <= columns; ++column) {
        int type = 0;
        LONGLONG repeat = 0, width = 0;
        fits_get_coltypell(file, column, &type, &repeat, &width, &status);
        if (status != 0) return false;
        if (type >= 0) continue; // fixed-size column, inside the table
        const long long elementBytes = width > 0 ? width : 8;
        for (LONGLONG row = 1; row <= rows; ++row) {
            LONGLONG length = 0, offset = 0;
            fits_read_descriptll(file, column, row, &length, &offset, &status);
            if (status != 0 || length < 0 || offset < 0 || length > (1LL << 40) / elementBytes) return false;
            const long long end = heapStart + offset + length * elementBytes;
            if (offset > (1LL << 50) || end > dataBytes) return false;
        }
    }
    return true;
}

// Values at most read at once into the doubles of a read that clamps (2 MiB of them): a
// thread's share of a compressed image in one read.
constexpr LONGLONG kValuesPerRead = LONGLONG(1) << 18;

// Samples of 8 or 16 bits from values with BZERO/BSCALE applied: below 0 reads as 0, above the
// largest sample as the largest, fractions are dropped (as the library itself converts).
template <class Sample>
void clampInto(const double* values, std::size_t n, Sample* out) {
    constexpr double kLargest = std::numeric_limits<Sample>::max();
    for (std::size_t i = 0; i < n; ++i) {
        const double v = values[i];
        out[i] = v > 0 ? (v < kLargest ? static_cast<Sample>(v) : static_cast<Sample>(kLargest)) : 0;
    }
}

// Reads n values from element first (1-based, in file order across planes) as samples of
// the given bits into out; true only when every one of them was written.
bool readSamples(fitsfile* file, LONGLONG first, LONGLONG n, int bits, unsigned char* out) {
    int status = 0;
    fits_read_img(file, bits == 16 ? TUSHORT : TBYTE, first, n, nullptr, out, nullptr, &status);
    if (status != NUM_OVERFLOW) return status == 0;
    // Some value is out of the samples' range. The library has clamped what it read, but in
    // a compressed image it stops at the first tile with such a value: read all again as
    // doubles, which hold every scaled 8- or 16-bit value, and clamp here.
    std::vector<double> values(static_cast<std::size_t>(std::min(n, kValuesPerRead)));
    for (LONGLONG done = 0; done < n;) {
        const LONGLONG count = std::min(n - done, kValuesPerRead);
        status = 0;
        fits_read_img(file, TDOUBLE, first + done, count, nullptr, values.data(), nullptr, &status);
        if (status != 0) return false;
        const auto at = static_cast<std::size_t>(done);
        if (bits == 16)
            clampInto(values.data(), static_cast<std::size_t>(count), reinterpret_cast<std::uint16_t*>(out) + at);
        else
            clampInto(values.data(), static_cast<std::size_t>(count), out + at);
        done += count;
    }
    return true;
}

// Reads the n values of one plane.
bool readPlane(fitsfile* file, int bits, long plane, LONGLONG n, unsigned char* out) {
    return readSamples(file, 1 + (plane - 1) * n, n, bits, out);
}

// A keyword of the current header as a double; the fallback when it is absent.
bool readDouble(fitsfile* file, const char* key, double fallback, double& value) {
    int status = 0;
    value = fallback;
    double read = 0;
    fits_read_key(file, TDOUBLE, key, &read, nullptr, &status);
    if (status == KEY_NO_EXIST) return true;
    if (status != 0) return false;
    value = read;
    return true;
}

#if defined(__x86_64__)
bool haveAvx2() {
    static const bool have = __builtin_cpu_supports("avx2");
    return have;
}

// Sixteen big-endian samples into the machine's order, shifted by the offset or clamped at 0.
__attribute__((target("avx2"), always_inline)) inline __m256i convert16(const std::uint8_t* in, bool offset) {
    const __m256i swap = _mm256_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14, 1, 0, 3, 2, 5, 4, 7, 6,
                                          9, 8, 11, 10, 13, 12, 15, 14);
    const __m256i v = _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(in)), swap);
    return offset ? _mm256_xor_si256(v, _mm256_set1_epi16(static_cast<short>(0x8000)))
                  : _mm256_andnot_si256(_mm256_srai_epi16(v, 15), v);
}

// Samples sixteen at a time; a frame's worth of output is written past the caches, which
// saves reading it in first. Returns how many samples it did.
__attribute__((target("avx2"))) std::size_t swap16Avx2(const std::uint8_t* in, std::size_t n, std::uint16_t* out,
                                                       bool offset) {
    std::size_t i = 0;
    if (n * 2 < (std::size_t(1) << 20)) {
        for (; i + 16 <= n; i += 16)
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), convert16(in + 2 * i, offset));
        return i;
    }
    for (; i < n && reinterpret_cast<std::uintptr_t>(out + i) % 32 != 0; ++i) {
        std::uint16_t raw;
        std::memcpy(&raw, in + 2 * i, 2);
        const std::uint16_t v = __builtin_bswap16(raw);
        out[i] = offset ? v ^ 0x8000 : (v & 0x8000 ? 0 : v);
    }
    for (; i + 16 <= n; i += 16)
        _mm256_stream_si256(reinterpret_cast<__m256i*>(out + i), convert16(in + 2 * i, offset));
    _mm_sfence();
    return i;
}
#endif

// Values of an uncompressed image whose scaling is the identity or the usual offset of
// unsigned 16-bit data, read straight from the big-endian bytes: the library's general
// conversion is several times slower. Sixteen-bit values below 0 read as 0, as they would
// through the library.
struct PlainSamples {
    const std::uint8_t* bytes;
    int bitpix;
    bool offset; // BZERO 32768

    static std::uint16_t hostOrder(const std::uint8_t* p) {
        std::uint16_t raw;
        std::memcpy(&raw, p, 2);
        return __builtin_bswap16(raw);
    }
    std::uint16_t sample16(std::size_t i) const {
        const std::uint16_t raw = hostOrder(bytes + 2 * i);
        if (offset) return raw ^ 0x8000;
        return raw & 0x8000 ? 0 : raw;
    }
    // Grey pixels of one plane into out; the loops are kept simple enough to vectorise.
    void plane(std::size_t first, std::size_t n, unsigned char* out) const {
        if (bitpix == 8) {
            std::memcpy(out, bytes + first, n);
            return;
        }
        auto* out16 = reinterpret_cast<std::uint16_t*>(out);
        const std::uint8_t* in = bytes + 2 * first;
        std::size_t i = 0;
#if defined(__x86_64__)
        if (haveAvx2()) i = swap16Avx2(in, n, out16, offset);
#endif
#if defined(__SSE2__)
        // Eight samples at a time: swap the bytes of each, then shift by the offset or clamp.
        for (; i + 8 <= n; i += 8) {
            const __m128i raw = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2 * i));
            const __m128i v = _mm_or_si128(_mm_slli_epi16(raw, 8), _mm_srli_epi16(raw, 8));
            const __m128i value = offset ? _mm_xor_si128(v, _mm_set1_epi16(static_cast<short>(0x8000)))
                                         : _mm_andnot_si128(_mm_srai_epi16(v, 15), v);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out16 + i), value);
        }
#endif
        for (; i < n; ++i)
            out16[i] = sample16(first + i);
    }
    // Pixels begin..end of three planes of n pixels into RGB: the 8-bit values, or the high
    // bytes of 16-bit ones. One pass over the output, each pixel written whole.
    void interleave(std::size_t n, std::size_t begin, std::size_t end, unsigned char* out) const {
        if (bitpix == 8) {
            const std::uint8_t* r = bytes;
            const std::uint8_t* g = bytes + n;
            const std::uint8_t* b = bytes + 2 * n;
            for (std::size_t i = begin; i < end; ++i) {
                out[3 * i] = r[i];
                out[3 * i + 1] = g[i];
                out[3 * i + 2] = b[i];
            }
            return;
        }
        for (std::size_t i = begin; i < end; ++i) {
            out[3 * i] = static_cast<unsigned char>(sample16(i) >> 8);
            out[3 * i + 1] = static_cast<unsigned char>(sample16(n + i) >> 8);
            out[3 * i + 2] = static_cast<unsigned char>(sample16(2 * n + i) >> 8);
        }
    }
};

// The FITS bytes opened in memory. The library keeps the addresses of the pointer and size
// it was opened with, so the object stays where it was made.
class MemoryFile {
public:
    explicit MemoryFile(const zeta::platform::Data& data)
        : memory_(const_cast<std::uint8_t*>(data.bytes())), size_(data.length()) {
        // The library reads whole records: a file cut short of its last record is read from a
        // zero-padded copy so that no read goes past the bytes.
        if (size_ % kRecord != 0) {
            padded_.assign(data.bytes(), data.bytes() + data.length());
            padded_.resize((size_ / kRecord + 1) * kRecord, 0);
            memory_ = padded_.data();
            size_ = padded_.size();
        }
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    // Opens the bytes and moves to the image: the primary one, or when the primary header
    // has none (tile-compressed files), the first image extension.
    bool open() {
        // The library registers its I/O drivers on first use without a lock: do it once, before
        // frames from several bus threads can arrive at the same time.
        static std::once_flag initialised;
        std::call_once(initialised, [] { fits_init_cfitsio(); });

        int status = 0;
        fitsfile* opened = nullptr;
        fits_open_memfile(&opened, "", READONLY, &memory_, &size_, 0, nullptr, &status);
        file_.reset(opened);
        if (status != 0 || !file_) return false;
        int naxis = 0;
        fits_get_img_dim(file_.get(), &naxis, &status);
        while (status == 0 && naxis == 0) {
            int type = 0;
            if (fits_movrel_hdu(file_.get(), 1, &type, &status) != 0) break;
            if (type == IMAGE_HDU) fits_get_img_dim(file_.get(), &naxis, &status);
        }
        return status == 0;
    }
    fitsfile* file() const { return file_.get(); }
    // The bytes the library reads, for further handles on them.
    void* memory() const { return memory_; }
    std::size_t size() const { return size_; }
    void close() { file_.reset(); }

private:
    std::vector<std::uint8_t> padded_;
    void* memory_;
    std::size_t size_;
    FitsFile file_; // last: closed before the bytes go
};

// What the image's header promises, once checked.
struct ImageHeader {
    int bitpix = 0;
    int naxis = 0;
    long long dataStart = 0;
    bool compressed = false;
    bool plain = false;  // read straight from the bytes (see PlainSamples)
    bool offset = false; // BZERO 32768
    zeta::platform::BitmapLayout layout;

    std::size_t pixels() const {
        return static_cast<std::size_t>(layout.pixelsWide) * static_cast<std::size_t>(layout.pixelsHigh);
    }
};

// Checks the current image's header against the bytes and what the decoder reads; the
// reason it fails, empty when it does not.
std::string validate(fitsfile* file, std::size_t length, ImageHeader& header) {
    int status = 0, bitpix = 0, naxis = 0;
    long naxes[3] = {0, 0, 1};
    fits_get_img_param(file, 3, &bitpix, &naxis, naxes, &status);
    if (status != 0) return "FITS image parameters unreadable";
    if ((naxis != 2 && naxis != 3) || (bitpix != 8 && bitpix != 16))
        return "FITS image with NAXIS " + std::to_string(naxis) + " and BITPIX " + std::to_string(bitpix) +
               ": only 2 or 3 axes of 8 or 16 bits are shown";

    const long width = naxes[0];
    const long height = naxes[1];
    if (width < 1 || height < 1 || width > zeta::platform::kMaxDecodedPixels ||
        height > zeta::platform::kMaxDecodedPixels / width)
        return "FITS image size out of range";
    if (naxis == 3 && naxes[2] < 3) return "FITS colour image with fewer than 3 planes";

    // The memory driver does not stop at the end of the buffer: the data must all be there.
    LONGLONG headStart = 0, dataStart = 0, dataEnd = 0;
    fits_get_hduaddrll(file, &headStart, &dataStart, &dataEnd, &status);
    const long long dataBytes = declaredDataBytes(file);
    if (status != 0 || dataBytes < 0 || dataStart < 0 || static_cast<unsigned long long>(dataStart) > length ||
        static_cast<unsigned long long>(dataBytes) > length - static_cast<unsigned long long>(dataStart))
        return "FITS data shorter than its header says";

    const auto n = static_cast<long long>(width) * height;
    const int compressed = fits_is_compressed_image(file, &status);
    if (status != 0) return "FITS header unreadable";
    if (compressed && n * (naxis == 3 ? 3 : 1) > kMaxCompressedPixels) return "FITS compressed image too large";
    if (compressed && (!saneTiles(file, naxes, naxis) || !tilesInHeap(file))) return "FITS compressed tiles damaged";
    double bscale = 1, bzero = 0;
    if (!readDouble(file, "BSCALE", 1, bscale) || !readDouble(file, "BZERO", 0, bzero))
        return "FITS scaling keywords unreadable";

    header.bitpix = bitpix;
    header.naxis = naxis;
    header.dataStart = dataStart;
    header.compressed = compressed != 0;
    header.plain = !compressed && bscale == 1 && (bzero == 0 || (bitpix == 16 && bzero == 32768));
    header.offset = bzero == 32768;
    header.layout.pixelsWide = width;
    header.layout.pixelsHigh = height;
    header.layout.bitsPerSample = naxis == 2 ? bitpix : 8;
    header.layout.samplesPerPixel = naxis == 2 ? 1 : 3;
    header.layout.colorSpaceName =
        naxis == 2 ? zeta::platform::ColorSpace::CalibratedWhite : zeta::platform::ColorSpace::DeviceRGB;
    return {};
}

// Rows of tiles of a compressed two-axis image decompressed across threads, each through a
// handle of its own on the same bytes (the library keeps its state per handle).
bool readCompressedGrey(const MemoryFile& memory, const ImageHeader& header, unsigned char* out) {
    int hdu = 0;
    fits_get_hdu_num(memory.file(), &hdu);
    const auto width = static_cast<std::size_t>(header.layout.pixelsWide);
    const std::size_t sampleBytes = header.bitpix == 16 ? 2 : 1;
    std::atomic<bool> read{true};
    zeta::imaging::forEachChunk(
        static_cast<std::size_t>(header.layout.pixelsHigh), std::max<std::size_t>(1, kChunk / 2 / width),
        [&](std::size_t firstRow, std::size_t endRow) {
            void* bytes = memory.memory();
            std::size_t size = memory.size();
            int rowStatus = 0;
            fitsfile* opened = nullptr;
            fits_open_memfile(&opened, "", READONLY, &bytes, &size, 0, nullptr, &rowStatus);
            const FitsFile own(opened);
            if (rowStatus != 0 || !own || fits_movabs_hdu(own.get(), hdu, nullptr, &rowStatus) != 0) {
                read = false;
                return;
            }
            if (!readSamples(own.get(), static_cast<LONGLONG>(firstRow * width) + 1,
                             static_cast<LONGLONG>((endRow - firstRow) * width), header.bitpix,
                             out + firstRow * width * sampleBytes))
                read = false;
        });
    return read;
}

// The grey pixels of a two-axis image into out.
bool readGrey(const MemoryFile& memory, const ImageHeader& header, const PlainSamples& samples, unsigned char* out) {
    const std::size_t n = header.pixels();
    if (header.plain) {
        // In chunks across threads: each faults in and fills its own part of the buffer.
        zeta::imaging::forEachChunk(n, kChunk, [&](std::size_t begin, std::size_t end) {
            samples.plane(begin, end - begin, out + (header.bitpix == 16 ? 2 : 1) * begin);
        });
        return true;
    }
    if (header.compressed) return readCompressedGrey(memory, header, out);
    return readPlane(memory.file(), header.bitpix, 1, static_cast<LONGLONG>(n), out);
}

// Planes 1, 2 and 3 of a three-axis image interleaved into RGB pixels.
bool readColour(fitsfile* file, const ImageHeader& header, const PlainSamples& samples, unsigned char* out) {
    const std::size_t n = header.pixels();
    if (header.plain) {
        zeta::imaging::forEachChunk(
            n, kChunk, [&](std::size_t begin, std::size_t end) { samples.interleave(n, begin, end, out); });
        return true;
    }
    // A plane at a time, in the samples of the file's depth; 16-bit ones give their high byte.
    const std::size_t sampleBytes = header.bitpix == 16 ? 2 : 1;
    std::vector<unsigned char> plane(n * sampleBytes);
    for (long p = 1; p <= 3; ++p) {
        if (!readPlane(file, header.bitpix, p, static_cast<LONGLONG>(n), plane.data())) return false;
        if (header.bitpix == 16) {
            const auto* values = reinterpret_cast<const std::uint16_t*>(plane.data());
            for (std::size_t i = 0; i < n; ++i)
                out[3 * i + (p - 1)] = static_cast<unsigned char>(values[i] >> 8);
        } else {
            for (std::size_t i = 0; i < n; ++i)
                out[3 * i + (p - 1)] = plane[i];
        }
    }
    return true;
}

// The image's pixels into out, laid out as the header's bitmap layout says.
bool readPixels(const MemoryFile& memory, const ImageHeader& header, const std::uint8_t* bytes, unsigned char* out) {
    const PlainSamples samples{bytes + header.dataStart, header.bitpix, header.offset};
    return header.naxis == 2 ? readGrey(memory, header, samples, out) : readColour(memory.file(), header, samples, out);
}

} // namespace

FITSImageRep::FITSImageRep(const zeta::platform::Data& data, Decompression decompression) : data_(data) {
    failureReason_ = decode(decompression);
    if (!failureReason_.empty()) {
        buffer_.reset();
        bufferSize_ = 0;
    }
}

FITSImageRep::~FITSImageRep() = default;

bool FITSImageRep::canInitWithData(const zeta::platform::Data& data) {
    return data.startsWith("SIMPLE");
}

zeta::platform::ImageReps FITSImageRep::imageRepsWithData(const zeta::platform::Data& data, std::string* reason) {
    auto rep = std::make_shared<FITSImageRep>(data);
    if (!rep->bitmapData()) {
        if (reason) *reason = rep->failureReason();
        return {};
    }
    return {rep};
}

std::string FITSImageRep::decode(Decompression decompression) {
    if (!canInitWithData(data_)) return "not a FITS file";
    if (!fitsTileHeadersAreSane(data_.bytes(), data_.length())) return "FITS compression header damaged";
    MemoryFile memory(data_);
    if (!memory.open()) return "FITS bytes unreadable";
    ImageHeader header;
    if (std::string failure = validate(memory.file(), data_.length(), header); !failure.empty()) return failure;
    if (header.compressed && decompression == Decompression::InHelper) {
        memory.close();
        if (!decompressInHelper(header.layout)) return "FITS compressed tiles undecodable";
        return {};
    }
    bufferSize_ = header.pixels() * static_cast<std::size_t>(header.layout.samplesPerPixel) *
                  static_cast<std::size_t>(header.layout.bitsPerSample / 8);
    if (header.naxis == 2 && header.plain && header.bitpix == 8) {
        // The pixels are the bytes as they are: shown in place, in the bytes this keeps.
        unsigned char* planes[1] = {const_cast<unsigned char*>(data_.bytes() + header.dataStart)};
        if (!initWithBitmapDataPlanes(planes, header.layout)) return "FITS image size refused";
        return {};
    }
    buffer_ = zeta::platform::allocateBuffer(bufferSize_);
    if (!readPixels(memory, header, data_.bytes(), buffer_.get())) return "FITS pixels unreadable";
    unsigned char* planes[1] = {buffer_.get()};
    if (!initWithBitmapDataPlanes(planes, header.layout)) return "FITS image size refused";
    return {};
}

// The helper answers "ZFIT", width and height (32-bit), bits per sample and samples per pixel
// (16-bit), then the pixels; the layout must be the one this header promised.
bool FITSImageRep::decompressInHelper(const zeta::platform::BitmapLayout& expected) {
    static const std::string path =
        zeta::platform::findHelperProgram("zeta-fits-helper", "ZETA_FITS_HELPER", ZETA_FITS_HELPER_BUILD_PATH);
    zeta::platform::HelperProcess helper(zeta::platform::HelperProcess::Clock::now() + std::chrono::seconds(60));
    if (!helper.start(path) || !helper.sendAll(data_.bytes(), data_.length())) return false;
    std::uint8_t header[16];
    if (!helper.receive(header, sizeof header) || std::memcmp(header, "ZFIT", 4) != 0) return false;
    std::uint32_t size[2];
    std::uint16_t format[2];
    std::memcpy(size, header + 4, 8);
    std::memcpy(format, header + 12, 4);
    if (size[0] != expected.pixelsWide || size[1] != expected.pixelsHigh || format[0] != expected.bitsPerSample ||
        format[1] != expected.samplesPerPixel)
        return false;
    bufferSize_ = static_cast<std::size_t>(expected.pixelsWide * expected.pixelsHigh) *
                  static_cast<std::size_t>(expected.samplesPerPixel * expected.bitsPerSample / 8);
    buffer_ = zeta::platform::allocateBuffer(bufferSize_);
    if (!helper.receive(buffer_.get(), bufferSize_) || !helper.finish()) return false;
    unsigned char* planes[1] = {buffer_.get()};
    return initWithBitmapDataPlanes(planes, expected);
}

} // namespace FITSIO

std::shared_ptr<FITSIO::FITSImageRep> fitsRepresentation(const zeta::platform::Picture& picture) {
    for (const auto& rep : picture.representations()) {
        if (auto fits = std::dynamic_pointer_cast<FITSIO::FITSImageRep>(rep)) return fits;
    }
    return nullptr;
}
