// --render: the view on an offscreen OSMesa context, a number of frames, and the last
// frame written as a PNG picture. No display is needed.
#include "host/Host.h"
#include "host/MoteDump.h"
#include "host/StopSignals.h"

#include "platform/gl/OsMesaView.h"
#include "saver/Zorvan.h"

#include <string>

namespace zorvan::host {

namespace {

constexpr int DEFAULT_WIDTH = 800;
constexpr int DEFAULT_HEIGHT = 600;

}  // namespace

int runOffscreen(const Options& options) {
    // Until the output is written there is nothing to keep or undo: a stop signal ends
    // the run at once, with nothing written. While the files are written it waits.
    StopSignals stop;
    stop.setExitAtOnce(true);
    const int width = options.width.value_or(DEFAULT_WIDTH);
    const int height = options.height.value_or(DEFAULT_HEIGHT);
    const long frames = options.frames.value_or(1);

    std::string error;
    const Rect frame{0.0, 0.0, double(width), double(height)};
    std::unique_ptr<Zorvan> view = makeView(OsMesaView::factory(), frame, options.preview, options, error);
    if (!view) {
        reportError(error);
        return 1;
    }
    auto* gl = dynamic_cast<OsMesaView*>(view->glView());
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
