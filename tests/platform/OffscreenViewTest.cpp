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

// Read for a toolkit's picture: the top row first, each pixel a native 0xAARRGGBB word,
// rows of the picture's stride (the bytes past the frame's width left alone), and the
// pack state as the module had it.
TEST(OffscreenView, ReadTopDownIsTheFrameTurnedOverInNativeWords) {
    auto gl = make(5, 4);
    ASSERT_TRUE(gl);
    fill(*gl, 0, 0, 1);
    gl->lockFocus();
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, 2, 1);  // the bottom row's first two pixels
    glClearColor(1, 0.5f, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    gl->unlockFocus();

    const int stride = 6 * 4;
    std::vector<uint32_t> picture(6 * 4, 0x12345678u);
    gl->readTopDown(reinterpret_cast<unsigned char*>(picture.data()), stride);
    const auto at = [&](int x, int y) { return picture[size_t(y) * 6 + size_t(x)] & 0x00ffffffu; };
    EXPECT_EQ(at(0, 3), 0xff8000u) << "the bottom row comes last";
    EXPECT_EQ(at(1, 3), 0xff8000u);
    EXPECT_EQ(at(2, 3), 0x0000ffu);
    EXPECT_EQ(at(0, 0), 0x0000ffu);
    for (int y = 0; y < 4; ++y) EXPECT_EQ(picture[size_t(y) * 6 + 5], 0x12345678u) << "row " << y;
    gl->makeCurrentContext();
    GLint alignment = 0;
    glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
    EXPECT_EQ(alignment, 1);
}
