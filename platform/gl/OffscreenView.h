// Offscreen GL view: a desktop-GL compatibility context made through EGL without a
// window system (Mesa's surfaceless platform, else the first EGL device), drawing into a
// framebuffer object of 8-bit RGBA and a depth buffer. On a machine with a GPU its driver
// draws; without one, Mesa's llvmpipe.
// Implements: current context, focus lock, resize (new renderbuffers, cleared), reading
// the frame back (once a frame has been finished, on the first look at it; or straight
// into a caller's picture, top row first, for showing it in a toolkit's widget), the
// before-present hook once a frame (at flushBuffer, else at unlockFocus).
// Does not implement: swap intervals (there is no display to wait for), flushing to a
// screen (the framebuffer is the picture), sharing objects with other contexts,
// multisampling, the pixel format's accelerated and policy wishes.
#pragma once

#include "platform/gl/OpenGLView.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zorvan {

class OffscreenView : public OpenGLView {
public:
    // Returns null when EGL makes no offscreen desktop-GL context of this format (why()
    // says what was missing). A buffer of the frame's size in points times `scale`
    // pixels a point.
    static std::unique_ptr<OffscreenView> create(Rect frame, const OpenGLPixelFormat& format, double scale = 1.0);
    // One line saying why the last create() failed; empty after one that succeeded.
    static const std::string& why();
    // A factory for the saver view that keeps the views it makes (see keepingFactory).
    static OpenGLViewFactory factory(double scale = 1.0);
    ~OffscreenView() override;

    void makeCurrentContext() override;
    void setValuesForParameter(const int* values, int parameter) override;
    void flushBuffer() override;
    void lockFocus() override;
    void unlockFocus() override;
    void setFrameSize(Size size) override;

    int width() const { return width_; }
    int height() const { return height_; }
    // The frame as RGBA bytes, the bottom row first (GL's order).
    const std::vector<uint8_t>& pixels() const;
    // One pixel of the frame, (0, 0) the bottom-left corner; RGBA.
    uint32_t pixelAt(int x, int y) const;
    // The frame into `data`: height() rows of `stride` bytes (at least 4 * width()), the
    // top row first, each pixel a 32-bit 0xAARRGGBB in the machine's byte order (cairo's
    // and pixman's ARGB32 and RGB24 layout).
    void readTopDown(unsigned char* data, int stride) const;

private:
    OffscreenView() = default;
    void present();
    // Renderbuffers of the current size on the bound framebuffer, cleared to zero.
    void allocate();

    void* context_ = nullptr;  // EGLContext
    unsigned framebuffer_ = 0, colour_ = 0, depth_ = 0;
    int depthBits_ = 16;
    int maxSide_ = 0;
    bool presentedInFocus_ = false;
    int width_ = 0, height_ = 0;
    // The last frame read back; stale until someone looks after the next frame.
    mutable std::vector<uint8_t> buffer_;
    mutable bool stale_ = true;
};

}  // namespace zorvan
