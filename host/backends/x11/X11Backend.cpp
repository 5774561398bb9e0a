// X11 backend of the frame driver: a top-level window of its own, one borderless
// window per monitor (--fullscreen), or a window that a screen-saver daemon (--root,
// with XSCREENSAVER_WINDOW) or a settings program (--window-id) hands over; each window
// is a screen with a GLX view.
// Implements: the monitor frames of the views, the gamma fade around a full-screen run
// with its grabs and blank pointer, the ends of a run (a key, button or motion in full
// screen; Esc, q or the window's close in a window; a handed-over window destroyed;
// the display lost), window sizes followed, each window's pixels per point (--scale, or
// 2 beyond 2560 pixels), the server's "fixed" font for the --fps text, and rest: a
// window that is unmapped (iconified, under a window manager) or fully covered gets no
// frames until part of it shows again, its view kept as it was; with --span, every
// monitor's window at one scale, their GLX contexts sharing their objects.
// Does not implement: following monitors that come or go during a run, more than the
// display's default screen, drawing (the views do, on the GLX views it keeps), rest for
// a window hidden some other way: under a compositing manager (the server reports
// redirected windows unobscured), minimised but kept mapped, or a handed-over window
// whose parent is unmapped (no event tells it).
#include "host/backends/x11/GammaFade.h"
#include "host/backends/x11/RandrMonitors.h"
#include "host/cli/Options.h"
#include "host/driver/ErrorLine.h"
#include "host/driver/StopSignals.h"
#include "host/driver/WindowSystem.h"

#include "platform/gl/GlxView.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zorvan::host {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int DEFAULT_WIDTH = 1280;
constexpr int DEFAULT_HEIGHT = 720;
// The depth buffer the view's pixel format asks for; our own windows' visual must have it.
constexpr int DEPTH_SIZE = 16;
// Pointer motion beyond this many pixels ends a full-screen run.
constexpr int MOTION_SLACK = 10;
constexpr auto FADE_TIME = std::chrono::milliseconds(1000);
// Windows with a side beyond this many pixels draw two pixels a point by default.
constexpr int HIGH_DENSITY_SIDE = 2560;
const char TITLE[] = "Zorvan";

// The first X error of the run. Errors are not fatal: the loop looks at them between
// frames (a handed-over window destroyed under us shows up as one).
bool xErrorSeen = false;
XErrorEvent xError;

int onXError(Display*, XErrorEvent* event) {
    if (!xErrorSeen) {
        xErrorSeen = true;
        xError = *event;
    }
    return 0;
}

// The connection is gone: nothing can be drawn or restored any more.
int onXIOError(Display*) {
    reportError("lost the connection to the X display");
    _exit(1);
}

void setTitle(Display* display, Window window) {
    XStoreName(display, window, TITLE);
    const Atom netWmName = XInternAtom(display, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    XChangeProperty(display, window, netWmName, utf8, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(TITLE), int(sizeof TITLE - 1));
    // The process that owns the window, for window managers and tests.
    const Atom netWmPid = XInternAtom(display, "_NET_WM_PID", False);
    const long pid = static_cast<long>(getpid());
    XChangeProperty(display, window, netWmPid, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&pid), 1);
    XClassHint hint;
    hint.res_name = const_cast<char*>("zorvan");
    hint.res_class = const_cast<char*>(TITLE);
    XSetClassHint(display, window, &hint);
}

// A pointer that shows nothing, for the full-screen windows.
Cursor blankCursor(Display* display, Window window) {
    const char empty[1] = {0};
    Pixmap blank = XCreateBitmapFromData(display, window, empty, 1, 1);
    if (!blank) return 0;
    XColor black;
    std::memset(&black, 0, sizeof black);
    Cursor cursor = XCreatePixmapCursor(display, blank, blank, &black, &black, 0, 0);
    XFreePixmap(display, blank);
    return cursor;
}

std::string hexId(unsigned long id) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%lx", id);
    return text;
}

// Grabs the keyboard and the pointer for a full-screen run, as a screen saver does; a
// grab that another client holds is left to it (input then reaches the windows only
// when it would anyway).
void grabInput(Display* display, Window window, Cursor cursor) {
    XGrabKeyboard(display, window, False, GrabModeAsync, GrabModeAsync, CurrentTime);
    XGrabPointer(display, window, False, ButtonPressMask | PointerMotionMask, GrabModeAsync,
                 GrabModeAsync, None, cursor, CurrentTime);
    XSetInputFocus(display, window, RevertToParent, CurrentTime);
}

class X11Backend : public WindowSystem {
public:
    X11Backend(const Options& options, StopSignals& stop) : options_(options), stop_(stop) {}
    X11Backend(const X11Backend&) = delete;
    X11Backend& operator=(const X11Backend&) = delete;

    ~X11Backend() override {
        if (!display_) return;
        destroyWindows();
        gamma_.reset();
        if (cursor_) XFreeCursor(display_, cursor_);
        if (colormap_) XFreeColormap(display_, colormap_);
#if defined(__SANITIZE_ADDRESS__)
        // Closing the connection unloads the GL driver, and the leak checker can then no
        // longer name (nor so suppress) the few bytes Mesa keeps for a context's life:
        // under the sanitizers the connection closes with the process instead.
        XSync(display_, False);
#else
        XCloseDisplay(display_);
#endif
    }

    std::vector<ScreenSpec> screens() override {
        display_ = XOpenDisplay(nullptr);
        if (!display_) {
            reportError(noDisplayMessage("to open a window on") + "; use --render FILE to render without a display");
            failure_ = 2;
            return {};
        }
        xErrorSeen = false;
        XSetErrorHandler(onXError);
        XSetIOErrorHandler(onXIOError);
        monitors_ = queryMonitors(display_);
        failure_ = handedOver() ? takeWindow() : makeOwnWindows();
        if (failure_ != 0) return {};

        // One scene over every monitor (--span) is in one space of points: every window
        // takes the scale of the largest.
        double spanScale = 1.0;
        for (const Window& w : windows_) spanScale = std::max(spanScale, scaleFor(w.width, w.height));
        std::vector<ScreenSpec> specs;
        for (size_t i = 0; i < windows_.size(); ++i) {
            Window& w = windows_[i];
            w.scale = options_.span ? spanScale : scaleFor(w.width, w.height);
            const Rect frame = frameOf(w);
            // The window's GLX view, kept with the window; with --span its context shares
            // the first one's objects (the --fps text's glyphs), their visual being the same.
            auto makeGL = [this, i](Rect, const OpenGLPixelFormat& format) -> OpenGLView* {
                Window& w = windows_[i];
                const GlxView* sharing = nullptr;
                for (const Window& other : windows_)
                    if (options_.span && other.gl && !sharing) sharing = other.gl.get();
                w.gl = GlxView::create(display_, w.id, format, w.scale, sharing);
                return w.gl.get();
            };
            specs.push_back({Rect{std::trunc(frame.x / w.scale), std::trunc(frame.y / w.scale),
                                  std::trunc(w.width / w.scale), std::trunc(w.height / w.scale)},
                             pointsOf(w), makeGL, w.scale, display_, " on window " + hexId(w.id)});
        }
        return specs;
    }
    int failureStatus() const override { return failure_; }
    bool preview() const override { return options_.preview || options_.target == Options::Target::WindowId; }

    // A full-screen run fades the displays to black before the first frame, where the
    // views ask for it and the server keeps gamma ramps.
    bool beforeStart(bool fade) override {
        if (!options_.fullscreen || !fade) return true;
        gamma_ = std::make_unique<GammaFade>(display_);
        return gamma_->fade(1.0, 0.0, FADE_TIME, stop_);
    }

    void afterStart() override {
        if (!handedOver()) {
            for (const Window& w : windows_) XMapRaised(display_, w.id);
            if (options_.fullscreen) {
                XSync(display_, False);
                grabInput(display_, windows_.front().id, cursor_);
                ::Window rootReturn = 0, childReturn = 0;
                int wx = 0, wy = 0;
                unsigned int buttons = 0;
                XQueryPointer(display_, windows_.front().id, &rootReturn, &childReturn, &pointerX_, &pointerY_,
                              &wx, &wy, &buttons);
            }
        }
        // The windows are black now: the displays can show them at full brightness.
        if (gamma_) gamma_->restore();
    }

    EndReason poll() override {
        EndReason why = EndReason::NotYet;
        while (why == EndReason::NotYet && XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
            why = handle(event);
        }
        if (xErrorSeen) {
            // Drawing on a handed-over window that was just destroyed fails before its
            // DestroyNotify arrives: that is the end of the run, not a fault.
            for (const Window& w : windows_)
                if (!w.owned && xError.resourceid == w.id) why = EndReason::WindowGone;
            if (why != EndReason::WindowGone) {
                char text[256] = "";
                XGetErrorText(display_, xError.error_code, text, sizeof text);
                reportError(std::string("X error: ") + text + " (request " +
                            std::to_string(int(xError.request_code)) + ")");
                return EndReason::Failed;
            }
        }
        // A server that shuts down destroys every window before it drops its clients:
        // one round trip tells a window destroyed by its owner (the run is over) from a
        // display that is going away (the I/O error handler reports that).
        if (why == EndReason::WindowGone) XSync(display_, False);
        return why;
    }

    // Sizes are gathered over the queued events, so a drag resizes once per turn. A
    // window that crosses the size where its scale changes is seeded at its new scale.
    std::optional<Resize> takeResize(size_t i) override {
        Window& w = windows_[i];
        if (w.pendingWidth == w.width && w.pendingHeight == w.height) return std::nullopt;
        w.width = w.pendingWidth;
        w.height = w.pendingHeight;
        w.scale = scaleFor(w.width, w.height);
        return Resize{pointsOf(w), w.scale};
    }

    bool visible(size_t i) const override { return windows_[i].mapped && !windows_[i].covered; }

    // Sleeps in poll on the X connection and the signal pipe.
    void wait(std::optional<Clock::time_point> deadline) override {
        // GL and X calls may have read events into Xlib's queue, where poll on the
        // socket cannot see them: those come first (this also flushes our requests).
        if (XEventsQueued(display_, QueuedAfterFlush) > 0) return;
        stop_.waitForInput(ConnectionNumber(display_), deadline);
    }

    int end(EndReason why) override {
        if (why == EndReason::Failed) return 1;
        // The displays fade back in after the last frame, unless a signal asks for a
        // prompt end (the gamma is then put back at once).
        const bool fadeBack = gamma_ && gamma_->available() && !stop_.requested();
        if (fadeBack) gamma_->set(0.0);
        if (!handedOver()) {
            XUngrabPointer(display_, CurrentTime);
            XUngrabKeyboard(display_, CurrentTime);
        }
        destroyWindows();
        if (fadeBack) gamma_->fade(0.0, 1.0, FADE_TIME, stop_);
        return 0;
    }

private:
    // One window to draw on.
    struct Window {
        ::Window id = 0;
        bool owned = false;  // made by us (else handed over: never changed or destroyed)
        int width = 0, height = 0;
        int pendingWidth = 0, pendingHeight = 0;
        bool mapped = false;
        // Fully covered by other windows. The server reports the state anew whenever
        // the window becomes viewable, so an unmap leaves it as it was.
        bool covered = false;
        double scale = 1.0;  // pixels per point
        std::unique_ptr<GlxView> gl;  // its view's, once asked for
    };

    bool handedOver() const { return options_.target != Options::Target::OwnWindow; }

    // --scale, else 2 for a window wider or taller than 2560 pixels (a preview: 1).
    double scaleFor(int width, int height) const {
        if (options_.scale) return *options_.scale;
        return !preview() && (width > HIGH_DENSITY_SIDE || height > HIGH_DENSITY_SIDE) ? 2 : 1;
    }
    static Size pointsOf(const Window& w) { return Size{std::trunc(w.width / w.scale), std::trunc(w.height / w.scale)}; }

    Window* find(::Window id) {
        for (Window& w : windows_)
            if (w.id == id) return &w;
        return nullptr;
    }

    EndReason handle(const XEvent& event) {
        Window* w = find(event.xany.window);
        switch (event.type) {
        case ConfigureNotify:
            if (w && event.xconfigure.window == w->id) {
                w->pendingWidth = event.xconfigure.width;
                w->pendingHeight = event.xconfigure.height;
            }
            break;
        case MapNotify:
            if (w && event.xmap.window == w->id) w->mapped = true;
            break;
        case UnmapNotify:
            // Nothing to see: no frames for it until mapped again.
            if (w && event.xunmap.window == w->id) w->mapped = false;
            break;
        case VisibilityNotify:
            // Fully covered: no frames for it until some of it shows again.
            if (w && event.xvisibility.window == w->id)
                w->covered = event.xvisibility.state == VisibilityFullyObscured;
            break;
        case DestroyNotify:
            if (w && event.xdestroywindow.window == w->id) {
                w->id = 0;  // not ours to destroy any more
                return EndReason::WindowGone;
            }
            break;
        case KeyPress: {
            const KeySym key = XLookupKeysym(const_cast<XKeyEvent*>(&event.xkey), 0);
            if (options_.fullscreen || key == XK_Escape || key == XK_q || key == XK_Q) return EndReason::Input;
            break;
        }
        case ButtonPress:
            if (options_.fullscreen) return EndReason::Input;
            break;
        case MotionNotify:
            if (options_.fullscreen && (std::abs(event.xmotion.x_root - pointerX_) > MOTION_SLACK ||
                                        std::abs(event.xmotion.y_root - pointerY_) > MOTION_SLACK))
                return EndReason::Input;
            break;
        case ClientMessage:
            if (event.xclient.message_type == XInternAtom(display_, "WM_PROTOCOLS", False) &&
                static_cast<Atom>(event.xclient.data.l[0]) == XInternAtom(display_, "WM_DELETE_WINDOW", False))
                return EndReason::Closed;
            break;
        default:
            break;
        }
        return EndReason::NotYet;
    }

    // Our own windows on the GL visual: one top-level window, or one borderless window
    // per monitor. Returns 0 or the exit status of a failure.
    int makeOwnWindows() {
        std::vector<PixelRect> areas;
        if (options_.fullscreen) {
            for (const Monitor& m : monitors_) areas.push_back(m.area);
        } else {
            areas.push_back({0, 0, options_.width.value_or(DEFAULT_WIDTH), options_.height.value_or(DEFAULT_HEIGHT)});
        }
        for (const PixelRect& area : areas) {
            GlxView::WindowRequest request;
            request.parent = DefaultRootWindow(display_);
            request.x = area.x;
            request.y = area.y;
            request.width = area.width;
            request.height = area.height;
            request.depthSize = DEPTH_SIZE;
            request.eventMask = StructureNotifyMask | VisibilityChangeMask | ExposureMask | KeyPressMask;
            if (options_.fullscreen) {
                // Above every other window and out of the window manager's hands, as a
                // screen saver's windows are; input comes through the grabs.
                request.overrideRedirect = true;
                request.eventMask |= ButtonPressMask | PointerMotionMask;
            }
            Window w;
            w.owned = true;
            w.id = GlxView::createWindow(display_, request, colormap_);
            if (!w.id) {
                reportError("the X display offers no double-buffered OpenGL visual");
                return 1;
            }
            w.width = w.pendingWidth = area.width;
            w.height = w.pendingHeight = area.height;
            setTitle(display_, w.id);
            Atom wmDelete = XInternAtom(display_, "WM_DELETE_WINDOW", False);
            XSetWMProtocols(display_, w.id, &wmDelete, 1);
            if (options_.fullscreen) {
                if (!cursor_) cursor_ = blankCursor(display_, w.id);
                if (cursor_) XDefineCursor(display_, w.id, cursor_);
            }
            windows_.push_back(std::move(w));
        }
        return 0;
    }

    // The window of --root or --window-id. Returns 0 or the exit status of a failure.
    int takeWindow() {
        ::Window id = RootWindow(display_, DefaultScreen(display_));
        std::string named = "the root window";
        if (options_.target == Options::Target::WindowId) {
            id = options_.windowId;
            named = "window " + hexId(id);
        } else if (const char* env = std::getenv("XSCREENSAVER_WINDOW"); env && *env) {
            auto parsed = parseWindowId(env);
            if (!parsed) {
                reportError(std::string("bad XSCREENSAVER_WINDOW '") + env + "': want a window id");
                return 2;
            }
            id = *parsed;
            named = "window " + hexId(id) + " (XSCREENSAVER_WINDOW)";
        }
        XSync(display_, False);
        xErrorSeen = false;
        XWindowAttributes attributes;
        std::memset(&attributes, 0, sizeof attributes);
        // Its destruction, size, mapping and visibility changes reach us; everything else
        // stays the owner's (each client selects its own events on a window).
        XSelectInput(display_, id, StructureNotifyMask | VisibilityChangeMask);
        const bool exists = XGetWindowAttributes(display_, id, &attributes) != 0;
        XSync(display_, False);
        if (!exists || xErrorSeen) {
            reportError("no " + named + " on the display");
            return 2;
        }
        Window w;
        w.id = id;
        w.width = w.pendingWidth = attributes.width;
        w.height = w.pendingHeight = attributes.height;
        w.mapped = attributes.map_state != IsUnmapped;
        windows_.push_back(std::move(w));
        return 0;
    }

    // The frame of a window's view: the monitor's rectangle (or the window's own, for our
    // top-level window) with the origin at the primary monitor's lower-left corner.
    Rect frameOf(const Window& w) const {
        if (w.owned && !options_.fullscreen) return Rect{0.0, 0.0, double(w.width), double(w.height)};
        int x = 0, y = 0;
        ::Window child = 0;
        XTranslateCoordinates(display_, w.id, RootWindow(display_, DefaultScreen(display_)), 0, 0, &x, &y, &child);
        const Rect frame = host::frameOf(screenAreaOf(PixelRect{x, y, w.width, w.height}, monitors_), monitors_);
        // Placed as its monitor, sized as its window.
        return Rect{frame.x, frame.y, double(w.width), double(w.height)};
    }

    // The GL contexts go before their windows.
    void destroyWindows() {
        for (Window& w : windows_) {
            w.gl.reset();
            if (w.owned && w.id) XDestroyWindow(display_, w.id);
        }
        windows_.clear();
        XSync(display_, False);
    }

    const Options& options_;
    StopSignals& stop_;
    Display* display_ = nullptr;
    std::vector<Monitor> monitors_;
    std::vector<Window> windows_;
    Colormap colormap_ = 0;
    Cursor cursor_ = 0;
    std::unique_ptr<GammaFade> gamma_;
    int failure_ = 1;
    int pointerX_ = 0, pointerY_ = 0;
};

}  // namespace

std::unique_ptr<WindowSystem> makeX11Backend(const Options& options, StopSignals& stop) {
    return std::make_unique<X11Backend>(options, stop);
}

}  // namespace zorvan::host
