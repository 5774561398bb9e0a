// Recording backend of the frame driver (--record): the offscreen backend (--render's
// one screen on an offscreen EGL framebuffer, frames back to back, no display), with
// every frame read back and written to a video instead of the last one to a picture.
// Implements: the frame rate of the views or of --delay, a stop signal ending the run
// between two frames with the frames so far in the video, a note where the format
// changes the size or keeps fewer frames.
// Does not implement: what the offscreen backend does not (events, pacing, several
// screens), the mote dump (the driver writes it after the video).
#include "host/record/RecordBackend.h"

#include "host/driver/ErrorLine.h"
#include "host/record/VideoFile.h"

#include "platform/gl/OffscreenView.h"

#include <cmath>
#include <cstdio>
#include <numeric>

namespace zorvan::host {

// host/backends/offscreen/.
std::unique_ptr<WindowSystem> makeOffscreenBackend(const Options& options);

namespace {

// Frames a second as a fraction: 1000000 / --delay, or a whole number for the views'
// interval where it is one (1/60 s: 60), else to the microsecond.
VideoShape rateOf(double interval, std::optional<long> delayMicros) {
    VideoShape shape;
    const double perSecond = 1.0 / interval;
    long num = 1000000, den = std::max(delayMicros.value_or(std::lround(interval * 1e6)), 1L);
    if (!delayMicros && std::abs(perSecond - std::round(perSecond)) < 1e-6) {
        num = std::lround(perSecond);
        den = 1;
    }
    const long common = std::gcd(num, den);
    shape.rateNum = int(num / common);
    shape.rateDen = int(den / common);
    return shape;
}

std::string sizeText(int width, int height) { return std::to_string(width) + "x" + std::to_string(height); }

class RecordBackend : public WindowSystem {
public:
    explicit RecordBackend(const Options& options) : options_(options), offscreen_(makeOffscreenBackend(options)) {}

    // The offscreen screen, its GL view kept in sight for the frames' pixels.
    std::vector<ScreenSpec> screens() override {
        std::vector<ScreenSpec> screens = offscreen_->screens();
        for (ScreenSpec& screen : screens)
            screen.glView = [this, make = std::move(screen.glView)](Rect frame, const OpenGLPixelFormat& format) {
                OpenGLView* view = make(frame, format);
                gl_ = static_cast<OffscreenView*>(view);
                return view;
            };
        return screens;
    }
    bool preview() const override { return offscreen_->preview(); }
    bool paced() const override { return false; }
    bool stopsAtOnce() const override { return false; }  // the frames so far are kept
    EndReason poll() override { return offscreen_->poll(); }
    void wait(std::optional<Clock::time_point> deadline) override { offscreen_->wait(deadline); }

    bool framesBegin(double interval) override {
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
        interval_ = interval;
        if (video_->width() != shape.width || video_->height() != shape.height)
            reportError("warning: " + std::string(format.codec) + " needs even sides: the " +
                        sizeText(shape.width, shape.height) + " frames are recorded as " +
                        sizeText(video_->width(), video_->height()) + ", less their last odd column or row");
        if (const int every = video_->keepEvery(); every > 1) {
            char rate[32];
            std::snprintf(rate, sizeof rate, "%g", double(shape.rateNum) / shape.rateDen / every);
            reportError("warning: " + std::string(format.codec) + " plays at most " + std::to_string(format.maxRate) +
                        " frames a second: 1 frame in " + std::to_string(every) + " is kept, " + rate + " a second");
        }
        return true;
    }

    bool frameDrawn() override {
        std::string error;
        if (video_->add(gl_->pixels().data(), error)) return true;
        reportError(error);
        video_.reset();  // and its file
        return false;
    }

    // The video of the frames drawn: all that were asked for, or those before a stop
    // signal. A failed recording is gone already.
    bool writeOutput(EndReason why) override {
        std::unique_ptr<VideoFile> video = std::move(video_);
        if (!video) return why == EndReason::Signal;  // stopped before the recording began
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

    int end(EndReason why) override {
        video_.reset();
        gl_ = nullptr;
        return offscreen_->end(why);
    }

private:
    const Options& options_;
    std::unique_ptr<WindowSystem> offscreen_;
    OffscreenView* gl_ = nullptr;       // the offscreen backend's, once the view asked for it
    std::unique_ptr<VideoFile> video_;  // from the first frame to the last
    double interval_ = 0.0;
};

}  // namespace

std::unique_ptr<WindowSystem> makeRecordBackend(const Options& options) {
    return std::make_unique<RecordBackend>(options);
}

}  // namespace zorvan::host
