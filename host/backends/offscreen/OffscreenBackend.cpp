// Offscreen backend of the frame driver (--render, --record): one screen on an
// offscreen EGL framebuffer at the origin, its frames drawn back to back, and either
// the last one written as a PNG picture or every one written to a video. No display is
// needed.
// Implements: --size (in pixels) and --scale, the default of one frame; for --render a
// stop signal ending the run at once, with nothing written, until the writing starts;
// for --record a stop signal ending the run between two frames with the frames so far
// in the video, and the frame rate of the views or of --delay.
// Does not implement: events of any kind, pacing, several screens, the mote dump (the
// driver writes it after the picture or the video).
#include "host/backends/offscreen/FramePng.h"
#include "host/backends/offscreen/VideoFile.h"
#include "host/cli/Options.h"
#include "host/driver/ErrorLine.h"
#include "host/driver/WindowSystem.h"

#include "platform/gl/OffscreenView.h"

#include <cmath>
#include <cstdio>
#include <memory>
#include <numeric>

namespace zorvan::host {

namespace {

constexpr int DEFAULT_WIDTH = 800;
constexpr int DEFAULT_HEIGHT = 600;

// Frames a second as a fraction: 1000000 / --delay, or a whole number for the views'
// interval where it is one (1/60 s: 60), else to the microsecond.
VideoShape rateOf(double interval, std::optional<long> delayMicros) {
    VideoShape shape;
    const double perSecond = 1.0 / interval;
    long num = 1000000, den = delayMicros.value_or(std::lround(interval * 1e6));
    if (!delayMicros && std::abs(perSecond - std::round(perSecond)) < 1e-6) {
        num = std::lround(perSecond);
        den = 1;
    }
    const long common = std::gcd(num, std::max(den, 1L));
    shape.rateNum = int(num / common);
    shape.rateDen = int(std::max(den, 1L) / common);
    return shape;
}

std::string sizeText(int width, int height) { return std::to_string(width) + "x" + std::to_string(height); }

class OffscreenBackend : public WindowSystem {
public:
    explicit OffscreenBackend(const Options& options) : options_(options) {}

    std::vector<ScreenSpec> screens() override {
        // The picture is the size asked for, in pixels, less what does not make a point.
        const double scale = options_.scale.value_or(1.0);
        const Size points{std::trunc(options_.width.value_or(DEFAULT_WIDTH) / scale),
                          std::trunc(options_.height.value_or(DEFAULT_HEIGHT) / scale)};
        auto makeGL = [this, scale](Rect frame, const OpenGLPixelFormat& format) -> OpenGLView* {
            gl_ = OffscreenView::create(frame, format, scale);
            if (!gl_) reportError(OffscreenView::why());
            return gl_.get();
        };
        return {{Rect{0.0, 0.0, points.width, points.height}, points, makeGL, scale, nullptr, ""}};
    }
    bool preview() const override { return options_.preview; }
    bool paced() const override { return false; }
    std::optional<long> defaultFrames() const override { return 1; }
    bool stopsAtOnce() const override { return !options_.recordPath; }
    EndReason poll() override { return EndReason::NotYet; }
    void wait(std::optional<Clock::time_point>) override {}

    bool framesBegin(double interval) override {
        if (!options_.recordPath) return true;
        if (!gl_) {
            reportError("nothing to record: the view draws nothing");
            return false;
        }
        const VideoFormat& format = *videoFormatFor(*options_.recordPath);
        VideoShape shape = rateOf(interval, options_.delayMicros);
        shape.width = gl_->width();
        shape.height = gl_->height();
        shape.quality = options_.quality;
        std::string error;
        video_ = VideoFile::create(*options_.recordPath, format, shape, error);
        if (!video_) {
            reportError(error);
            return false;
        }
        if (video_->width() != shape.width || video_->height() != shape.height)
            reportError("warning: " + std::string(format.codec) + " needs even sides: the " +
                        sizeText(shape.width, shape.height) + " frames are recorded as " +
                        sizeText(video_->width(), video_->height()) + ", less their last odd column or row");
        if (const int every = video_->keepEvery(); every > 1) {
            char rate[32];
            std::snprintf(rate, sizeof rate, "%g", double(shape.rateNum) / shape.rateDen / every);
            reportError("warning: " + std::string(format.codec) + " plays at most " + std::to_string(format.maxRate) +
                        " frames a second: every " + std::to_string(every) + (every == 2 ? "nd" : every == 3 ? "rd" : "th") +
                        " frame is kept, " + rate + " a second");
        }
        interval_ = interval;
        return true;
    }

    bool frameDrawn() override {
        if (!video_) return true;
        std::string error;
        if (video_->add(gl_->pixels().data(), error)) return true;
        reportError(error);
        video_.reset();  // and the file with it
        return false;
    }

    bool writeOutput(EndReason why) override {
        if (options_.recordPath) return finishRecording(why);
        if (why != EndReason::Frames) return true;
        if (!gl_) {
            reportError("the offscreen view has no offscreen buffer");
            return false;
        }
        std::string error;
        if (!writeFramePng(*gl_, options_.renderPath, error)) {
            reportError(error);
            return false;
        }
        return true;
    }

    int end(EndReason) override {
        video_.reset();
        gl_.reset();
        return 0;
    }

private:
    // The video of the frames drawn: all that were asked for, or those before a stop
    // signal. A failed recording is gone already.
    bool finishRecording(EndReason why) {
        if (!video_) return why == EndReason::Signal;
        std::unique_ptr<VideoFile> video = std::move(video_);
        if (why != EndReason::Frames && why != EndReason::Signal) return false;
        const std::string& path = *options_.recordPath;
        if (video->framesGiven() == 0) {
            reportError("stopped before the first frame: nothing recorded, " + path + " not written");
            return true;
        }
        std::string error;
        if (!video->finish(error)) {
            reportError(error);
            return false;
        }
        if (why == EndReason::Signal) {
            char length[32];
            std::snprintf(length, sizeof length, "%.2f", double(video->framesGiven()) * interval_);
            reportError("stopped: " + path + " holds the " + std::to_string(video->framesKept()) + " frames so far (" +
                        length + " s)");
        }
        return true;
    }

    const Options& options_;
    std::unique_ptr<OffscreenView> gl_;  // the one screen's, once its view asked for it
    std::unique_ptr<VideoFile> video_;   // --record's, between the first frame and the last
    double interval_ = 0.0;
};

}  // namespace

std::unique_ptr<WindowSystem> makeOffscreenBackend(const Options& options) {
    return std::make_unique<OffscreenBackend>(options);
}

}  // namespace zorvan::host
