// --render: the view on an offscreen OSMesa context, a number of frames, and the last
// frame written as a PNG picture. No display is needed.
#include "host/FileOutput.h"
#include "host/Host.h"
#include "host/MoteDump.h"
#include "host/StopSignals.h"

#include "platform/gl/OsMesaView.h"
#include "platform/image/MagickSetup.h"
#include "saver/Zorvan.h"

#include <Magick++.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace zorvan::host {

namespace {

constexpr int DEFAULT_WIDTH = 800;
constexpr int DEFAULT_HEIGHT = 600;

// ImageMagick's resource limits guard the decoding of picture files from anywhere; the
// frame we encode is our own, of a size we chose. For the encode they are raised as far
// as the system's policy allows (it caps every raise), and put back afterwards.
class EncodeLimits {
public:
    EncodeLimits()
        : area_(R::area()), memory_(R::memory()), map_(R::map()), disk_(R::disk()),
          width_(R::width()), height_(R::height()) {
        const MagickCore::MagickSizeType most = ~MagickCore::MagickSizeType(0);
        R::area(most);
        R::memory(most);
        R::map(most);
        R::disk(most);
        R::width(most);
        R::height(most);
    }
    ~EncodeLimits() {
        R::area(area_);
        R::memory(memory_);
        R::map(map_);
        R::disk(disk_);
        R::width(width_);
        R::height(height_);
    }
    EncodeLimits(const EncodeLimits&) = delete;
    EncodeLimits& operator=(const EncodeLimits&) = delete;

    // Whether a picture of w x h is within the raised limits. ImageMagick aborts the
    // process, rather than failing, when asked to hold a picture beyond them.
    static bool fits(size_t w, size_t h) {
        return w <= R::width() && h <= R::height() && w * h < R::area();
    }

private:
    using R = Magick::ResourceLimits;
    MagickCore::MagickSizeType area_, memory_, map_, disk_, width_, height_;
};

std::string tooLargeMessage(int w, int h) {
    return "cannot encode a " + std::to_string(w) + "x" + std::to_string(h) +
           " picture: larger than ImageMagick's resource policy allows";
}

}  // namespace

// The bytes are written here, not by Magick++, so the file name is taken as it stands
// (no format prefixes or frame selectors read into it).
bool writeFramePng(const OsMesaView& gl, const std::string& path, std::string& error) {
    const int w = gl.width(), h = gl.height();
    const std::vector<uint8_t>& rgba = gl.pixels();
    std::vector<uint8_t> rgb(static_cast<size_t>(w) * static_cast<size_t>(h) * 3);
    for (int row = 0; row < h; ++row) {
        const uint8_t* src = &rgba[static_cast<size_t>(h - 1 - row) * static_cast<size_t>(w) * 4];
        uint8_t* dst = &rgb[static_cast<size_t>(row) * static_cast<size_t>(w) * 3];
        for (int x = 0; x < w; ++x) {
            dst[3 * x + 0] = src[4 * x + 0];
            dst[3 * x + 1] = src[4 * x + 1];
            dst[3 * x + 2] = src[4 * x + 2];
        }
    }

    magick::ensureStarted();
    Magick::Blob blob;
    EncodeLimits limits;
    if (!EncodeLimits::fits(static_cast<size_t>(w), static_cast<size_t>(h))) {
        error = tooLargeMessage(w, h);
        return false;
    }
    try {
        Magick::Image image(static_cast<size_t>(w), static_cast<size_t>(h), "RGB",
                            Magick::CharPixel, rgb.data());
        image.magick("PNG");
        image.write(&blob);
    } catch (const std::exception& e) {
        error = "cannot encode the " + std::to_string(w) + "x" + std::to_string(h) +
                " picture as PNG: " + e.what();
        return false;
    }

    return writeWholeFile(path, blob.data(), blob.length(), "", error);
}

int runOffscreen(const Options& options) {
    // Until the output is written there is nothing to keep or undo: a stop signal ends
    // the run at once, with nothing written. While the files are written it waits.
    StopSignals stop;
    stop.setExitAtOnce(true);
    magick::ensureStarted();
    const int width = options.width.value_or(DEFAULT_WIDTH);
    const int height = options.height.value_or(DEFAULT_HEIGHT);
    const long frames = options.frames.value_or(1);

    // Found out before the frames are spent: a picture too large for ImageMagick.
    bool fits = false;
    {
        EncodeLimits limits;
        fits = EncodeLimits::fits(static_cast<size_t>(width), static_cast<size_t>(height));
    }
    if (!fits) {
        reportError(tooLargeMessage(width, height));
        return 1;
    }

    std::string error;
    const Rect frame{0.0, 0.0, double(width), double(height)};
    std::unique_ptr<Zorvan> view = makeView(OsMesaView::factory(), frame, options.preview, options, error);
    if (!view) {
        reportError(error);
        return 1;
    }
    auto* gl = dynamic_cast<OsMesaView*>(view->_view);
    if (!gl) {
        reportError("the offscreen view has no offscreen buffer");
        return 1;
    }

    view->setFrameSize(Size{double(width), double(height)});
    view->startAnimation();
    for (long i = 0; i < frames; ++i) view->animateOneFrame();

    stop.setExitAtOnce(false);
    if (!writeFramePng(*gl, options.renderPath, error)) {
        reportError(error);
        return 1;
    }
    if (options.dumpPath && !writeMoteDump(*view, *options.dumpPath, error)) {
        reportError(error);
        return 1;
    }
    return 0;
}

}  // namespace zorvan::host
