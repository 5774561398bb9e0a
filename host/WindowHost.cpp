// The saver on X11 windows: a top-level window of its own, one borderless window per
// monitor (--fullscreen), or a window that a screen-saver daemon (--root, with
// XSCREENSAVER_WINDOW) or a settings program (--window-id) hands over. Each window gets
// its own view and GLX context; one frame timer and event loop drives them all.
// Implements: the monitor frames of the views, the gamma fade around a full-screen
// run, the end of a run on SIGTERM / SIGINT / SIGHUP, on a handed-over window's
// destruction and on the user's input in full screen, --fps and --delay.
// Does not implement: following monitors that come or go during a run (a window that
// changes size is followed), more than the display's default screen.
#include "host/FpsOverlay.h"
#include "host/GammaFade.h"
#include "host/Host.h"
#include "host/Monitors.h"
#include "host/StopSignals.h"

#include "platform/gl/GlxView.h"
#include "saver/Zorvan.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <poll.h>
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

// One window and the view on it.
struct Screen {
    Window window = 0;
    bool owned = false;  // made by us (else handed over: never changed or destroyed)
    std::unique_ptr<Zorvan> view;
    std::unique_ptr<FpsText> fpsText;
    int width = 0, height = 0;
    int pendingWidth = 0, pendingHeight = 0;
    bool mapped = false;
};

// The X resources of the run, released in reverse order of creation: the GL contexts
// before their windows, the gamma before the connection.
struct Session {
    Display* display = nullptr;
    Colormap colormap = 0;
    Cursor cursor = 0;
    std::vector<Screen> screens;
    std::unique_ptr<GammaFade> gamma;

    Session() = default;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session() {
        if (!display) return;
        destroyScreens();
        gamma.reset();
        if (cursor) XFreeCursor(display, cursor);
        if (colormap) XFreeColormap(display, colormap);
#if defined(__SANITIZE_ADDRESS__)
        // Closing the connection unloads the GL driver, and the leak checker can then no
        // longer name (nor so suppress) the few bytes Mesa keeps for a context's life:
        // under the sanitizers the connection closes with the process instead.
        XSync(display, False);
#else
        XCloseDisplay(display);
#endif
    }
    void destroyScreens() {
        for (Screen& s : screens) {
            s.view.reset();
            if (s.owned && s.window) XDestroyWindow(display, s.window);
            s.window = 0;
        }
        screens.clear();
        XSync(display, False);
    }
    Screen* find(Window w) {
        for (Screen& s : screens)
            if (s.window == w) return &s;
        return nullptr;
    }
};

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

timespec toTimespec(Clock::duration d) {
    if (d < Clock::duration::zero()) d = Clock::duration::zero();
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(d).count();
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(ns / 1000000000);
    ts.tv_nsec = static_cast<long>(ns % 1000000000);
    return ts;
}

std::string hexId(unsigned long id) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%lx", id);
    return text;
}

// Makes our own windows, on a double-buffered GL visual: one top-level window, or one
// borderless window per monitor. Returns 0 or the exit status of a failure.
int makeOwnWindows(Session& session, const Options& options,
                   const std::vector<Monitor>& monitors) {
    Display* display = session.display;
    const int screen = DefaultScreen(display);
    const Window root = RootWindow(display, screen);
    const GlxView::VisualChoice choice = GlxView::chooseVisual(display, screen, DEPTH_SIZE);
    XVisualInfo wanted;
    std::memset(&wanted, 0, sizeof wanted);
    wanted.visualid = choice.visualId;
    int count = 0;
    XVisualInfo* visual =
        choice.visualId ? XGetVisualInfo(display, VisualIDMask, &wanted, &count) : nullptr;
    if (!visual) {
        reportError("the X display offers no double-buffered OpenGL visual");
        return 1;
    }
    session.colormap = XCreateColormap(display, root, visual->visual, AllocNone);

    std::vector<PixelRect> areas;
    if (options.fullscreen) {
        for (const Monitor& m : monitors) areas.push_back(m.area);
    } else {
        areas.push_back({0, 0, options.width.value_or(DEFAULT_WIDTH),
                         options.height.value_or(DEFAULT_HEIGHT)});
    }
    for (const PixelRect& area : areas) {
        XSetWindowAttributes attributes;
        std::memset(&attributes, 0, sizeof attributes);
        attributes.colormap = session.colormap;
        // Black where no frame has been drawn yet (before the first frame, after an expose).
        attributes.background_pixel = 0;
        attributes.border_pixel = 0;
        attributes.event_mask = StructureNotifyMask | ExposureMask | KeyPressMask;
        unsigned long mask = CWColormap | CWBackPixel | CWBorderPixel | CWEventMask;
        if (options.fullscreen) {
            // Above every other window and out of the window manager's hands, as a
            // screen saver's windows are; input comes through the grabs.
            attributes.override_redirect = True;
            attributes.event_mask |= ButtonPressMask | PointerMotionMask;
            mask |= CWOverrideRedirect;
        }
        Screen s;
        s.owned = true;
        s.window = XCreateWindow(display, root, area.x, area.y, unsigned(area.width),
                                 unsigned(area.height), 0, visual->depth, InputOutput,
                                 visual->visual, mask, &attributes);
        s.width = s.pendingWidth = area.width;
        s.height = s.pendingHeight = area.height;
        setTitle(display, s.window);
        Atom wmDelete = XInternAtom(display, "WM_DELETE_WINDOW", False);
        XSetWMProtocols(display, s.window, &wmDelete, 1);
        if (options.fullscreen) {
            if (!session.cursor) session.cursor = blankCursor(display, s.window);
            if (session.cursor) XDefineCursor(display, s.window, session.cursor);
        }
        session.screens.push_back(std::move(s));
    }
    XFree(visual);
    return 0;
}

// Takes over the window of --root or --window-id. Returns 0 or the exit status of a
// failure.
int takeWindow(Session& session, const Options& options) {
    Display* display = session.display;
    Window window = RootWindow(display, DefaultScreen(display));
    std::string named = "the root window";
    if (options.target == Options::Target::WindowId) {
        window = options.windowId;
        named = "window " + hexId(window);
    } else if (const char* env = std::getenv("XSCREENSAVER_WINDOW"); env && *env) {
        auto id = parseWindowId(env);
        if (!id) {
            reportError(std::string("bad XSCREENSAVER_WINDOW '") + env + "': want a window id");
            return 2;
        }
        window = *id;
        named = "window " + hexId(window) + " (XSCREENSAVER_WINDOW)";
    }
    XSync(display, False);
    xErrorSeen = false;
    XWindowAttributes attributes;
    std::memset(&attributes, 0, sizeof attributes);
    // Its destruction and size changes reach us; everything else stays the owner's.
    XSelectInput(display, window, StructureNotifyMask);
    const bool exists = XGetWindowAttributes(display, window, &attributes) != 0;
    XSync(display, False);
    if (!exists || xErrorSeen) {
        reportError("no " + named + " on the display");
        return 2;
    }
    Screen s;
    s.window = window;
    s.width = s.pendingWidth = attributes.width;
    s.height = s.pendingHeight = attributes.height;
    s.mapped = attributes.map_state != IsUnmapped;
    session.screens.push_back(std::move(s));
    return 0;
}

// The frame of a screen's view: the monitor's rectangle (or the window's own, for our
// top-level window) with the origin at the primary monitor's lower-left corner.
Rect frameOfScreen(Display* display, const Screen& s, const Options& options,
                   const std::vector<Monitor>& monitors) {
    if (s.owned && !options.fullscreen) return Rect{0.0, 0.0, double(s.width), double(s.height)};
    int x = 0, y = 0;
    Window child = 0;
    XTranslateCoordinates(display, s.window, RootWindow(display, DefaultScreen(display)), 0, 0,
                          &x, &y, &child);
    const PixelRect window{x, y, s.width, s.height};
    const Rect frame = frameOf(screenAreaOf(window, monitors), monitors);
    // Placed as its monitor, sized as its window.
    return Rect{frame.x, frame.y, double(s.width), double(s.height)};
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

}  // namespace

int runWindow(const Options& options) {
    // Until the views are made (the logo decoding among it) nothing needs undoing: a stop
    // signal ends the process at once rather than after the start-up.
    StopSignals stop;
    stop.setExitAtOnce(true);
    Session session;
    session.display = XOpenDisplay(nullptr);
    if (!session.display) {
        const char* name = std::getenv("DISPLAY");
        reportError(std::string("no X display to open a window on") +
                    (name && *name ? std::string(" (DISPLAY=") + name + ")" : " (DISPLAY is not set)") +
                    "; use --render FILE to render without a display");
        return 2;
    }
    Display* display = session.display;
    xErrorSeen = false;
    XSetErrorHandler(onXError);
    XSetIOErrorHandler(onXIOError);

    const std::vector<Monitor> monitors = queryMonitors(display);
    const bool handedOver = options.target != Options::Target::OwnWindow;
    const int status = handedOver ? takeWindow(session, options)
                                  : makeOwnWindows(session, options, monitors);
    if (status != 0) return status;

    // The views, each on its window's own visual.
    const bool preview = options.preview || options.target == Options::Target::WindowId;
    FpsMeter meter;
    for (Screen& s : session.screens) {
        std::string error;
        s.view = makeView(GlxView::factory(display, s.window),
                          frameOfScreen(display, s, options, monitors), preview, options, error);
        if (!s.view) {
            reportError(error + " on window " + hexId(s.window));
            return 1;
        }
        if (options.fps) {
            if (auto* glx = dynamic_cast<GlxView*>(s.view->glView())) {
                s.fpsText = std::make_unique<FpsText>(display);
                glx->setOverlay([&meter, text = s.fpsText.get()] { text->draw(meter.text()); });
            }
        }
        s.view->setFrameSize(Size{double(s.width), double(s.height)});
    }

    stop.setExitAtOnce(false);

    // A full-screen run fades the displays to black before the first frame, as the
    // view's class asks of a host (performGammaFade), where the server keeps gamma ramps.
    const bool fades = options.fullscreen && Zorvan::performGammaFade();
    if (fades) {
        session.gamma = std::make_unique<GammaFade>(display);
        if (!session.gamma->fade(1.0, 0.0, FADE_TIME, stop)) return 0;
    }
    for (Screen& s : session.screens) s.view->startAnimation();
    int pointerX = 0, pointerY = 0;
    if (!handedOver) {
        for (Screen& s : session.screens) XMapRaised(display, s.window);
        if (options.fullscreen) {
            XSync(display, False);
            grabInput(display, session.screens.front().window, session.cursor);
            Window rootReturn = 0, childReturn = 0;
            int wx = 0, wy = 0;
            unsigned int buttons = 0;
            XQueryPointer(display, session.screens.front().window, &rootReturn, &childReturn,
                          &pointerX, &pointerY, &wx, &wy, &buttons);
        }
    }
    // The windows are black now: the displays can show them at full brightness.
    if (session.gamma) session.gamma->restore();

    // Frames at the views' interval (or --delay), on absolute deadlines of a monotonic
    // clock, so the rate does not drift; between frames the loop sleeps in poll on the X
    // connection and the signal pipe.
    double interval = -1.0;
    bool anyDrawing = false;
    for (const Screen& s : session.screens) {
        if (!s.view->draws()) continue;
        anyDrawing = true;
        interval = s.view->animationTimeInterval();
    }
    if (anyDrawing && options.delayMicros) interval = double(*options.delayMicros) / 1e6;
    const bool animates = anyDrawing && std::isfinite(interval) && interval >= 0.0 &&
                          (interval > 0.0 || options.delayMicros);
    // (An hour at most: a longer interval would overflow the clock's arithmetic.)
    const auto period = animates ? std::chrono::duration_cast<Clock::duration>(
                                       std::chrono::duration<double>(std::min(interval, 3600.0)))
                                 : Clock::duration::zero();
    const Atom wmDelete = XInternAtom(display, "WM_DELETE_WINDOW", False);
    const Atom wmProtocols = XInternAtom(display, "WM_PROTOCOLS", False);
    Clock::time_point next = Clock::now();
    long framesDrawn = 0;
    bool running = true, windowGone = false;

    while (running) {
        if (stop.requested()) break;
        if (options.frames && framesDrawn >= *options.frames) break;

        while (running && XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            Screen* s = session.find(event.xany.window);
            switch (event.type) {
            case ConfigureNotify:
                if (s && event.xconfigure.window == s->window) {
                    s->pendingWidth = event.xconfigure.width;
                    s->pendingHeight = event.xconfigure.height;
                }
                break;
            case MapNotify:
                if (s && event.xmap.window == s->window) s->mapped = true;
                break;
            case UnmapNotify:
                // Nothing to see: no frames for it until mapped again.
                if (s && event.xunmap.window == s->window) s->mapped = false;
                break;
            case DestroyNotify:
                if (s && event.xdestroywindow.window == s->window) {
                    s->window = 0;  // not ours to destroy any more
                    windowGone = true;
                    running = false;
                }
                break;
            case KeyPress: {
                const KeySym key = XLookupKeysym(&event.xkey, 0);
                if (options.fullscreen || key == XK_Escape || key == XK_q || key == XK_Q)
                    running = false;
                break;
            }
            case ButtonPress:
                if (options.fullscreen) running = false;
                break;
            case MotionNotify:
                if (options.fullscreen && (std::abs(event.xmotion.x_root - pointerX) > MOTION_SLACK ||
                                           std::abs(event.xmotion.y_root - pointerY) > MOTION_SLACK))
                    running = false;
                break;
            case ClientMessage:
                if (event.xclient.message_type == wmProtocols &&
                    static_cast<Atom>(event.xclient.data.l[0]) == wmDelete)
                    running = false;
                break;
            default:
                break;
            }
        }
        if (xErrorSeen) {
            // Drawing on a handed-over window that was just destroyed fails before its
            // DestroyNotify arrives: that is the end of the run, not a fault.
            for (const Screen& s : session.screens)
                if (!s.owned && xError.resourceid == s.window) windowGone = true;
            if (!windowGone) {
                char text[256] = "";
                XGetErrorText(display, xError.error_code, text, sizeof text);
                reportError(std::string("X error: ") + text + " (request " +
                            std::to_string(int(xError.request_code)) + ")");
                return 1;
            }
            running = false;
        }
        // A server that shuts down destroys every window before it drops its clients:
        // one round trip tells a window destroyed by its owner (the run is over) from a
        // display that is going away (the I/O error handler reports that).
        if (windowGone) XSync(display, False);
        if (!running || stop.requested()) break;

        // A new size re-seeds the swarm and re-applies the GL state at the new start.
        // Sizes are gathered over the queued events so a drag resizes once per turn.
        for (Screen& s : session.screens) {
            if (s.pendingWidth == s.width && s.pendingHeight == s.height) continue;
            s.width = s.pendingWidth;
            s.height = s.pendingHeight;
            s.view->setFrameSize(Size{double(s.width), double(s.height)});
            s.view->startAnimation();
        }

        const bool anyMapped = std::any_of(session.screens.begin(), session.screens.end(),
                                           [](const Screen& s) { return s.mapped; });
        const bool framing = animates && anyMapped;
        if (framing && Clock::now() >= next) {
            if (options.fps) meter.beginFrame();
            for (Screen& s : session.screens)
                if (s.mapped) s.view->animateOneFrame();
            if (options.fps) meter.endFrame();
            ++framesDrawn;
            next += period;
            // After a stall (a slow frame, a stopped process) start afresh rather than
            // run the missed frames back to back.
            const auto now = Clock::now();
            if (next + period < now) next = now + period;
            continue;
        }

        // GL and X calls above may have read events into Xlib's queue, where poll on the
        // socket cannot see them: handle those first (this also flushes our requests).
        if (XEventsQueued(display, QueuedAfterFlush) > 0) continue;
        pollfd fds[2] = {{ConnectionNumber(display), POLLIN, 0}, {stop.fd(), POLLIN, 0}};
        timespec timeout = toTimespec(next - Clock::now());
        ppoll(fds, stop.fd() >= 0 ? 2 : 1, framing ? &timeout : nullptr, nullptr);
    }

    // The displays fade back in after the last frame, unless a signal asks for a
    // prompt end (the gamma is then put back at once).
    const bool fadeBack = session.gamma && session.gamma->available() && !stop.requested();
    if (fadeBack) session.gamma->set(0.0);
    if (!handedOver) {
        XUngrabPointer(display, CurrentTime);
        XUngrabKeyboard(display, CurrentTime);
    }
    session.destroyScreens();
    if (fadeBack) session.gamma->fade(0.0, 1.0, FADE_TIME, stop);
    return 0;
}

}  // namespace zorvan::host
