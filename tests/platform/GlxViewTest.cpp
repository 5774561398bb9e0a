// The GLX window view on a real X server (Xvfb in CI); skipped without a display.
#include "platform/gl/GlxView.h"
#include "saver/Zorvan.h"
#include "support/ViewState.h"

// GoogleTest before Xlib: Xlib's macros (None, Bool) would break its headers.
#include <gtest/gtest.h>

#include "support/XPixels.h"

#include <GL/gl.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xcomposite.h>

#include <cstdlib>
#include <cstring>

using namespace zorvan;

namespace {

const uint32_t FORMAT[] = {NSOpenGLPFAAccelerated, NSOpenGLPFADepthSize, 16, 0};

// One connection for the whole test program, open until it exits: closing it unloads the
// GL driver, and the leak checker can then no longer tell the driver's own leftovers
// from ours.
Display* sharedDisplay() {
    static Display* display = XOpenDisplay(nullptr);
    return display;
}

class GlxViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* name = std::getenv("DISPLAY");
        if (!name || !*name) GTEST_SKIP() << "no DISPLAY";
        display_ = sharedDisplay();
        ASSERT_TRUE(display_) << "cannot open DISPLAY " << name;
    }
    void TearDown() override {
        if (!display_) return;
        if (window_) XDestroyWindow(display_, window_);
        if (colormap_) XFreeColormap(display_, colormap_);
        XSync(display_, True);
    }

    // A mapped window of w x h on a visual GlxView can draw on.
    Window makeWindow(int w, int h) {
        window_ = GlxView::createWindow(
            display_, {.parent = DefaultRootWindow(display_), .width = w, .height = h, .eventMask = StructureNotifyMask},
            colormap_);
        EXPECT_NE(window_, 0u);
        if (!window_) return 0;
        // Kept in its own offscreen pixmap, the window reads back what was drawn into it
        // even while windows of tests running beside this one cover it.
        XCompositeRedirectWindow(display_, window_, CompositeRedirectAutomatic);
        XMapWindow(display_, window_);
        XEvent e;
        do XWindowEvent(display_, window_, StructureNotifyMask, &e);
        while (e.type != MapNotify);
        return window_;
    }

    // What the window shows, read from the X server: pixels that are not black.
    long litPixels(int x0, int y0, int w, int h) {
        return test::litPixels(test::readPixels(display_, window_, x0, y0, w, h));
    }

    void resize(int w, int h) {
        XResizeWindow(display_, window_, unsigned(w), unsigned(h));
        XEvent e;
        do XWindowEvent(display_, window_, StructureNotifyMask, &e);
        while (!(e.type == ConfigureNotify && e.xconfigure.width == w));
    }

    Display* display_ = nullptr;
    Window window_ = 0;
    Colormap colormap_ = 0;
};

}  // namespace

TEST_F(GlxViewTest, ClearsAndPresentsWholeFrames) {
    const Window window = makeWindow(64, 48);
    ASSERT_TRUE(window);
    auto view = GlxView::create(display_, window, OpenGLPixelFormat(FORMAT));
    ASSERT_TRUE(view);
    const int one = 1;
    view->setValuesForParameter(&one, NSOpenGLCPSwapInterval);
    EXPECT_TRUE(view->swapInterval() == 0 || view->swapInterval() == 1);

    view->lockFocus();
    GLint depthBits = 0, doubleBuffered = 0;
    glGetIntegerv(GL_DEPTH_BITS, &depthBits);
    glGetIntegerv(GL_DOUBLEBUFFER, &doubleBuffered);
    EXPECT_GE(depthBits, 16);
    EXPECT_TRUE(doubleBuffered);

    glClearColor(0.2f, 0.4f, 0.6f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glFlush();
    unsigned char rgba[4] = {};
    glReadBuffer(GL_BACK);
    glReadPixels(32, 24, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    EXPECT_NEAR(rgba[0], 51, 1);
    EXPECT_NEAR(rgba[1], 102, 1);
    EXPECT_NEAR(rgba[2], 153, 1);

    // The frame reaches the window at unlockFocus.
    EXPECT_EQ(litPixels(0, 0, 64, 48), 0);
    view->unlockFocus();
    EXPECT_EQ(view->swapCount(), 1u);
    glFinish();
    EXPECT_EQ(litPixels(0, 0, 64, 48), 64 * 48);

    // A flush inside the lock presents once; the unlock adds no second, stale swap.
    view->lockFocus();
    view->flushBuffer();
    view->unlockFocus();
    EXPECT_EQ(view->swapCount(), 2u);
}

TEST_F(GlxViewTest, RefusesWhatItCannotDrawOn) {
    const Window window = makeWindow(16, 16);
    ASSERT_TRUE(window);
    const uint32_t deep[] = {NSOpenGLPFADepthSize, 99, 0};
    EXPECT_FALSE(GlxView::create(display_, window, OpenGLPixelFormat(deep)));
    // A window that does not exist: an X error that must not end the process.
    EXPECT_FALSE(GlxView::create(display_, 0x3ffffffe, OpenGLPixelFormat(FORMAT)));
    EXPECT_TRUE(GlxView::create(display_, window, OpenGLPixelFormat(FORMAT)));
}

TEST_F(GlxViewTest, ZorvanDrawsTheSwarmAndFollowsAResize) {
    const Window window = makeWindow(160, 120);
    ASSERT_TRUE(window);
    Zorvan view(GlxView::factory(display_, window));
    ASSERT_TRUE(view.initWithFrame(Rect{0, 0, 160, 120}, false));
    ASSERT_TRUE(view.glView());
    EXPECT_DOUBLE_EQ(view.animationTimeInterval(), 1.0 / 60.0);
    view.setFrameSize({160, 120});
    view.startAnimation();
    glFinish();
    EXPECT_EQ(litPixels(0, 0, 160, 120), 0);  // cleared to the black background

    view.animateOneFrame();
    glFinish();
    EXPECT_GT(litPixels(0, 0, 160, 120), 200);

    // After a resize the swarm covers the grown window, the new part included.
    resize(480, 360);
    view.setFrameSize({480, 360});
    view.startAnimation();
    view.animateOneFrame();
    glFinish();
    EXPECT_GT(litPixels(160, 120, 320, 240), 200);
}
