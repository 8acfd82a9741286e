#pragma once
// A decoded frame: made from the bytes of a frame as received (JPEG and other camera files,
// camera raw files, INDIGO raw frames, FITS) and their file extension; keeps the bytes, the
// decoded picture and its first bitmap, the image properties, the sampled statistics, a
// 256-bin histogram and its drawing, the automatic black and white points, the display
// stretch, the stretched 8-bit RGB rendering, the raw readout under a point and the star
// and focus metrics.
//
// Pixel coordinates: x is the column; y counts upward, so y = height is the first row of
// the bitmap data and y = 1 the last (row = height - y).
//
// Threads: the constructor decodes and analyses on the calling thread. After that the
// object may be used from several threads: the decoded pixels never change, and the display
// points, the rendering cache and the metric caches are behind a lock of the object's own.
// A rendering handed out by image() owns its pixels: a later rendering never writes them.

#include "imaging/bahtinov_line.h"
#include "imaging/star_sample.h"
#include "platform/image/bitmap_image_rep.h"
#include "platform/image/data.h"
#include "platform/image/picture.h"

#include <QVariantMap>
#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <variant>

// The raw samples under a point: one value for grey frames, three for colour frames.
struct RGBValue {
    std::int64_t red = 0, green = 0, blue = 0;
    bool operator==(const RGBValue&) const = default;
};
using PixelValue = std::variant<std::int64_t, RGBValue>;

class Image {
public:
    // Decodes the bytes (format is the file extension with its leading dot, ".jpeg",
    // ".fits", ".nef" ...), analyses them and draws the histogram. Bytes that do not decode
    // give an Image with zero dimensions and no bitmap; decodeFailure() says why, and the
    // system log has it.
    Image(const zeta::platform::Data& data, std::string format);
    ~Image();
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    const zeta::platform::Data& data() const { return data_; }
    const std::string& format() const { return format_; }
    // Image properties of the file (dimensions, "{Exif}", "{TIFF}", "{GPS}"), when it has any.
    const std::optional<QVariantMap>& properties() const { return properties_; }
    std::shared_ptr<zeta::platform::Picture> original() const { return original_; }
    std::shared_ptr<zeta::platform::BitmapImageRep> originalImageRep() const { return originalImageRep_; }
    // Why the bytes gave no bitmap; empty when they did.
    const std::string& decodeFailure() const { return decodeFailure_; }

    std::int64_t width() const { return width_; }
    std::int64_t height() const { return height_; }
    std::int64_t size() const { return size_; }
    std::int64_t bitsPerPixel() const { return bitsPerPixel_; }
    bool isColour() const { return isColour_; }

    std::int64_t min() const { return min_; }
    std::int64_t max() const { return max_; }
    std::int64_t average() const { return average_; }
    std::int64_t median() const { return median_; }
    const std::array<std::int64_t, 256>& histo() const { return histo_; }
    // The 256 x 128 drawing of the histogram (log scale, filled black on transparent).
    std::shared_ptr<zeta::platform::Picture> histogram() const { return histogram_; }
    std::int64_t autoBlackPoint() const { return autoBlackPoint_; }
    std::int64_t autoWhitePoint() const { return autoWhitePoint_; }

    // The display stretch; each setter drops the cached rendering, even for the same value.
    std::int64_t debayer() const;
    void setDebayer(std::int64_t value);
    std::int64_t blackPoint() const;
    void setBlackPoint(std::int64_t value);
    std::int64_t whitePoint() const;
    void setWhitePoint(std::int64_t value);

    // The stretched 8-bit RGB rendering (one 24-bit bitmap), made on first request and kept
    // until the stretch changes; nullptr without a bitmap.
    std::shared_ptr<zeta::platform::Picture> image() const;
    // The raw sample(s) at the point; none outside the frame, for points that are not finite
    // numbers, without a bitmap or for other layouts.
    std::optional<PixelValue> pixel(double x, double y) const;

    // The 9 x 9 window centred at column x and y (upward); none unless 4 <= x <= width - 5
    // and 5 <= y <= height - 5 in one of the five layouts.
    std::optional<StarSample> sampleWindow(std::int64_t x, std::int64_t y) const;
    // The best-scoring window centred within a of the point; none when none scores above 50
    // (or a is negative, or the point is not finite).
    std::optional<StarSample> findStar(std::int64_t a, double x, double y) const;
    // The record with dx, dy set to the centroid of the window's 5 x 5 centre; none for a
    // flat centre.
    std::optional<StarSample> measureStar(double x, double y, std::int64_t min, std::int64_t max,
                                          const StarPixels& pixels) const;
    // Half-flux radius of the window in pixels; the last result for the same point is kept
    // and returned again.
    double hfd(const StarPixels& pixels, double x, double y) const;
    // Full width at half maximum of a Gaussian fitted to the window (2.355 sigma); cached
    // by point like hfd().
    double fwhm(std::int64_t min, std::int64_t max, const StarPixels& pixels, double x, double y) const;

    // The segment's score: the sum of the samples on the outer thirds of the points from
    // (x1, y1) toward (x2, y2), one per pixel along the longer axis, divided by the number of
    // steps; angle 0. Points outside the frame are skipped; 0 without a bitmap or for a
    // segment shorter than 3 pixels along its longer axis.
    BahtinovLine lineScore(std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2) const;
    // The central spike and the two side spikes (15 to 30 degrees either side of it) of a
    // Bahtinov pattern in the rectangle (image coordinates, 50 < width, height < 300), with
    // end points relative to the rectangle's origin; each absent when not found, all three
    // for a rectangle outside the size window.
    std::array<std::optional<BahtinovLine>, 3> bahtinovLines(double x, double y, double width, double height) const;

    // Ring number of each cell of a 9 x 9 window: rings 0..7 hold the cells at squared
    // distance 0, 1, 2, 4, 5, 8, 9, 10 from the centre, ring 8 the rest.
    static constexpr std::array<std::array<int, 9>, 9> INDICES = {{
        {8, 8, 8, 8, 8, 8, 8, 8, 8},
        {8, 8, 8, 7, 6, 7, 8, 8, 8},
        {8, 8, 5, 4, 3, 4, 5, 8, 8},
        {8, 7, 4, 2, 1, 2, 4, 7, 8},
        {8, 6, 3, 1, 0, 1, 3, 6, 8},
        {8, 7, 4, 2, 1, 2, 4, 7, 8},
        {8, 8, 5, 4, 3, 4, 5, 8, 8},
        {8, 8, 8, 7, 6, 7, 8, 8, 8},
        {8, 8, 8, 8, 8, 8, 8, 8, 8},
    }};

private:
    void decode();
    void analyse();
    struct RenderBuffers;

    // Fixed after construction.
    zeta::platform::Data data_;
    std::string format_;
    std::optional<QVariantMap> properties_;
    std::shared_ptr<zeta::platform::Picture> original_;
    std::shared_ptr<zeta::platform::BitmapImageRep> originalImageRep_;
    std::string decodeFailure_;
    std::shared_ptr<zeta::platform::Picture> histogram_;
    std::int64_t autoBlackPoint_ = 0;
    std::int64_t autoWhitePoint_ = 65535;
    std::int64_t bitsPerPixel_ = 0;
    std::int64_t width_ = 0;
    std::int64_t height_ = 0;
    std::int64_t min_ = 65535;
    std::int64_t max_ = 0;
    std::int64_t average_ = 0;
    std::int64_t median_ = 0;
    std::int64_t size_ = 0;
    bool isColour_ = false;
    std::array<std::int64_t, 256> histo_{};

    // Changed after construction, under mutex_.
    mutable std::mutex mutex_;
    std::int64_t debayer_ = 255;
    std::int64_t blackPoint_ = 0;
    std::int64_t whitePoint_ = 65535;
    mutable std::shared_ptr<zeta::platform::Picture> cached_;
    std::shared_ptr<RenderBuffers> renderBuffers_;
    mutable std::optional<double> hfdLastX_, hfdLastY_;
    mutable double hfdLastValue_ = 0;
    mutable std::optional<double> fwhmLastX_, fwhmLastY_;
    mutable double fwhmLastValue_ = 0;
};
