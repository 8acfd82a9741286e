#include "imaging/ffmpeg_writer.h"

#include "imaging/video_log.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/pixdesc.h>
}

#include <cstring>

namespace {

struct FormatContextFree {
    void operator()(AVFormatContext* context) const {
        if (context->pb && !(context->oformat->flags & AVFMT_NOFILE)) avio_closep(&context->pb);
        avformat_free_context(context);
    }
};
struct CodecContextFree {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameFree {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketFree {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
using FormatContext = std::unique_ptr<AVFormatContext, FormatContextFree>;
using CodecContext = std::unique_ptr<AVCodecContext, CodecContextFree>;
using Frame = std::unique_ptr<AVFrame, FrameFree>;
using Packet = std::unique_ptr<AVPacket, PacketFree>;

constexpr AVCodecID CODEC = AV_CODEC_ID_RAWVIDEO;

// The library's own log goes to standard error at its verbose level, set once per process.
void initialiseLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_VERBOSE); });
}

FormatContext outputContext(const std::string& fileName) {
    AVFormatContext* context = nullptr;
    if (avformat_alloc_output_context2(&context, nullptr, nullptr, fileName.c_str()) < 0 || !context) return nullptr;
    return FormatContext(context);
}

bool isMov(const AVOutputFormat& format) {
    return std::strcmp(format.name, "mov") == 0;
}

// The pixel format frames of these pixels are stored in. AVI and MOV readers misread some raw
// layouts (AVI keeps only bottom-up BGR and a few tagged formats, MOV's RGB24 loses rows of
// some widths, neither has little-endian 16-bit grey), so those are reordered losslessly;
// AV_PIX_FMT_NONE when the container has no readable format for them.
AVPixelFormat storedPixelFormat(const AVOutputFormat& format, FramePixels pixels) {
    const bool avi = std::strcmp(format.name, "avi") == 0;
    const bool mov = isMov(format);
    switch (pixels) {
    case FramePixels::Gray8:
        return AV_PIX_FMT_GRAY8;
    case FramePixels::Gray16LE:
        return avi ? AV_PIX_FMT_NONE : mov ? AV_PIX_FMT_GRAY16BE : AV_PIX_FMT_GRAY16LE;
    case FramePixels::BGR24:
        return AV_PIX_FMT_BGR24;
    case FramePixels::RGB24:
        return avi || mov ? AV_PIX_FMT_BGR24 : AV_PIX_FMT_RGB24;
    case FramePixels::ARGB32:
        return avi ? AV_PIX_FMT_BGRA : AV_PIX_FMT_ARGB;
    case FramePixels::RGBA32:
        return AV_PIX_FMT_RGBA;
    }
    return AV_PIX_FMT_NONE;
}

// Copies one row, reordering bytes where the stored format differs from the frame's.
void copyRow(FramePixels from, AVPixelFormat to, const std::uint8_t* in, std::uint8_t* out, std::uint32_t width) {
    if (from == FramePixels::Gray16LE && to == AV_PIX_FMT_GRAY16BE) {
        for (std::uint32_t x = 0; x < width; ++x, in += 2, out += 2) {
            out[0] = in[1];
            out[1] = in[0];
        }
    } else if (from == FramePixels::RGB24 && to == AV_PIX_FMT_BGR24) {
        for (std::uint32_t x = 0; x < width; ++x, in += 3, out += 3) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
        }
    } else if (from == FramePixels::ARGB32 && to == AV_PIX_FMT_BGRA) {
        for (std::uint32_t x = 0; x < width; ++x, in += 4, out += 4) {
            out[0] = in[3];
            out[1] = in[2];
            out[2] = in[1];
            out[3] = in[0];
        }
    } else {
        std::memcpy(out, in, std::size_t(width) * std::size_t(bytesPerPixel(from)));
    }
}

std::string describe(std::uint32_t width, std::uint32_t height, FramePixels pixels) {
    return std::to_string(width) + " x " + std::to_string(height) + " " + framePixelsName(pixels);
}

void log(const std::string& text) {
    zeta::imaging::video::logMessage("ffmpeg: " + text);
}

} // namespace

struct FFMPEG::Output {
    FormatContext formatContext;
    AVStream* stream = nullptr; // belongs to formatContext
    CodecContext codecContext;
    Frame frame;
    Packet packet;
};

std::shared_ptr<FFMPEG> FFMPEG::initWith(const std::string& path) {
    initialiseLibrary();
    FormatContext context = outputContext(path);
    if (!context) {
        log("avformat_alloc_output_context2 failed");
        return nullptr;
    }
    std::shared_ptr<FFMPEG> writer(new FFMPEG(path));
    writer->output_ = std::make_unique<Output>();
    writer->output_->formatContext = std::move(context);
    return writer;
}

FFMPEG::FFMPEG(std::string fileName) : fileName_(std::move(fileName)) {}

FFMPEG::~FFMPEG() {
    close();
}

bool FFMPEG::opened() const {
    std::lock_guard guard(lock_);
    return opened_;
}

FFMPEG::SetUp FFMPEG::setUp(const VideoFrame& frame, int pixelFormat) {
    Output& out = *output_;
    AVFormatContext* const container = out.formatContext.get();
    const AVCodec* codec = avcodec_find_encoder(CODEC);
    if (!codec) {
        log(std::string("Could not find encoder for ") + avcodec_get_name(CODEC));
        return SetUp::Failed;
    }
    out.stream = avformat_new_stream(container, nullptr);
    if (!out.stream) {
        log("Could not allocate stream");
        return SetUp::Failed;
    }
    out.stream->id = static_cast<int>(container->nb_streams) - 1;
    out.stream->time_base = AVRational{1, STREAM_FRAME_RATE};
    out.codecContext.reset(avcodec_alloc_context3(codec));
    AVCodecContext* const context = out.codecContext.get();
    if (!context) {
        log("Could not allocate encoding context");
        return SetUp::Failed;
    }
    context->codec_id = CODEC;
    context->bit_rate = BIT_RATE;
    context->width = static_cast<int>(frame.width);
    context->height = static_cast<int>(frame.height);
    context->time_base = out.stream->time_base;
    context->gop_size = 12;
    context->pix_fmt = static_cast<AVPixelFormat>(pixelFormat);
    if (container->oformat->flags & AVFMT_GLOBALHEADER) context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int result = avcodec_open2(context, codec, nullptr);
    if (result < 0) {
        log("Could not open video codec: " + std::to_string(result));
        return SetUp::Retry;
    }
    out.frame.reset(av_frame_alloc());
    out.packet.reset(av_packet_alloc());
    if (!out.frame || !out.packet) {
        log("Could not allocate frame");
        return SetUp::Failed;
    }
    out.frame->pts = 0;
    out.frame->format = context->pix_fmt;
    out.frame->width = context->width;
    out.frame->height = context->height;
    result = av_frame_get_buffer(out.frame.get(), 32);
    if (result < 0) {
        log("Could not allocate frame data: " + std::to_string(result));
        return SetUp::Retry;
    }
    result = avcodec_parameters_from_context(out.stream->codecpar, context);
    if (result < 0) {
        log("Could not copy stream parameters: " + std::to_string(result));
        return SetUp::Retry;
    }
    av_dump_format(container, 0, fileName_.c_str(), 1);
    if (!(container->oformat->flags & AVFMT_NOFILE)) {
        result = avio_open(&container->pb, fileName_.c_str(), AVIO_FLAG_WRITE);
        if (result < 0) {
            log("Could not open file: " + std::to_string(result));
            return SetUp::Retry;
        }
    }
    // MOV keeps its index at the end, where a run that never closes writes nothing: written
    // in fragments, one a frame, each finished fragment is readable on its own.
    AVDictionary* options = nullptr;
    if (isMov(*container->oformat)) av_dict_set(&options, "movflags", "frag_custom+empty_moov", 0);
    result = avformat_write_header(container, &options);
    av_dict_free(&options);
    if (result < 0) {
        log("Could not write header: " + std::to_string(result));
        return SetUp::Retry;
    }
    if (container->pb) avio_flush(container->pb);
    return SetUp::Done;
}

VideoFrameOutcome FFMPEG::add(const zeta::platform::Data& data) {
    const VideoFrameReading reading = readVideoFrame(data);
    switch (reading.status) {
    case VideoFrameReading::Status::Frame:
        break;
    case VideoFrameReading::Status::NotAnImage:
        return VideoFrameOutcome::Dropped;
    case VideoFrameReading::Status::UnsupportedBitmap:
        zeta::imaging::video::logMessage("Unsupported bitmap format");
        return VideoFrameOutcome::Dropped;
    case VideoFrameReading::Status::MalformedRaw:
        log("Frame dropped, " + reading.problem);
        return VideoFrameOutcome::Dropped;
    }
    const VideoFrame& frame = reading.frame;

    std::lock_guard guard(lock_);
    if (closed_) {
        log("Frame dropped, " + fileName_ + " is already closed");
        return VideoFrameOutcome::Dropped;
    }
    if (unusable_ || !output_) return VideoFrameOutcome::WriterUnusable;
    if (firstFrame_) {
        const AVPixelFormat stored = storedPixelFormat(*output_->formatContext->oformat, frame.pixels);
        if (stored == AV_PIX_FMT_NONE) {
            log(std::string(framePixelsName(frame.pixels)) + " frames cannot be stored readably in " +
                output_->formatContext->oformat->name + ", " + fileName_ + " is not written");
            unusable_ = true;
            return VideoFrameOutcome::WriterUnusable;
        }
        switch (setUp(frame, stored)) {
        case SetUp::Done:
            firstFrame_ = false;
            opened_ = true;
            width_ = frame.width;
            height_ = frame.height;
            pixels_ = frame.pixels;
            pixelFormat_ = stored;
            break;
        case SetUp::Failed:
            firstFrame_ = false;
            unusable_ = true;
            output_.reset();
            return VideoFrameOutcome::WriterUnusable;
        case SetUp::Retry: {
            // The next frame starts again on a fresh container: a stream left in this one
            // could not be taken out again.
            FormatContext fresh = outputContext(fileName_);
            output_.reset();
            if (!fresh) {
                log("avformat_alloc_output_context2 failed");
                firstFrame_ = false;
                unusable_ = true;
                return VideoFrameOutcome::WriterUnusable;
            }
            output_ = std::make_unique<Output>();
            output_->formatContext = std::move(fresh);
            return VideoFrameOutcome::Dropped;
        }
        }
    }
    return write(frame);
}

VideoFrameOutcome FFMPEG::write(const VideoFrame& frame) {
    const AVPixelFormat stored = storedPixelFormat(*output_->formatContext->oformat, frame.pixels);
    if (frame.width != width_ || frame.height != height_ || stored != pixelFormat_) {
        log("Frame dropped, " + describe(frame.width, frame.height, frame.pixels) + " does not fit the video's " +
            describe(width_, height_, pixels_));
        return VideoFrameOutcome::Dropped;
    }
    AVFrame* const buffer = output_->frame.get();
    int result = av_frame_make_writable(buffer);
    if (result < 0) {
        log("Could not make frame writable: " + std::to_string(result));
        return VideoFrameOutcome::Dropped;
    }
    for (std::uint32_t y = 0; y < frame.height; ++y)
        copyRow(frame.pixels, stored, frame.row(y), buffer->data[0] + std::size_t(y) * std::size_t(buffer->linesize[0]),
                frame.width);
    // The first frame is at time 0: a stream starting later gets an empty frame put in front
    // of it in AVI, and in MOV an edit list that makes readers skip a frame.
    result = avcodec_send_frame(output_->codecContext.get(), buffer);
    buffer->pts += 1;
    if (result < 0) {
        log("Could not encode frame: " + std::to_string(result));
        return VideoFrameOutcome::Dropped;
    }
    if (!writePackets()) return VideoFrameOutcome::Dropped;
    return flushFrame() ? VideoFrameOutcome::Written : VideoFrameOutcome::Dropped;
}

// Hands the frame to the file now rather than at the end of the run or of a buffer: what a
// run that is killed has written stays readable (MOV's fragment, AVI's chunk).
bool FFMPEG::flushFrame() {
    AVFormatContext* const container = output_->formatContext.get();
    if (isMov(*container->oformat)) {
        const int result = av_write_frame(container, nullptr);
        if (result < 0) {
            log("Could not write fragment: " + std::to_string(result));
            return false;
        }
    }
    if (!container->pb) return true;
    avio_flush(container->pb);
    if (container->pb->error < 0) {
        log("Could not write frame: " + std::to_string(container->pb->error));
        return false;
    }
    return true;
}

// Writes every packet the encoder has ready; false when one could not be made or written.
bool FFMPEG::writePackets() {
    Output& out = *output_;
    for (;;) {
        int result = avcodec_receive_packet(out.codecContext.get(), out.packet.get());
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return true;
        if (result < 0) {
            log("Could not encode frame: " + std::to_string(result));
            return false;
        }
        // Each frame lasts one period: MOV stores a last frame without a duration as lasting
        // nothing, and readers skip it.
        if (out.packet->duration == 0) out.packet->duration = 1;
        av_packet_rescale_ts(out.packet.get(), out.codecContext->time_base, out.stream->time_base);
        out.packet->stream_index = out.stream->index;
        // Takes the packet's data over, whatever the outcome.
        result = av_interleaved_write_frame(out.formatContext.get(), out.packet.get());
        if (result < 0) {
            log("Could not write frame: " + std::to_string(result));
            return false;
        }
    }
}

void FFMPEG::close() {
    std::lock_guard guard(lock_);
    if (closed_) return;
    closed_ = true;
    if (opened_ && output_) {
        // Raw video holds no frames back; draining is how the encoder is told the run ended.
        if (avcodec_send_frame(output_->codecContext.get(), nullptr) >= 0) writePackets();
        int result = av_write_trailer(output_->formatContext.get());
        if (result < 0) log("Could not write trailer: " + std::to_string(result));
        AVFormatContext* const container = output_->formatContext.get();
        if (container->pb && !(container->oformat->flags & AVFMT_NOFILE)) {
            result = avio_closep(&container->pb);
            if (result < 0) log("Could not close file: " + std::to_string(result));
        }
    }
    output_.reset();
    opened_ = false;
}
