// The program's window on a real X server (Xvfb in CI); skipped without a display.
#include "host/Process.h"

// GoogleTest before Xlib: Xlib's macros (None, Bool) would break its headers.
#include <gtest/gtest.h>

#include "support/XPixels.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xcomposite.h>
#include <X11/keysym.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

using namespace zorvan;
using test::windowOf;

namespace {

std::string textProperty(Display* d, Window w, const char* name) {
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    std::string text;
    if (XGetWindowProperty(d, w, XInternAtom(d, name, False), 0, 256, False, AnyPropertyType,
                           &type, &format, &count, &after, &data) == Success && data) {
        text.assign(reinterpret_cast<char*>(data), count);
        XFree(data);
    }
    return text;
}

class WindowProgram : public ::testing::Test {
protected:
    void SetUp() override {
        const char* name = std::getenv("DISPLAY");
        if (!name || !*name) GTEST_SKIP() << "no DISPLAY";
        display_ = XOpenDisplay(nullptr);
        ASSERT_TRUE(display_);
    }
    void TearDown() override {
        if (display_) XCloseDisplay(display_);
    }
    int start(std::vector<std::string> args) {
        args.push_back("--prefs");
        args.push_back(dir_.file("prefs.ini"));
        return test::startProcess(test::zorvanPath(), args);
    }
    Display* display_ = nullptr;
    test::TempDir dir_;
};

}  // namespace

TEST_F(WindowProgram, TitledWindowFollowsResizesAndClosesByTheWindowManager) {
    const int pid = start({"--size", "200x100"});
    ASSERT_GT(pid, 0);
    const Window w = windowOf(display_, pid);
    ASSERT_TRUE(w) << "no window";
    EXPECT_EQ(textProperty(display_, w, "WM_NAME"), "Zorvan");
    EXPECT_EQ(textProperty(display_, w, "_NET_WM_NAME"), "Zorvan");
    XWindowAttributes a;
    ASSERT_TRUE(XGetWindowAttributes(display_, w, &a));
    EXPECT_EQ(a.width, 200);
    EXPECT_EQ(a.height, 100);

    // Grown, the window is drawn all over: the view was resized with it. Kept in its own
    // pixmap, the window reads back its own frames even under windows of other tests.
    XCompositeRedirectWindow(display_, w, CompositeRedirectAutomatic);
    XResizeWindow(display_, w, 400, 300);
    XSync(display_, False);
    long lit = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (lit < 100 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        // The program maps its window once its view is made; only then can it be read.
        if (!XGetWindowAttributes(display_, w, &a) || a.map_state != IsViewable) continue;
        // The top right part, outside the first 200 x 100 in every corner's reading.
        lit = test::litPixels(test::readPixels(display_, w, 200, 0, 200, 200));
        ASSERT_GE(lit, 0) << "the window cannot be read";
    }
    EXPECT_GE(lit, 100) << "map state " << a.map_state << ", " << a.width << "x" << a.height;

    XEvent e;
    std::memset(&e, 0, sizeof e);
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(display_, w, False, NoEventMask, &e);
    XFlush(display_);
    EXPECT_EQ(test::waitProcess(pid, 10), 0);
}

TEST_F(WindowProgram, EscapeQuitsAndFramesEndTheRun) {
    const int pid = start({"--size", "120x90"});
    ASSERT_GT(pid, 0);
    const Window w = windowOf(display_, pid);
    ASSERT_TRUE(w) << "no window";
    XEvent e;
    std::memset(&e, 0, sizeof e);
    e.xkey.type = KeyPress;
    e.xkey.display = display_;
    e.xkey.window = w;
    e.xkey.root = DefaultRootWindow(display_);
    e.xkey.keycode = XKeysymToKeycode(display_, XK_Escape);
    e.xkey.same_screen = True;
    XSendEvent(display_, w, False, KeyPressMask, &e);
    XFlush(display_);
    EXPECT_EQ(test::waitProcess(pid, 10), 0);

    // Ten frames at 1/60 s, then the program ends by itself.
    const auto r = test::runProcess(test::zorvanPath(), {"--size", "64x48", "--frames", "10",
                                                         "--prefs", dir_.file("prefs.ini")},
                                    {}, 10.0);
    EXPECT_EQ(r.exitCode, 0) << r.err;
}
