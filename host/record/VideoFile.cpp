// Recording through FFmpeg's libraries. Each frame is read from the bottom row up (a
// negative stride, no copy), cropped to even sides where the codec needs them and
// converted by libswscale straight into the encoder's frame; GIF's goes through a
// palettegen/paletteuse graph, which holds the clip until its palette is made. Packets
// go to the muxer as they come; a write error ends the recording at once.
#include "host/record/VideoFile.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <algorithm>

namespace zorvan::host {

namespace {

std::string errorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = "";
    av_strerror(code, text, sizeof text);
    return text;
}

// Options as "key=value:key=value".
struct Dictionary {
    AVDictionary* entries = nullptr;
    explicit Dictionary(const char* text) {
        if (text && *text) av_dict_parse_string(&entries, text, "=", ":", 0);
    }
    ~Dictionary() { av_dict_free(&entries); }
};

}  // namespace

std::unique_ptr<VideoFile> VideoFile::create(const std::string& path, const VideoFormat& format,
                                             const VideoShape& shape, std::string& error) {
    // The libraries say nothing of their own: what goes wrong is told in one line.
    av_log_set_level(AV_LOG_QUIET);
    std::unique_ptr<VideoFile> video(new VideoFile());
    if (!video->open(path, format, shape, error)) return nullptr;
    return video;
}

std::string VideoFile::failure(int code) const { return file_.failure(errorText(code)); }

bool VideoFile::open(const std::string& path, const VideoFormat& format, const VideoShape& shape,
                     std::string& error) {
    format_ = &format;
    const AVCodec* codec = avcodec_find_encoder_by_name(format.encoder);
    if (!codec) {
        error = std::string("cannot record ") + format.codec + ": this FFmpeg has no " + format.encoder + " encoder";
        return false;
    }
    const int quality = std::clamp(shape.quality, MIN_QUALITY, MAX_QUALITY) - 1;
    sourceWidth_ = shape.width;
    sourceHeight_ = shape.height;
    width_ = format.evenSides ? shape.width & ~1 : shape.width;
    height_ = format.evenSides ? shape.height & ~1 : shape.height;
    if (width_ < 1 || height_ < 1) {
        error = std::string("cannot record ") + format.codec + " of " + std::to_string(shape.width) + "x" +
                std::to_string(shape.height) + " pixels: it needs two or more on each side";
        return false;
    }
    while (format.maxRate > 0 && shape.rateNum > int64_t(format.maxRate) * shape.rateDen * keepEvery_) ++keepEvery_;
    if (!file_.open(path, "", error)) return false;

    if (avformat_alloc_output_context2(&container_, nullptr, format.muxer, file_.temporaryPath().c_str()) < 0 ||
        !(stream_ = avformat_new_stream(container_, nullptr)) || !(encoder_ = avcodec_alloc_context3(codec)) ||
        !(frame_ = av_frame_alloc()) || !(filtered_ = av_frame_alloc()) || !(packet_ = av_packet_alloc())) {
        error = file_.failure("out of memory");
        return false;
    }
    // A frame interval of keepEvery_ frames.
    AVRational interval{shape.rateDen * keepEvery_, shape.rateNum};
    av_reduce(&interval.num, &interval.den, interval.num, interval.den, INT32_MAX);
    encoder_->width = width_;
    encoder_->height = height_;
    encoder_->pix_fmt = av_get_pix_fmt(format.pixels);
    encoder_->time_base = interval;
    encoder_->framerate = av_inv_q(interval);
    encoder_->sample_aspect_ratio = AVRational{1, 1};
    encoder_->thread_count = 0;  // as many as the encoder finds useful
    if (format.bt709) {
        encoder_->color_primaries = AVCOL_PRI_BT709;
        encoder_->color_trc = AVCOL_TRC_BT709;
        encoder_->colorspace = AVCOL_SPC_BT709;
        encoder_->color_range = AVCOL_RANGE_MPEG;
    }
    if (container_->oformat->flags & AVFMT_GLOBALHEADER) encoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    Dictionary options(format.options[quality]);
    if (const int code = avcodec_open2(encoder_, codec, &options.entries); code < 0) {
        error = std::string("cannot record ") + format.codec + " of " + std::to_string(width_) + "x" +
                std::to_string(height_) + " pixels: " + errorText(code);
        return false;
    }
    stream_->time_base = encoder_->time_base;
    stream_->avg_frame_rate = encoder_->framerate;
    if (const int code = avcodec_parameters_from_context(stream_->codecpar, encoder_); code < 0) {
        error = failure(code);
        return false;
    }

    // The frames as the encoder takes them, or as rgb24 for the filter (which makes the
    // alpha channel no part of the picture).
    const AVPixelFormat converted = format.filter[quality] ? AV_PIX_FMT_RGB24 : encoder_->pix_fmt;
    frame_->format = converted;
    frame_->width = width_;
    frame_->height = height_;
    convert_ = sws_getContext(width_, height_, AV_PIX_FMT_RGBA, width_, height_, converted, SWS_BICUBIC, nullptr,
                              nullptr, nullptr);
    if (!convert_ || av_frame_get_buffer(frame_, 0) < 0) {
        error = file_.failure("out of memory");
        return false;
    }
    if (format.bt709) {
        // Full-range RGB into BT.709's limited-range YUV.
        sws_setColorspaceDetails(convert_, sws_getCoefficients(SWS_CS_ITU709), 1, sws_getCoefficients(SWS_CS_ITU709),
                                 0, 0, 1 << 16, 1 << 16);
    }
    if (format.filter[quality] && !openFilter(format.filter[quality], error)) return false;

    if (const int code = avio_open(&container_->pb, file_.temporaryPath().c_str(), AVIO_FLAG_WRITE); code < 0) {
        error = failure(code);
        return false;
    }
    Dictionary muxerOptions(format.muxerOptions);
    if (const int code = avformat_write_header(container_, &muxerOptions.entries); code < 0) {
        error = failure(code);
        return false;
    }
    return true;
}

bool VideoFile::openFilter(const char* spec, std::string& error) {
    graph_ = avfilter_graph_alloc();
    if (!graph_) {
        error = file_.failure("out of memory");
        return false;
    }
    const std::string source = "video_size=" + std::to_string(width_) + "x" + std::to_string(height_) +
                               ":pix_fmt=" + std::to_string(int(AV_PIX_FMT_RGB24)) + ":time_base=" +
                               std::to_string(encoder_->time_base.num) + "/" + std::to_string(encoder_->time_base.den) +
                               ":pixel_aspect=1/1";
    AVFilterInOut* into = avfilter_inout_alloc();
    AVFilterInOut* outOf = avfilter_inout_alloc();
    int code = into && outOf ? 0 : AVERROR(ENOMEM);
    if (code >= 0)
        code = avfilter_graph_create_filter(&source_, avfilter_get_by_name("buffer"), "in", source.c_str(), nullptr,
                                            graph_);
    if (code >= 0)
        code = avfilter_graph_create_filter(&sink_, avfilter_get_by_name("buffersink"), "out", nullptr, nullptr, graph_);
    if (code >= 0) {
        // The graph's open input is fed by the source, its open output feeds the sink.
        outOf->name = av_strdup("in");
        outOf->filter_ctx = source_;
        into->name = av_strdup("out");
        into->filter_ctx = sink_;
        code = avfilter_graph_parse_ptr(graph_, spec, &into, &outOf, nullptr);
    }
    if (code >= 0) code = avfilter_graph_config(graph_, nullptr);
    avfilter_inout_free(&into);
    avfilter_inout_free(&outOf);
    if (code < 0) {
        error = std::string("cannot make the ") + format_->codec + " palette filter: " + errorText(code);
        return false;
    }
    return true;
}

VideoFile::~VideoFile() {
    if (container_) {
        avio_closep(&container_->pb);
        avformat_free_context(container_);
    }
    avcodec_free_context(&encoder_);
    sws_freeContext(convert_);
    avfilter_graph_free(&graph_);
    av_frame_free(&frame_);
    av_frame_free(&filtered_);
    av_packet_free(&packet_);
}

bool VideoFile::add(const uint8_t* rgba, std::string& error) {
    if (given_++ % keepEvery_ != 0) return true;
    if (const int code = av_frame_make_writable(frame_); code < 0) {
        error = failure(code);
        return false;
    }
    // The top row of the picture is the last in memory; a crop to even sides keeps the
    // top rows and the left columns.
    const int stride = sourceWidth_ * 4;
    const uint8_t* top[1] = {rgba + size_t(sourceHeight_ - 1) * size_t(stride)};
    const int strides[1] = {-stride};
    sws_scale(convert_, top, strides, 0, height_, frame_->data, frame_->linesize);
    frame_->pts = kept_++;
    if (!graph_) return encode(frame_, error);
    if (const int code = av_buffersrc_add_frame_flags(source_, frame_, AV_BUFFERSRC_FLAG_KEEP_REF); code < 0) {
        error = failure(code);
        return false;
    }
    return drainFilter(error);
}

bool VideoFile::drainFilter(std::string& error) {
    for (;;) {
        const int code = av_buffersink_get_frame(sink_, filtered_);
        if (code == AVERROR(EAGAIN) || code == AVERROR_EOF) return true;
        if (code < 0) {
            error = failure(code);
            return false;
        }
        const bool encoded = encode(filtered_, error);
        av_frame_unref(filtered_);
        if (!encoded) return false;
    }
}

// Sends `frame` (null: the end) and writes every packet that comes out.
bool VideoFile::encode(AVFrame* frame, std::string& error) {
    if (const int code = avcodec_send_frame(encoder_, frame); code < 0) {
        error = failure(code);
        return false;
    }
    for (;;) {
        int code = avcodec_receive_packet(encoder_, packet_);
        if (code == AVERROR(EAGAIN) || code == AVERROR_EOF) return true;
        if (code >= 0) {
            av_packet_rescale_ts(packet_, encoder_->time_base, stream_->time_base);
            packet_->stream_index = stream_->index;
            code = av_interleaved_write_frame(container_, packet_);
            if (code >= 0 && container_->pb->error < 0) code = container_->pb->error;
        }
        if (code < 0) {
            error = failure(code);
            return false;
        }
    }
}

bool VideoFile::finish(std::string& error) {
    if (graph_) {
        if (const int code = av_buffersrc_add_frame_flags(source_, nullptr, 0); code < 0) {
            error = failure(code);
            return false;
        }
        if (!drainFilter(error)) return false;
    }
    if (!encode(nullptr, error)) return false;
    int code = av_write_trailer(container_);
    if (code >= 0) {
        avio_flush(container_->pb);
        code = container_->pb->error;
    }
    if (code >= 0) code = avio_closep(&container_->pb);
    if (code < 0) {
        error = failure(code);
        return false;
    }
    return file_.commit(error);
}

}  // namespace zorvan::host
