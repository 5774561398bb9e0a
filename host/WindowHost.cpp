// The saver in an X11 window: a top-level window on $DISPLAY (or one covering the whole
// screen), a GLX view drawing into it, and the host's frame timer and event loop.
#include "host/Host.h"

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
#include <cstdlib>
#include <cstring>

namespace zorvan::host {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int DEFAULT_WIDTH = 1280;
constexpr int DEFAULT_HEIGHT = 720;
// The depth buffer the view's pixel format asks for; the window's visual must have it.
constexpr int DEPTH_SIZE = 16;
const char TITLE[] = "Zorvan";

// The X resources of the window, released in reverse order of creation.
struct WindowResources {
    Display* display = nullptr;
    Window window = 0;
    Colormap colormap = 0;
    Cursor cursor = 0;

    WindowResources() = default;
    WindowResources(const WindowResources&) = delete;
    WindowResources& operator=(const WindowResources&) = delete;
    ~WindowResources() {
        if (!display) return;
        if (window) XDestroyWindow(display, window);
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

// Asks the window manager for a borderless full-screen window (set before mapping),
// and hides the pointer over it as a screen saver does.
void makeFullscreen(Display* display, WindowResources& res) {
    const Atom state = XInternAtom(display, "_NET_WM_STATE", False);
    const Atom fullscreen = XInternAtom(display, "_NET_WM_STATE_FULLSCREEN", False);
    XChangeProperty(display, res.window, state, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&fullscreen), 1);
    const char empty[1] = {0};
    Pixmap blank = XCreateBitmapFromData(display, res.window, empty, 1, 1);
    if (blank) {
        XColor black;
        std::memset(&black, 0, sizeof black);
        res.cursor = XCreatePixmapCursor(display, blank, blank, &black, &black, 0, 0);
        XFreePixmap(display, blank);
        if (res.cursor) XDefineCursor(display, res.window, res.cursor);
    }
}

timespec toTimespec(Clock::duration d) {
    if (d < Clock::duration::zero()) d = Clock::duration::zero();
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(d).count();
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(ns / 1000000000);
    ts.tv_nsec = static_cast<long>(ns % 1000000000);
    return ts;
}

}  // namespace

int runWindow(const Options& options) {
    WindowResources res;
    res.display = XOpenDisplay(nullptr);
    if (!res.display) {
        const char* name = std::getenv("DISPLAY");
        reportError(std::string("no X display to open a window on") +
                    (name && *name ? std::string(" (DISPLAY=") + name + ")" : " (DISPLAY is not set)") +
                    "; use --render FILE to render without a display");
        return 2;
    }
    Display* display = res.display;
    const int screen = DefaultScreen(display);
    const Window root = RootWindow(display, screen);

    int width = options.width.value_or(DEFAULT_WIDTH);
    int height = options.height.value_or(DEFAULT_HEIGHT);
    if (options.fullscreen) {
        width = DisplayWidth(display, screen);
        height = DisplayHeight(display, screen);
    }

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

    res.colormap = XCreateColormap(display, root, visual->visual, AllocNone);
    XSetWindowAttributes attributes;
    std::memset(&attributes, 0, sizeof attributes);
    attributes.colormap = res.colormap;
    // Black where no frame has been drawn yet (before the first frame, after an expose).
    attributes.background_pixel = 0;
    attributes.border_pixel = 0;
    attributes.event_mask = StructureNotifyMask | ExposureMask | KeyPressMask;
    res.window = XCreateWindow(display, root, 0, 0, unsigned(width), unsigned(height), 0,
                               visual->depth, InputOutput, visual->visual,
                               CWColormap | CWBackPixel | CWBorderPixel | CWEventMask, &attributes);
    XFree(visual);
    const Window window = res.window;

    setTitle(display, window);
    Atom wmDelete = XInternAtom(display, "WM_DELETE_WINDOW", False);
    const Atom wmProtocols = XInternAtom(display, "WM_PROTOCOLS", False);
    XSetWMProtocols(display, window, &wmDelete, 1);
    if (options.fullscreen) makeFullscreen(display, res);

    std::string error;
    std::unique_ptr<Zorvan> view =
        makeView(GlxView::factory(display, window), width, height, options, error);
    if (!view) {
        reportError(error);
        return 1;
    }
    view->setFrameSize(Size{double(width), double(height)});
    view->startAnimation();
    XMapWindow(display, window);

    // Frames at the view's interval, on absolute deadlines of a monotonic clock, so the
    // rate does not drift; between frames the loop sleeps in poll on the X connection.
    const double interval = view->animationTimeInterval();
    const bool animates = std::isfinite(interval) && interval > 0.0;
    // (An hour at most: a longer interval would overflow the clock's arithmetic.)
    const auto period = animates ? std::chrono::duration_cast<Clock::duration>(
                                       std::chrono::duration<double>(std::min(interval, 3600.0)))
                                 : Clock::duration::zero();
    Clock::time_point next = Clock::now() + period;
    long framesDrawn = 0;
    bool mapped = false, running = true;
    int pendingWidth = width, pendingHeight = height;

    while (running) {
        if (options.frames && framesDrawn >= *options.frames) break;

        while (running && XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            switch (event.type) {
            case ConfigureNotify:
                pendingWidth = event.xconfigure.width;
                pendingHeight = event.xconfigure.height;
                break;
            case MapNotify:
                if (!mapped) next = Clock::now();
                mapped = true;
                break;
            case UnmapNotify:
                mapped = false;  // nothing to see: no frames until mapped again
                break;
            case Expose:
                // The server paints the black background; the next frame, at most one
                // interval away, repaints the whole window.
                break;
            case KeyPress: {
                const KeySym key = XLookupKeysym(&event.xkey, 0);
                if (key == XK_Escape || key == XK_q || key == XK_Q) running = false;
                break;
            }
            case ClientMessage:
                if (event.xclient.message_type == wmProtocols &&
                    static_cast<Atom>(event.xclient.data.l[0]) == wmDelete)
                    running = false;
                break;
            case DestroyNotify:
                if (event.xdestroywindow.window == window) {
                    res.window = 0;
                    running = false;
                }
                break;
            default:
                break;
            }
        }
        if (!running) break;

        // A new size re-seeds the swarm and re-applies the GL state at the new start.
        // Sizes are gathered over the queued events so a drag resizes once per turn.
        if (pendingWidth != width || pendingHeight != height) {
            width = pendingWidth;
            height = pendingHeight;
            view->setFrameSize(Size{double(width), double(height)});
            view->startAnimation();
        }

        const bool framing = animates && mapped;
        if (framing && Clock::now() >= next) {
            view->animateOneFrame();
            ++framesDrawn;
            next += period;
            // After a stall (a slow frame, a suspended process) start afresh rather than
            // run the missed frames back to back.
            const auto now = Clock::now();
            if (next + period < now) next = now + period;
            continue;
        }

        // GL and X calls above may have read events into Xlib's queue, where poll on the
        // socket cannot see them: handle those first (this also flushes our requests).
        if (XEventsQueued(display, QueuedAfterFlush) > 0) continue;
        pollfd fd{ConnectionNumber(display), POLLIN, 0};
        timespec timeout = toTimespec(next - Clock::now());
        ppoll(&fd, 1, framing ? &timeout : nullptr, nullptr);
    }

    view.reset();  // the GL context goes before its window
    return 0;
}

}  // namespace zorvan::host
