// The offscreen view on EGL without a window system: what it keeps apart and what a new
// buffer holds, on the same driver that --render uses.
#include "platform/gl/OffscreenView.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstring>

using namespace zorvan;

namespace {

const uint32_t FORMAT[] = {NSOpenGLPFADepthSize, 16, 0};

std::unique_ptr<OffscreenView> make(double width, double height, double scale = 1.0) {
    auto gl = OffscreenView::create(Rect{0, 0, width, height}, OpenGLPixelFormat(FORMAT), scale);
    EXPECT_TRUE(gl) << OffscreenView::why();
    return gl;
}

void fill(OffscreenView& gl, float r, float g, float b) {
    gl.lockFocus();
    glClearColor(r, g, b, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    gl.unlockFocus();
}

}  // namespace

// Reading one view's frame neither shows another's nor moves the drawing: the view that
// was current stays current, and the next frame lands in it.
TEST(OffscreenView, ReadingAViewLeavesTheCurrentContextWhereItWas) {
    auto a = make(4, 4), b = make(4, 4);
    ASSERT_TRUE(a && b);
    fill(*a, 1, 0, 0);
    fill(*b, 0, 0, 1);
    a->lockFocus();
    EXPECT_EQ(b->pixelAt(0, 0), 0x0000ffffu);
    glClearColor(0, 1, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    a->unlockFocus();
    EXPECT_EQ(a->pixelAt(3, 3), 0x00ff00ffu);
    EXPECT_EQ(b->pixelAt(3, 3), 0x0000ffffu);
}

// A resized buffer is the new size in pixels, starts transparent black, and the
// module's clear colour is the one it set.
TEST(OffscreenView, AResizedBufferStartsEmptyAndKeepsTheClearColour) {
    auto gl = make(4, 3, 2.0);
    ASSERT_TRUE(gl);
    EXPECT_EQ(gl->width(), 8);
    EXPECT_EQ(gl->height(), 6);
    fill(*gl, 1, 1, 1);
    gl->setFrameSize(Size{10, 5});
    ASSERT_EQ(gl->width(), 20);
    ASSERT_EQ(gl->height(), 10);
    ASSERT_EQ(gl->pixels().size(), size_t(20 * 10 * 4));
    for (uint8_t byte : gl->pixels()) ASSERT_EQ(byte, 0);
    gl->makeCurrentContext();
    GLfloat clear[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_EQ(clear[0], 1.0f);
    EXPECT_EQ(clear[3], 1.0f);
}
