// A video file of rendered frames, through FFmpeg's libraries: libswscale turns each
// frame into the encoder's pixels, libavfilter makes GIF's palette, libavcodec encodes
// and libavformat writes the container. The file is written beside its target and put
// in place only when finished: a failed recording leaves nothing.
#pragma once

#include "host/record/VideoFormats.h"
#include "host/driver/FileOutput.h"

#include <cstdint>
#include <memory>
#include <string>

struct AVCodecContext;
struct AVFilterContext;
struct AVFilterGraph;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
struct SwsContext;

namespace zorvan::host {

// The frames' size in pixels, and their rate as the fraction rateNum / rateDen a second.
struct VideoShape {
    int width = 0, height = 0;
    int rateNum = 60, rateDen = 1;
    int quality = DEFAULT_QUALITY;
};

class VideoFile {
public:
    // Opens a recording of `shape` to `path` in `format`. Null, with `error` set to one
    // line, when the encoder is missing or the file cannot be made.
    static std::unique_ptr<VideoFile> create(const std::string& path, const VideoFormat& format,
                                             const VideoShape& shape, std::string& error);
    ~VideoFile();
    VideoFile(const VideoFile&) = delete;
    VideoFile& operator=(const VideoFile&) = delete;

    // The next frame: RGBA, the bottom row first, of the shape's size. False, with
    // `error` set, when the file cannot take it; the recording is then lost.
    bool add(const uint8_t* rgba, std::string& error);
    // Flushes the encoder, writes the container's end and puts the file in place.
    bool finish(std::string& error);

    // Frames given to add(), and those the file holds (every keepEvery()-th).
    long framesGiven() const { return given_; }
    long framesKept() const { return kept_; }
    int keepEvery() const { return keepEvery_; }
    // The video's size: the frames', less a last odd row or column where the codec needs
    // even sides.
    int width() const { return width_; }
    int height() const { return height_; }

private:
    VideoFile() = default;
    bool open(const std::string& path, const VideoFormat& format, const VideoShape& shape, std::string& error);
    bool openFilter(const char* spec, std::string& error);
    bool encode(AVFrame* frame, std::string& error);
    bool drainFilter(std::string& error);
    std::string failure(int code) const;

    PendingFile file_;  // last to go: the container is closed before its file is removed
    const VideoFormat* format_ = nullptr;
    AVFormatContext* container_ = nullptr;
    AVStream* stream_ = nullptr;
    AVCodecContext* encoder_ = nullptr;
    SwsContext* convert_ = nullptr;
    AVFilterGraph* graph_ = nullptr;
    AVFilterContext* source_ = nullptr;
    AVFilterContext* sink_ = nullptr;
    AVFrame* frame_ = nullptr;     // the converted frame
    AVFrame* filtered_ = nullptr;  // what the filter gives back
    AVPacket* packet_ = nullptr;
    int sourceWidth_ = 0, sourceHeight_ = 0, width_ = 0, height_ = 0;
    int keepEvery_ = 1;
    long given_ = 0, kept_ = 0;
};

}  // namespace zorvan::host
