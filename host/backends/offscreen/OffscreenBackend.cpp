// Offscreen backend of the frame driver (--render): one screen on an OSMesa buffer at the
// origin, its frames drawn back to back, and the last one written as a PNG picture
// (with the mote dump when asked). No display is needed.
// Implements: --size (in pixels) and --scale, the default of one frame, and a stop
// signal ending the run at once, with nothing written, until the writing starts.
// Does not implement: events of any kind, pacing, several screens.
#include "host/backends/offscreen/FramePng.h"
#include "host/driver/ErrorLine.h"
#include "host/driver/FrameDriver.h"
#include "host/driver/MoteDump.h"

#include "platform/gl/OsMesaView.h"
#include "saver/Zorvan.h"

#include <cmath>

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
        return {{Rect{0.0, 0.0, points.width, points.height}, points, OsMesaView::factory(scale), ""}};
    }
    bool preview() const override { return options_.preview; }
    bool paced() const override { return false; }
    std::optional<long> defaultFrames() const override { return 1; }
    bool stopsAtOnce() const override { return true; }
    EndReason poll() override { return EndReason::NotYet; }
    void wait(std::optional<Clock::time_point>) override {}

    int end(EndReason why, std::vector<std::unique_ptr<Zorvan>>& views) override {
        if (why != EndReason::Frames) return 0;
        Zorvan& view = *views.front();
        auto* gl = dynamic_cast<OsMesaView*>(view.glView());
        if (!gl) {
            reportError("the offscreen view has no offscreen buffer");
            return 1;
        }
        std::string error;
        if (!writeFramePng(*gl, options_.renderPath, error) ||
            (options_.dumpPath && !writeMoteDump(view, *options_.dumpPath, error))) {
            reportError(error);
            return 1;
        }
        return 0;
    }

private:
    const Options& options_;
};

}  // namespace

std::unique_ptr<WindowSystem> makeOffscreenBackend(const Options& options, StopSignals&) {
    if (options.action != Options::Action::Render) return nullptr;
    return std::make_unique<OffscreenBackend>(options);
}

}  // namespace zorvan::host
