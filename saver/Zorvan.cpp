// The view's lifecycle: creation, sizing, start and the per-frame step.
#include "saver/Zorvan.h"

#include "platform/controls/OpenPanel.h"
#include "platform/image/Image.h"
#include "platform/prefs/ScreenSaverDefaults.h"

#include <GL/gl.h>

#include <climits>

namespace zorvan {

namespace {

constexpr double FRAME_INTERVAL = 1.0 / 60.0;
constexpr double DECLINED_INTERVAL = -1.0;

const uint32_t PIXEL_FORMAT_ATTRIBUTES[] = {
    NSOpenGLPFAAccelerated, NSOpenGLPFADepthSize, 16, NSOpenGLPFAMinimumPolicy,
    NSOpenGLPFAClosestPolicy, 0};

// A host size truncated toward zero. Sizes that are not a number, negative or beyond
// the range of int give 0 or INT_MAX rather than an undefined conversion.
int truncatedSize(double value) {
    if (!(value > 0.0)) return 0;
    if (value >= static_cast<double>(INT_MAX)) return INT_MAX;
    return static_cast<int>(value);
}

}  // namespace

Zorvan::Zorvan(OpenGLViewFactory makeGLView)
    : ZorvanState(static_cast<SheetClient&>(*this)), makeGLView_(std::move(makeGLView)) {}

Zorvan::~Zorvan() = default;

Zorvan* Zorvan::initWithFrame(Rect frame, bool isPreview) {
    if (!ScreenSaverView::initWithFrame(frame, isPreview)) return nullptr;

    loadPrefs();

    // Under mainScreenOnly only the screen at the origin draws; the preview always does.
    if (!isPreview && settings.mainScreenOnly && !(frame.x == 0.0 && frame.y == 0.0)) {
        drawingEnabled = false;
        setAnimationTimeInterval(DECLINED_INTERVAL);
        return this;
    }

    OpenGLPixelFormat format(PIXEL_FORMAT_ATTRIBUTES);
    drawingEnabled = true;

    OpenGLView* glView = makeGLView_ ? makeGLView_(Rect{0.0, 0.0, frame.width, frame.height}, format) : nullptr;
    if (!glView) {
        // Without a GL view there is nothing to draw on, no field and no motes: the
        // instance behaves as one that declined.
        drawingEnabled = false;
        setAnimationTimeInterval(DECLINED_INTERVAL);
        return this;
    }
    _view = glView;

    _view->makeCurrentContext();
    const int swapInterval = 1;
    _view->setValuesForParameter(&swapInterval, NSOpenGLCPSwapInterval);
    setAutoresizesSubviews(true);
    addSubview(glView);
    setAnimationTimeInterval(FRAME_INTERVAL);

    for (const OpenGLView::Part& part : _view->parts()) {
        if (part.surface != _view) part.surface->makeCurrentContext();  // the view's is current
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        glFlush();
        part.surface->flushBuffer();
    }

    if (settings.logoFile) loadLogoAtStart();

    initVectorField();
    allocateMotes();
    return this;
}

void Zorvan::setFrameSize(Size size) {
    ScreenSaverView::setFrameSize(size);
    if (_view) _view->setFrameSize(size);
    _initedGL = false;
    if (!drawingEnabled) return;

    swarm.setSize(size.width, size.height);
    for (int i = 0; i < liveMotes(); ++i) initMote(i);
    sized_ = true;

    if (picture.logo && settings.colourMode == COLOURS_LOGO) settings.bg = picture.logo[0];
}

void Zorvan::startAnimation() {
    // Every surface starts clear in the background colour (one view may span several,
    // each with a context of its own).
    if (drawingEnabled) {
        for (const OpenGLView::Part& part : _view->parts()) {
            part.surface->lockFocus();
            if (!_initedGL) {
                const Rect f = frame();
                initGL(truncatedSize(f.width), truncatedSize(f.height));
            }
            const Colour bg = settings.bg;
            glClearColor(bg.r, bg.g, bg.b, 1.0f);
            glClear(GL_COLOR_BUFFER_BIT);
            glFlush();
            part.surface->flushBuffer();
            part.surface->unlockFocus();
        }
        _initedGL = true;
    }
    ScreenSaverView::startAnimation();
}

void Zorvan::initGL(int /*width*/, int /*height*/) { initMoteGL(); }

void Zorvan::animateOneFrame() {
    if (!drawingEnabled) return;
    // Until the host has sized the view the motes hold nothing: no step, no drawing.
    if (!sized_) return;

    checkModeChange();
    advanceMotes();
    advanceFields();

    // Each surface shows its part of the one scene, presented as it is drawn.
    for (const OpenGLView::Part& part : _view->parts()) {
        if (!part.seen) continue;
        part.surface->lockFocus();
        drawMotes(part);
        part.surface->unlockFocus();
    }
}

}  // namespace zorvan
