// Offscreen GL view on Mesa's OSMesa: an RGBA buffer in memory with a depth buffer.
// Implements: current context, focus lock, resize (a new buffer), reading the frame,
// the before-present hook once a frame (at flushBuffer, else at unlockFocus).
// Does not implement: swap intervals (there is no display to wait for) and flushing
// to a screen (the buffer is the picture).
#pragma once

#include "platform/gl/OpenGLView.h"

#include <cstdint>
#include <memory>
#include <vector>

struct osmesa_context;

namespace zorvan {

class OsMesaView : public OpenGLView {
public:
    // Returns null when Mesa cannot make an offscreen context of this format.
    // A buffer of the frame's size in points times `scale` pixels a point.
    static std::unique_ptr<OsMesaView> create(Rect frame, const OpenGLPixelFormat& format, double scale = 1.0);
    // A factory for the saver view that keeps the views it makes (see keepingFactory).
    static OpenGLViewFactory factory(double scale = 1.0);
    ~OsMesaView() override;

    void makeCurrentContext() override;
    void setValuesForParameter(const int* values, int parameter) override;
    void flushBuffer() override;
    void lockFocus() override;
    void unlockFocus() override;
    void setFrameSize(Size size) override;

    int width() const { return width_; }
    int height() const { return height_; }
    // The frame as RGBA bytes, the bottom row first (GL's order).
    const std::vector<uint8_t>& pixels() const { return buffer_; }
    // One pixel of the frame, (0, 0) the bottom-left corner; RGBA.
    uint32_t pixelAt(int x, int y) const;

private:
    OsMesaView() = default;
    void present();

    osmesa_context* context_ = nullptr;
    bool presentedInFocus_ = false;
    int width_ = 0, height_ = 0;
    std::vector<uint8_t> buffer_;
};

}  // namespace zorvan
