// The module's headers before Xlib's: its macros (None, Bool) would break them.
#include "support/TestSupport.h"

#include "support/XPixels.h"

#include <X11/Xatom.h>
#include <X11/extensions/Xdamage.h>
#include <poll.h>

#include <chrono>

#include <cstdio>

#include <X11/Xutil.h>

namespace zorvan::test {

Shot readPixels(Display* display, Drawable drawable, int x, int y, int width, int height) {
    XImage* image = XGetImage(display, drawable, x, y, unsigned(width), unsigned(height), AllPlanes,
                              ZPixmap);
    if (!image) return {};
    Shot shot;
    shot.width = size_t(width);
    shot.height = size_t(height);
    for (int j = 0; j < height; ++j)
        for (int i = 0; i < width; ++i) {
            const unsigned long pixel = XGetPixel(image, i, j);
            shot.rgb.insert(shot.rgb.end(), {(unsigned char)(pixel >> 16), (unsigned char)(pixel >> 8),
                                             (unsigned char)pixel});
        }
    XDestroyImage(image);
    return shot;
}

Shot readScreen(Display* d) {
    return readPixels(d, DefaultRootWindow(d), 0, 0, DisplayWidth(d, DefaultScreen(d)),
                      DisplayHeight(d, DefaultScreen(d)));
}

std::string hexId(unsigned long window) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%lx", window);
    return text;
}

long pidOf(Display* d, Window w) {
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    long pid = -1;
    if (XGetWindowProperty(d, w, XInternAtom(d, "_NET_WM_PID", False), 0, 1, False, XA_CARDINAL,
                           &type, &format, &count, &after, &data) == Success && data) {
        if (count == 1) pid = *reinterpret_cast<long*>(data);
        XFree(data);
    }
    return pid;
}

namespace {

bool titled(Display* d, Window w, const char* title) {
    char* name = nullptr;
    const bool same = XFetchName(d, w, &name) && name && std::string(name) == title;
    if (name) XFree(name);
    return same;
}

}  // namespace

Window windowOf(Display* d, int pid, const char* title) {
    // Other tests' windows come and go on the same display: a window destroyed between
    // the query and the look at its properties is an error to pass over, not to die of.
    XSync(d, False);
    auto previous = XSetErrorHandler(+[](Display*, XErrorEvent*) { return 0; });
    Window found = 0;
    waitUntil(
        [&] {
            Window root, parent, *children = nullptr;
            unsigned int n = 0;
            if (XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &n)) {
                for (unsigned int i = 0; i < n && !found; ++i)
                    if (pidOf(d, children[i]) == pid && (!title || titled(d, children[i], title))) found = children[i];
                if (children) XFree(children);
            }
            return found != 0;
        },
        10, 0.02);
    XSync(d, False);
    XSetErrorHandler(previous);
    return found;
}

long damageFrames(Display* display, int damageEvent, double seconds) {
    long count = 0;
    const auto begin = std::chrono::steady_clock::now();
    while (secondsSince(begin) < seconds) {
        while (XPending(display) > 0) {
            XEvent e;
            XNextEvent(display, &e);
            if (e.type == damageEvent + XDamageNotify) ++count;
        }
        pollfd p{ConnectionNumber(display), POLLIN, 0};
        poll(&p, 1, 5);
    }
    return count;
}

}  // namespace zorvan::test
