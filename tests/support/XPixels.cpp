#include "support/XPixels.h"

#include <X11/Xatom.h>

#include <chrono>
#include <string>
#include <thread>

#include <X11/Xutil.h>

namespace zorvan::test {

long countPixels(Display* display, Drawable drawable, int x, int y, int width, int height,
                 const std::function<bool(unsigned long rgb)>& counts) {
    XImage* image = XGetImage(display, drawable, x, y, unsigned(width), unsigned(height), AllPlanes,
                              ZPixmap);
    if (!image) return -1;
    long n = 0;
    for (int j = 0; j < height; ++j)
        for (int i = 0; i < width; ++i)
            if (counts(XGetPixel(image, i, j) & 0xFFFFFF)) ++n;
    XDestroyImage(image);
    return n;
}

long litPixels(Display* display, Drawable drawable, int x, int y, int width, int height) {
    return countPixels(display, drawable, x, y, width, height, [](unsigned long rgb) { return rgb != 0; });
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
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!found && std::chrono::steady_clock::now() < deadline) {
        Window root, parent, *children = nullptr;
        unsigned int n = 0;
        if (XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &n)) {
            for (unsigned int i = 0; i < n && !found; ++i)
                if (pidOf(d, children[i]) == pid && (!title || titled(d, children[i], title))) found = children[i];
            if (children) XFree(children);
        }
        if (!found) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    XSync(d, False);
    XSetErrorHandler(previous);
    return found;
}

}  // namespace zorvan::test
