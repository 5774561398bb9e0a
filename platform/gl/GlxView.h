// GL view on an X11 window through GLX: the context draws straight into a window that
// the host owns (the host's top-level window, or one handed over by a screen-saver
// daemon).
// Implements: a double-buffered RGBA context with a depth buffer of at least the pixel
// format's depth size, on the window's own visual; swap interval 1 through
// GLX_EXT_swap_control, GLX_MESA_swap_control or GLX_SGI_swap_control when the server
// offers one; presenting at flushBuffer and at unlockFocus (the module's frame ends in
// glFlush only, so the back buffer is swapped here); the hooks right before each
// present (WindowGLView); contexts that share their objects with another view's.
// Does not implement: making or sizing the window (the host does; a window drawable
// follows its window's size by itself), the accelerated / policy wishes of the pixel
// format (any renderer that meets the visual will do), multisampling, stereo.
#pragma once

#include "platform/gl/WindowGLView.h"

#include <functional>
#include <memory>

typedef struct _XDisplay Display;
typedef unsigned long XID;
typedef struct __GLXcontextRec* GLXContext;

namespace zorvan {

class GlxView : public WindowGLView {
public:
    // The depth in bits of a visual that GlxView can draw on, together with its id;
    // visualId 0 when the screen has none.
    struct VisualChoice {
        unsigned long visualId = 0;
        int depth = 0;
    };
    // A double-buffered RGBA visual with a depth buffer of at least `depthSize` bits on
    // `screen`: the host makes its window with it.
    static VisualChoice chooseVisual(Display* display, int screen, int depthSize);

    // A window that a GlxView can draw on: a child of `parent` on the visual that
    // chooseVisual picks for `depthSize`, black where nothing is drawn yet, selecting
    // `eventMask`, and out of the window manager's hands when `overrideRedirect`.
    struct WindowRequest {
        XID parent = 0;
        int x = 0, y = 0, width = 1, height = 1;
        int depthSize = 16;
        long eventMask = 0;
        bool overrideRedirect = false;
    };
    // The window, or 0 when the display has no such visual. The visual's colormap is made
    // on the first call and kept in `colormap` for the next ones; the caller frees it.
    static XID createWindow(Display* display, const WindowRequest& request, XID& colormap);

    // A view drawing into `window` at `scale` pixels a point, on a context of its own
    // that shares its display lists and textures with `sharing`'s, when given (whose
    // window has the same visual). Null when the window's visual is not a double-buffered
    // RGBA GL visual with enough depth, or GLX makes no context.
    static std::unique_ptr<GlxView> create(Display* display, XID window, const OpenGLPixelFormat& format,
                                           double scale = 1.0, const GlxView* sharing = nullptr);
    // A factory for the saver view that keeps the views it makes (see keepingFactory);
    // every view draws into `window`. The frame is the window's, so it is not used.
    static OpenGLViewFactory factory(Display* display, XID window, double scale = 1.0);

    ~GlxView() override;

    void makeCurrentContext() override;
    void setValuesForParameter(const int* values, int parameter) override;
    void setFrameSize(Size size) override;

    // The swap interval in force, or 0 when no swap-control extension was available.
    int swapInterval() const { return swapInterval_; }
    // How many times the back buffer was presented (for tests and diagnostics).
    unsigned long swapCount() const { return swapCount_; }

private:
    GlxView() = default;
    void swapBuffers() override;

    Display* display_ = nullptr;
    XID window_ = 0;
    GLXContext context_ = nullptr;
    int swapInterval_ = 0;
    unsigned long swapCount_ = 0;
};

}  // namespace zorvan
