// The floor for Zorvan in a window: one full-screen Xlib window with a double-buffered
// GLX context, FRAMES frames of N quads, each swapped, paced at 60 a second on a
// monotonic clock. Nothing else.
//   bare_glx FRAMES N [SCALE]   (SCALE: quads that many times the size)
#include "Quads.h"

#include <GL/glx.h>
#include <X11/Xlib.h>

#include <time.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: bare_glx FRAMES N [SCALE]\n");
        return 2;
    }
    const long frames = std::atol(argv[1]);
    const int n = std::atoi(argv[2]);
    Display* d = XOpenDisplay(nullptr);
    if (!d) return 1;
    const int screen = DefaultScreen(d);
    int attributes[] = {GLX_RGBA, GLX_DOUBLEBUFFER, GLX_RED_SIZE, 8, GLX_GREEN_SIZE, 8,
                        GLX_BLUE_SIZE, 8, GLX_DEPTH_SIZE, 16, None};
    XVisualInfo* vi = glXChooseVisual(d, screen, attributes);
    if (!vi) return 1;
    const int w = DisplayWidth(d, screen), h = DisplayHeight(d, screen);
    XSetWindowAttributes swa{};
    swa.colormap = XCreateColormap(d, RootWindow(d, screen), vi->visual, AllocNone);
    swa.override_redirect = True;
    swa.background_pixel = 0;
    Window win = XCreateWindow(d, RootWindow(d, screen), 0, 0, w, h, 0, vi->depth, InputOutput,
                               vi->visual, CWColormap | CWOverrideRedirect | CWBackPixel, &swa);
    XMapRaised(d, win);
    GLXContext ctx = glXCreateContext(d, vi, nullptr, True);
    glXMakeCurrent(d, win, ctx);

    bare::Quads quads(n, w, h, argc == 4 ? std::atoi(argv[3]) : 1);
    timespec next{};
    clock_gettime(CLOCK_MONOTONIC, &next);
    const long period = 1000000000L / 60;
    for (long i = 0; i < frames; ++i) {
        quads.drawFrame();
        glXSwapBuffers(d, win);
        while (XPending(d)) {
            XEvent e;
            XNextEvent(d, &e);
        }
        next.tv_nsec += period;
        if (next.tv_nsec >= 1000000000L) {
            next.tv_nsec -= 1000000000L;
            ++next.tv_sec;
        }
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
    }
    glXMakeCurrent(d, None, nullptr);
    glXDestroyContext(d, ctx);
    XDestroyWindow(d, win);
    XFree(vi);
    XCloseDisplay(d);
    return 0;
}
