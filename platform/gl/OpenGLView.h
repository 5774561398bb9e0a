// The OpenGL view: a child view with its own GL context that covers the saver view.
// Backends: OffscreenView (offscreen, for rendering to pictures and for tests), GlxView
// (an X11 window) and EglView (a Wayland surface). The saver view asks for its GL view
// through a factory that the host picks, since which backend to use is the host's
// decision; the host keeps the GL view, and lends it to the saver view.
#pragma once

#include "platform/Geometry.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace zorvan {

// Pixel-format attribute numbers and the swap-interval parameter number.
inline constexpr uint32_t NSOpenGLPFAAccelerated = 73;
inline constexpr uint32_t NSOpenGLPFADepthSize = 12;
inline constexpr uint32_t NSOpenGLPFAMinimumPolicy = 51;
inline constexpr uint32_t NSOpenGLPFAClosestPolicy = 74;
inline constexpr int NSOpenGLCPSwapInterval = 222;

// A pixel format made from a 0-terminated attribute list. Backends read what they can
// honour (the depth size); the rest is a wish that a software renderer may not meet.
class OpenGLPixelFormat {
public:
    explicit OpenGLPixelFormat(const uint32_t* attributes);
    const std::vector<uint32_t>& attributes() const { return attributes_; }
    // The value that follows `attribute` in the list, or `fallback` when it is absent.
    uint32_t valueOf(uint32_t attribute, uint32_t fallback) const;

private:
    std::vector<uint32_t> attributes_;
};

class OpenGLView {
public:
    virtual ~OpenGLView() = default;

    // The view's context becomes current for the GL calls that follow.
    virtual void makeCurrentContext() = 0;
    // Context parameters; NSOpenGLCPSwapInterval is the one that matters.
    virtual void setValuesForParameter(const int* values, int parameter) = 0;
    // Shows what was drawn in the context.
    virtual void flushBuffer() = 0;
    // Makes the context current for drawing, and releases it again.
    virtual void lockFocus() = 0;
    virtual void unlockFocus() = 0;
    // The view's size in points; the drawable holds backingScale() pixels a point.
    virtual void setFrameSize(Size size) = 0;

    // Pixels per point in each direction, from 1 (the default) to 4, whole or not (a
    // fractional scale such as 1.5): the drawing is in points and is rasterised at the
    // drawable's full resolution.
    double backingScale() const { return backingScale_; }
    // A side of `points` at `scale` pixels a point, in whole pixels (at 1.5, 1280 points
    // are 1920 pixels); 0 for a side that is not a number.
    static int sideInPixels(double points, double scale) {
        const double side = std::round(points * scale);
        return side >= 0.0 ? int(std::min(side, double(INT_MAX))) : 0;
    }
    void setBackingScale(double scale) { backingScale_ = !(scale >= 1.0) ? 1.0 : scale > 4.0 ? 4.0 : scale; }

    // Runs with the view's context current right before each frame is presented (on
    // screen, or finished in an offscreen buffer); what it draws goes over the frame
    // (the host's --fps text). None by default.
    void setBeforePresent(std::function<void()> hook) { beforePresent_ = std::move(hook); }

    // A surface that the view draws on and the part of the scene it shows, in points
    // (origin at the scene's lower-left corner, y upward); none: the whole scene.
    struct Part {
        OpenGLView* surface;
        std::optional<Rect> shown;
        bool seen = true;  // frames are drawn only on surfaces that can be seen
    };
    // The surfaces to draw on, each in turn: the view itself, showing the whole scene,
    // unless it spreads one scene over several surfaces (SpanView).
    virtual std::vector<Part> parts() { return {Part{this, std::nullopt}}; }

protected:
    // What a backend calls as it presents a frame.
    void runBeforePresent() {
        if (beforePresent_) beforePresent_();
    }

private:
    double backingScale_ = 1.0;
    std::function<void()> beforePresent_;
};

// Makes a GL view with the given frame (in the saver view's own coordinates) and pixel
// format, or returns null when it cannot. The view is lent: whoever made the factory
// keeps the view alive for as long as the saver view that asked for it (which keeps
// its factory for its whole life).
using OpenGLViewFactory = std::function<OpenGLView*(Rect frame, const OpenGLPixelFormat& format)>;

// A factory over `make` that keeps every view it makes for as long as any copy of the
// factory lives: for makers that keep no record of their views (tools, tests).
inline OpenGLViewFactory keepingFactory(
    std::function<std::unique_ptr<OpenGLView>(Rect frame, const OpenGLPixelFormat& format)> make) {
    auto kept = std::make_shared<std::vector<std::unique_ptr<OpenGLView>>>();
    return [kept, make = std::move(make)](Rect frame, const OpenGLPixelFormat& format) -> OpenGLView* {
        std::unique_ptr<OpenGLView> view = make(frame, format);
        if (!view) return nullptr;
        kept->push_back(std::move(view));
        return kept->back().get();
    };
}

}  // namespace zorvan
