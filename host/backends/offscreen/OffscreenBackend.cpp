// Offscreen backend of the frame driver (--render): one screen on an offscreen EGL
// framebuffer at the origin, its frames drawn back to back, and the last one written as a
// PNG picture. No display is needed.
// Implements: --size (in pixels) and --scale, the default of one frame, and a stop
// signal ending the run at once, with nothing written, until the writing starts.
// Does not implement: events of any kind, pacing, several screens, the mote dump (the
// driver writes it after the picture).
#include "host/backends/offscreen/FramePng.h"
#include "host/cli/Options.h"
#include "host/driver/ErrorLine.h"
#include "host/driver/WindowSystem.h"

#include "platform/gl/OffscreenView.h"

#include <cmath>
#include <memory>

namespace zorvan::host {

namespace {

constexpr int DEFAULT_WIDTH = 800;
constexpr int DEFAULT_HEIGHT = 600;

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
    bool stopsAtOnce() const override { return true; }
    EndReason poll() override { return EndReason::NotYet; }
    void wait(std::optional<Clock::time_point>) override {}

    bool writeOutput(EndReason why) override {
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
        gl_.reset();
        return 0;
    }

private:
    const Options& options_;
    std::unique_ptr<OffscreenView> gl_;  // the one screen's, once its view asked for it
};

}  // namespace

std::unique_ptr<WindowSystem> makeOffscreenBackend(const Options& options) {
    return std::make_unique<OffscreenBackend>(options);
}

}  // namespace zorvan::host
