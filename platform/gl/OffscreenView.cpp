#include "platform/gl/OffscreenView.h"

#define GL_GLEXT_PROTOTYPES 1  // the framebuffer objects of OpenGL 3.0, which libGL exports
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace zorvan {

namespace {

// The largest buffer side we ask of any driver (llvmpipe's own limit); a larger request
// is clamped, never refused.
constexpr int MAX_SIDE = 16384;

std::string& lastWhy() {
    static std::string why;
    return why;
}

bool hasExtension(const char* list, const char* name) {
    if (!list) return false;
    const size_t n = std::strlen(name);
    for (const char* p = std::strstr(list, name); p; p = std::strstr(p + n, name))
        if ((p == list || p[-1] == ' ') && (p[n] == ' ' || p[n] == '\0')) return true;
    return false;
}

EGLDisplay initialised(EGLDisplay display) {
    if (display == EGL_NO_DISPLAY) return EGL_NO_DISPLAY;
    EGLint major = 0, minor = 0;
    return eglInitialize(display, &major, &minor) ? display : EGL_NO_DISPLAY;
}

// The first EGL device that draws in hardware, or with `software` the first of any kind.
EGLDisplay deviceDisplay(bool software) {
    const char* client = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (!hasExtension(client, "EGL_EXT_device_enumeration") && !hasExtension(client, "EGL_EXT_device_base"))
        return EGL_NO_DISPLAY;
    auto queryDevices = reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(eglGetProcAddress("eglQueryDevicesEXT"));
    auto queryDeviceString =
        reinterpret_cast<PFNEGLQUERYDEVICESTRINGEXTPROC>(eglGetProcAddress("eglQueryDeviceStringEXT"));
    EGLDeviceEXT devices[16];
    EGLint count = 0;
    if (!queryDevices || !queryDeviceString || !queryDevices(16, devices, &count)) return EGL_NO_DISPLAY;
    for (EGLint i = 0; i < count; ++i) {
        const bool isSoftware = hasExtension(queryDeviceString(devices[i], EGL_EXTENSIONS), "EGL_MESA_device_software");
        if (isSoftware && !software) continue;
        EGLDisplay display = initialised(eglGetPlatformDisplay(EGL_PLATFORM_DEVICE_EXT, devices[i], nullptr));
        if (display != EGL_NO_DISPLAY) return display;
    }
    return EGL_NO_DISPLAY;
}

// The process's one display without a window system, made on first use and kept to the
// end of the process: a GPU's device when there is one (unless LIBGL_ALWAYS_SOFTWARE
// asks for software), else Mesa's surfaceless platform, which draws with llvmpipe.
EGLDisplay offscreenDisplay() {
    static const EGLDisplay display = [] {
        const char* forced = std::getenv("LIBGL_ALWAYS_SOFTWARE");
        const bool softwareOnly = forced && *forced && std::strcmp(forced, "0") != 0;
        EGLDisplay d = softwareOnly ? EGL_NO_DISPLAY : deviceDisplay(false);
        if (d == EGL_NO_DISPLAY &&
            hasExtension(eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS), "EGL_MESA_platform_surfaceless"))
            d = initialised(eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr));
        if (d == EGL_NO_DISPLAY) d = deviceDisplay(true);
        return d;
    }();
    return display;
}

GLenum depthFormat(int bits) {
    return bits <= 16 ? GL_DEPTH_COMPONENT16 : bits <= 24 ? GL_DEPTH_COMPONENT24 : GL_DEPTH_COMPONENT32;
}

// Makes `context` current for a moment and puts back what was current before.
class CurrentFor {
public:
    explicit CurrentFor(EGLContext context)
        : display_(eglGetCurrentDisplay()), context_(eglGetCurrentContext()),
          draw_(eglGetCurrentSurface(EGL_DRAW)), read_(eglGetCurrentSurface(EGL_READ)), ours_(context) {
        if (context_ != ours_) eglMakeCurrent(offscreenDisplay(), EGL_NO_SURFACE, EGL_NO_SURFACE, ours_);
    }
    ~CurrentFor() {
        if (context_ == ours_) return;
        if (context_ == EGL_NO_CONTEXT) eglMakeCurrent(offscreenDisplay(), EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        else eglMakeCurrent(display_, draw_, read_, context_);
    }
    CurrentFor(const CurrentFor&) = delete;
    CurrentFor& operator=(const CurrentFor&) = delete;

private:
    EGLDisplay display_;
    EGLContext context_;
    EGLSurface draw_, read_;
    EGLContext ours_;
};

}  // namespace

const std::string& OffscreenView::why() { return lastWhy(); }

std::unique_ptr<OffscreenView> OffscreenView::create(Rect frame, const OpenGLPixelFormat& format, double scale) {
    std::string& why = lastWhy();
    EGLDisplay display = offscreenDisplay();
    if (display == EGL_NO_DISPLAY) {
        why = "EGL has no display without a window system (Mesa's surfaceless platform or a GPU device)";
        return nullptr;
    }
    if (!eglBindAPI(EGL_OPENGL_API)) {
        why = "EGL offers no desktop OpenGL";
        return nullptr;
    }
    const char* extensions = eglQueryString(display, EGL_EXTENSIONS);
    EGLConfig config = EGL_NO_CONFIG_KHR;
    if (!hasExtension(extensions, "EGL_KHR_no_config_context")) {
        const EGLint wanted[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
        EGLint count = 0;
        if (!eglChooseConfig(display, wanted, &config, 1, &count) || count < 1) {
            why = "EGL offers no desktop OpenGL config without a window system";
            return nullptr;
        }
    }
    // The module draws in GL 1.x's fixed function: a compatibility profile.
    const EGLint compatibility[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT,
                                    EGL_NONE};
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, compatibility);
    if (context == EGL_NO_CONTEXT) context = eglCreateContext(display, config, EGL_NO_CONTEXT, nullptr);
    if (context == EGL_NO_CONTEXT || !eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
        if (context != EGL_NO_CONTEXT) eglDestroyContext(display, context);
        why = "EGL makes no desktop OpenGL context without a surface";
        return nullptr;
    }
    std::unique_ptr<OffscreenView> view(new OffscreenView());
    view->context_ = context;
    view->depthBits_ = static_cast<int>(format.valueOf(NSOpenGLPFADepthSize, 16));
    GLint renderbufferMax = 0, viewportMax[2] = {0, 0};
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &renderbufferMax);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewportMax);
    view->maxSide_ = std::max(1, std::min({MAX_SIDE, int(renderbufferMax), int(viewportMax[0]), int(viewportMax[1])}));
    glGenFramebuffers(1, &view->framebuffer_);
    glBindFramebuffer(GL_FRAMEBUFFER, view->framebuffer_);
    view->setBackingScale(scale);
    view->setFrameSize(frame.size());
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        why = "the OpenGL driver cannot draw into a " + std::to_string(view->width_) + "x" +
              std::to_string(view->height_) + " framebuffer";
        return nullptr;
    }
    // A context made current without a surface starts with an empty viewport; give it
    // the buffer, as a window's context gets its window.
    glViewport(0, 0, view->width_, view->height_);
    glScissor(0, 0, view->width_, view->height_);
    why.clear();
    return view;
}

OpenGLViewFactory OffscreenView::factory(double scale) {
    return keepingFactory([scale](Rect frame, const OpenGLPixelFormat& format) -> std::unique_ptr<OpenGLView> {
        return create(frame, format, scale);
    });
}

OffscreenView::~OffscreenView() {
    EGLDisplay display = offscreenDisplay();
    {
        CurrentFor current(context_);
        if (colour_) glDeleteRenderbuffers(1, &colour_);
        if (depth_) glDeleteRenderbuffers(1, &depth_);
        if (framebuffer_) glDeleteFramebuffers(1, &framebuffer_);
    }
    if (eglGetCurrentContext() == context_) eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(display, context_);
}

void OffscreenView::makeCurrentContext() {
    stale_ = true;  // whatever comes next may draw
    if (eglGetCurrentContext() == context_) return;
    eglMakeCurrent(offscreenDisplay(), EGL_NO_SURFACE, EGL_NO_SURFACE, context_);
}

void OffscreenView::setValuesForParameter(const int*, int) {}

// A frame is finished once, as a window's is presented once: at flushBuffer, else at
// the end of the focus.
void OffscreenView::present() {
    runBeforePresent();
    glFinish();
    stale_ = true;
}

void OffscreenView::flushBuffer() {
    present();
    presentedInFocus_ = true;
}

void OffscreenView::lockFocus() {
    makeCurrentContext();
    presentedInFocus_ = false;
}

void OffscreenView::unlockFocus() {
    if (!presentedInFocus_) present();
    presentedInFocus_ = false;
}

void OffscreenView::setFrameSize(Size size) {
    auto side = [this](double points) {
        const int pixels = sideInPixels(points, backingScale());
        return std::clamp(pixels, 1, maxSide_);
    };
    const int w = side(size.width), h = side(size.height);
    if (w == width_ && h == height_) return;
    width_ = w;
    height_ = h;
    CurrentFor current(static_cast<EGLContext>(context_));
    allocate();
}

void OffscreenView::allocate() {
    if (!colour_) glGenRenderbuffers(1, &colour_);
    glBindRenderbuffer(GL_RENDERBUFFER, colour_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width_, height_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour_);
    if (depthBits_ > 0) {
        if (!depth_) glGenRenderbuffers(1, &depth_);
        glBindRenderbuffer(GL_RENDERBUFFER, depth_);
        glRenderbufferStorage(GL_RENDERBUFFER, depthFormat(depthBits_), width_, height_);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth_);
    }
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    // A new buffer starts transparent black, whatever the module's clear colour is.
    GLfloat colour[4];
    GLfloat depth = 1.0f;
    glGetFloatv(GL_COLOR_CLEAR_VALUE, colour);
    glGetFloatv(GL_DEPTH_CLEAR_VALUE, &depth);
    glClearColor(0, 0, 0, 0);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | (depth_ ? GL_DEPTH_BUFFER_BIT : 0));
    glClearColor(colour[0], colour[1], colour[2], colour[3]);
    glClearDepth(depth);
    stale_ = true;
}

const std::vector<uint8_t>& OffscreenView::pixels() const {
    if (!stale_) return buffer_;
    CurrentFor current(static_cast<EGLContext>(context_));
    buffer_.resize(static_cast<size_t>(width_) * static_cast<size_t>(height_) * 4);
    GLint alignment = 4;
    glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, buffer_.data());
    glPixelStorei(GL_PACK_ALIGNMENT, alignment);
    stale_ = false;
    return buffer_;
}

void OffscreenView::readTopDown(unsigned char* data, int stride) const {
    CurrentFor current(static_cast<EGLContext>(context_));
    // Mesa's drivers can write GL's rows (bottom first) top first themselves.
    static const bool packInvert =
        hasExtension(reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS)), "GL_MESA_pack_invert");
    GLint alignment = 4, rowLength = 0;
    glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
    glGetIntegerv(GL_PACK_ROW_LENGTH, &rowLength);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, stride / 4);
    if (packInvert) glPixelStorei(GL_PACK_INVERT_MESA, GL_TRUE);
    // BGRA as packed 8-8-8-8 words, highest byte alpha: the word is 0xAARRGGBB on either
    // byte order.
    glReadPixels(0, 0, width_, height_, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, data);
    if (packInvert) glPixelStorei(GL_PACK_INVERT_MESA, GL_FALSE);
    glPixelStorei(GL_PACK_ALIGNMENT, alignment);
    glPixelStorei(GL_PACK_ROW_LENGTH, rowLength);
    if (packInvert) return;
    std::vector<unsigned char> row(static_cast<size_t>(width_) * 4);
    for (int top = 0, bottom = height_ - 1; top < bottom; ++top, --bottom) {
        unsigned char* a = data + static_cast<size_t>(top) * stride;
        unsigned char* b = data + static_cast<size_t>(bottom) * stride;
        std::memcpy(row.data(), a, row.size());
        std::memcpy(a, b, row.size());
        std::memcpy(b, row.data(), row.size());
    }
}

uint32_t OffscreenView::pixelAt(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
    const uint8_t* p = &pixels()[(static_cast<size_t>(y) * width_ + x) * 4];
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

}  // namespace zorvan
