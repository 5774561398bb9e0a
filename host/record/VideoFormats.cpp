// The table of --record's formats. The defaults (quality 3) are those of FFmpeg's own
// tools for each encoder; the scale around them moves the codecs' constant-quality
// setting, so a recording of the swarm stays small at every step.
#include "host/record/VideoFormats.h"

#include <algorithm>
#include <cctype>
#include <iterator>

namespace zorvan::host {

namespace {

// The palette is made for the whole clip, then every frame is mapped onto it.
#define GIF_PALETTE(colours) "split[a][b];[a]palettegen=max_colors=" colours "[p];[b][p]paletteuse"

const VideoFormat FORMATS[] = {
    {".mp4", "mp4", "libx264", "H.264", "yuv420p", true, true, 0,
     {"preset=medium:crf=32", "preset=medium:crf=27", "preset=medium:crf=23", "preset=medium:crf=20",
      "preset=medium:crf=17"},
     {},
     "movflags=+faststart"},
    {".webm", "webm", "libvpx-vp9", "VP9", "yuv420p", true, true, 0,
     {"crf=45:b=0:row-mt=1", "crf=38:b=0:row-mt=1", "crf=32:b=0:row-mt=1", "crf=27:b=0:row-mt=1",
      "crf=22:b=0:row-mt=1"},
     {},
     ""},
    {".webp", "webp", "libwebp_anim", "animated WebP", "yuv420p", false, false, 0,
     {"quality=50", "quality=65", "quality=75", "quality=85", "quality=95"},
     {},
     ""},
    // GIF's frame delays are in hundredths of a second, and players show delays under
    // two of them slower: 50 frames a second at most.
    {".gif", "gif", "gif", "GIF", "pal8", false, false, 50,
     {"", "", "", "", ""},
     {GIF_PALETTE("32"), GIF_PALETTE("64"), GIF_PALETTE("128"), GIF_PALETTE("256"), GIF_PALETTE("256")},
     ""},
    // Lossless: every quality is the same.
    {".mkv", "matroska", "ffv1", "FFV1", "bgr0", false, false, 0,
     {"level=3", "level=3", "level=3", "level=3", "level=3"},
     {},
     ""},
};

}  // namespace

const VideoFormat* videoFormatFor(const std::string& path) {
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return nullptr;
    std::string extension = path.substr(dot);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    for (const VideoFormat& format : FORMATS)
        if (extension == format.extension) return &format;
    return nullptr;
}

std::string videoExtensions() {
    std::string text;
    for (size_t i = 0; i < std::size(FORMATS); ++i) {
        if (i > 0) text += i + 1 == std::size(FORMATS) ? " or " : ", ";
        text += FORMATS[i].extension;
    }
    return text;
}

}  // namespace zorvan::host
