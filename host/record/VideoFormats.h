// The video formats of --record, picked by the file's extension: the container, the
// codec and its settings at each --quality, as FFmpeg's libraries name them.
#pragma once

#include <string>

namespace zorvan::host {

// --quality: 1 (smallest files) .. 5 (closest to the frames); 3 by default.
inline constexpr int MIN_QUALITY = 1, MAX_QUALITY = 5, DEFAULT_QUALITY = 3;

struct VideoFormat {
    const char* extension;  // ".mp4"
    const char* muxer;      // libavformat's name of the container
    const char* encoder;    // libavcodec's name of the encoder
    const char* codec;      // what a person calls it, for messages
    const char* pixels;     // the encoder's pixel format
    // yuv420p as players take it: both sides even (an odd side loses its last row or
    // column).
    bool evenSides;
    // The colours converted with BT.709's matrix and tagged so (the HD formats); else
    // the encoder's own conversion or BT.601's, untagged.
    bool bt709;
    // The most frames a second the format plays (0: any); faster recordings keep every
    // second (third, ...) frame.
    int maxRate;
    // The encoder's options at each quality, as "key=value:key=value".
    const char* options[MAX_QUALITY];
    // A filter graph between the frames (as rgb24) and the encoder at each quality, for
    // GIF's palette; null for none.
    const char* filter[MAX_QUALITY];
    const char* muxerOptions;
};

// The format for `path`'s extension (in any case); null for none.
const VideoFormat* videoFormatFor(const std::string& path);

// ".mp4, .webm, .webp, .gif or .mkv", for error lines.
std::string videoExtensions();

}  // namespace zorvan::host
