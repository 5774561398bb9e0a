#include "host/backends/offscreen/FramePng.h"
#include "host/Process.h"

#include "platform/gl/OffscreenView.h"

#include "platform/image/MagickSetup.h"

#include <GL/gl.h>
#include <Magick++.h>
#include <gtest/gtest.h>

using namespace zorvan;

namespace {

// Encodes a small frame; exits 0 when the picture was written.
[[noreturn]] void encodeAFrame() {
    const uint32_t attributes[] = {NSOpenGLPFADepthSize, 16, 0};
    auto gl = OffscreenView::create(Rect{0, 0, 4, 4}, OpenGLPixelFormat(attributes));
    test::TempDir dir;
    std::string error;
    std::_Exit(gl && host::writeFramePng(*gl, dir.file("f.png"), error) ? 0 : 3);
}

}  // namespace

// The encoder needs nothing started before it: run first thing in a fresh process, it
// writes the picture (a decoder library called before its start-up can deadlock).
TEST(FramePng, TheEncoderWorksAsTheFirstThingAProcessDoes) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(encodeAFrame(), testing::ExitedWithCode(0), "");
}

// GL keeps the bottom row first; a picture starts at the top. A frame red in its lower
// half must come out red at the bottom of the picture.
TEST(FramePng, PictureIsUprightAndOpaque) {
    const uint32_t attributes[] = {NSOpenGLPFADepthSize, 16, 0};
    auto gl = OffscreenView::create(Rect{0, 0, 8, 6}, OpenGLPixelFormat(attributes));
    ASSERT_TRUE(gl);
    gl->lockFocus();
    glClearColor(0, 0, 1, 0);  // alpha 0 in the buffer: the picture is opaque anyway
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, 8, 3);
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
    gl->unlockFocus();

    test::TempDir dir;
    std::string error;
    ASSERT_TRUE(host::writeFramePng(*gl, dir.file("f.png"), error)) << error;

    zorvan::magick::ensureStarted();
    Magick::Image picture(dir.file("f.png"));
    ASSERT_EQ(picture.columns(), 8u);
    ASSERT_EQ(picture.rows(), 6u);
    uint8_t top[4], bottom[4];
    picture.write(0, 0, 1, 1, "RGBA", Magick::CharPixel, top);
    picture.write(7, 5, 1, 1, "RGBA", Magick::CharPixel, bottom);
    EXPECT_EQ(top[0], 0);
    EXPECT_EQ(top[2], 255);
    EXPECT_EQ(top[3], 255);
    EXPECT_EQ(bottom[0], 255);
    EXPECT_EQ(bottom[2], 0);

    EXPECT_FALSE(host::writeFramePng(*gl, dir.file("missing/f.png"), error));
    EXPECT_NE(error.find("missing/f.png"), std::string::npos);
}
