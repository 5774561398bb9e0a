#include "platform/gl/OsMesaView.h"

#include <GL/osmesa.h>

#include <algorithm>
#include <climits>
#include <cmath>

namespace zorvan {

namespace {

// OSMesa's largest buffer side; a larger request is clamped, never refused.
constexpr int MAX_SIDE = 16384;

int bufferSide(double value) {
    if (!(value >= 1.0)) return 1;
    return static_cast<int>(std::min(value, static_cast<double>(MAX_SIDE)));
}

}  // namespace

std::unique_ptr<OsMesaView> OsMesaView::create(Rect frame, const OpenGLPixelFormat& format, double scale) {
    const GLint depth = static_cast<GLint>(format.valueOf(NSOpenGLPFADepthSize, 16));
    OSMesaContext context = OSMesaCreateContextExt(OSMESA_RGBA, depth, 0, 0, nullptr);
    if (!context) return nullptr;
    std::unique_ptr<OsMesaView> view(new OsMesaView());
    view->context_ = context;
    view->setBackingScale(scale);
    view->setFrameSize(frame.size());
    return view;
}

OpenGLViewFactory OsMesaView::factory(double scale) {
    return keepingFactory([scale](Rect frame, const OpenGLPixelFormat& format) -> std::unique_ptr<OpenGLView> {
        return create(frame, format, scale);
    });
}

OsMesaView::~OsMesaView() {
    if (context_) {
        if (OSMesaGetCurrentContext() == context_) OSMesaMakeCurrent(nullptr, nullptr, 0, 0, 0);
        OSMesaDestroyContext(context_);
    }
}

void OsMesaView::makeCurrentContext() {
    OSMesaMakeCurrent(context_, buffer_.data(), GL_UNSIGNED_BYTE, width_, height_);
}

void OsMesaView::setValuesForParameter(const int*, int) {}

// A frame is finished once, as a window's is presented once: at flushBuffer, else at
// the end of the focus.
void OsMesaView::present() {
    runBeforePresent();
    glFinish();
}

void OsMesaView::flushBuffer() {
    present();
    presentedInFocus_ = true;
}

void OsMesaView::lockFocus() {
    makeCurrentContext();
    presentedInFocus_ = false;
}

void OsMesaView::unlockFocus() {
    if (!presentedInFocus_) present();
    presentedInFocus_ = false;
}

void OsMesaView::setFrameSize(Size size) {
    const int w = bufferSide(sideInPixels(size.width, backingScale())), h = bufferSide(sideInPixels(size.height, backingScale()));
    if (w == width_ && h == height_ && !buffer_.empty()) return;
    const bool wasCurrent = OSMesaGetCurrentContext() == context_;
    width_ = w;
    height_ = h;
    buffer_.assign(static_cast<size_t>(w) * static_cast<size_t>(h) * 4, 0);
    // The context draws into the buffer it was last made current with: rebind it.
    if (wasCurrent) makeCurrentContext();
}

uint32_t OsMesaView::pixelAt(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
    const uint8_t* p = &buffer_[(static_cast<size_t>(y) * width_ + x) * 4];
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

}  // namespace zorvan
