#include "platform/gl/EglView.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <wayland-egl.h>

#include <cmath>
#include <cstdlib>

namespace zorvan {

namespace {

EGLDisplay eglDisplayOf(const EglConnection& c) { return static_cast<EGLDisplay>(c.display()); }

}  // namespace

std::unique_ptr<EglConnection> EglConnection::open(wl_display* display, bool gpuBuffers, std::string& error) {
    EGLDisplay egl = eglGetPlatformDisplay(EGL_PLATFORM_WAYLAND_KHR, display, nullptr);
    EGLint major = 0, minor = 0;
    // Mesa reads LIBGL_ALWAYS_SOFTWARE as it initialises a display; a choice the user made
    // stands, and ours is gone again once the display is up.
    const bool software = !gpuBuffers && !std::getenv("LIBGL_ALWAYS_SOFTWARE");
    if (software) setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
    const bool initialised = egl != EGL_NO_DISPLAY && eglInitialize(egl, &major, &minor);
    if (software) unsetenv("LIBGL_ALWAYS_SOFTWARE");
    if (!initialised) {
        error = "EGL cannot draw on this Wayland display";
        return nullptr;
    }
    const EGLint attributes[] = {EGL_SURFACE_TYPE, EGL_WINDOW_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                                 EGL_RED_SIZE,     8,              EGL_GREEN_SIZE,      8,
                                 EGL_BLUE_SIZE,    8,              EGL_DEPTH_SIZE,      16,
                                 EGL_NONE};
    EGLConfig configs[64];
    EGLint count = 0;
    if (!eglBindAPI(EGL_OPENGL_API) || !eglChooseConfig(egl, attributes, configs, 64, &count) || count < 1) {
        eglTerminate(egl);
        error = "EGL offers no desktop OpenGL config on this Wayland display";
        return nullptr;
    }
    // 8 bits a channel and no alpha (XRGB8888): opaque buffers in the format that
    // compositors' screenshots and recorders expect (a 10-bit one shows empty in some).
    // Else the first without alpha (the list comes deepest first), else the first.
    auto bits = [&](EGLConfig c, EGLint attribute) {
        EGLint value = -1;
        return eglGetConfigAttrib(egl, c, attribute, &value) ? value : -1;
    };
    EGLConfig config = nullptr;
    for (EGLint i = 0; i < count && !config; ++i)
        if (bits(configs[i], EGL_ALPHA_SIZE) == 0 && bits(configs[i], EGL_RED_SIZE) == 8 &&
            bits(configs[i], EGL_GREEN_SIZE) == 8 && bits(configs[i], EGL_BLUE_SIZE) == 8)
            config = configs[i];
    for (EGLint i = 0; i < count && !config; ++i)
        if (bits(configs[i], EGL_ALPHA_SIZE) == 0) config = configs[i];
    if (!config) config = configs[0];
    std::unique_ptr<EglConnection> connection(new EglConnection());
    connection->display_ = egl;
    connection->config_ = config;
    return connection;
}

EglConnection::~EglConnection() {
    EGLDisplay egl = static_cast<EGLDisplay>(display_);
    eglMakeCurrent(egl, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
#if defined(__SANITIZE_ADDRESS__)
    // Terminating unloads the GL driver, and the leak checker can then no longer name
    // (nor so suppress) the few bytes it keeps: under the sanitizers the display is
    // left to the end of the process, as the X11 backend leaves its connection.
#else
    eglTerminate(egl);
    eglReleaseThread();
#endif
}

std::unique_ptr<EglView> EglView::create(EglConnection& connection, wl_surface* surface, Size size, double scale,
                                         const EglView* sharing) {
    const int width = sideInPixels(size.width, scale), height = sideInPixels(size.height, scale);
    if (!surface || width < 1 || height < 1) return nullptr;
    EGLDisplay egl = eglDisplayOf(connection);
    auto config = static_cast<EGLConfig>(connection.config());
    eglBindAPI(EGL_OPENGL_API);
    EGLContext context =
        eglCreateContext(egl, config, sharing ? static_cast<EGLContext>(sharing->context_) : EGL_NO_CONTEXT, nullptr);
    if (context == EGL_NO_CONTEXT) return nullptr;
    wl_egl_window* window = wl_egl_window_create(surface, width, height);
    EGLSurface drawable =
        window ? eglCreatePlatformWindowSurface(egl, config, window, nullptr) : EGL_NO_SURFACE;
    if (drawable == EGL_NO_SURFACE) {
        if (window) wl_egl_window_destroy(window);
        eglDestroyContext(egl, context);
        return nullptr;
    }
    std::unique_ptr<EglView> view(new EglView());
    view->connection_ = &connection;
    view->window_ = window;
    view->surface_ = drawable;
    view->context_ = context;
    view->width_ = width;
    view->height_ = height;
    view->setBackingScale(scale);
    // Never wait in a present: a covered surface gets no frame callbacks, and a swap
    // waiting for one would stop every other surface of the program too.
    view->makeCurrentContext();
    eglSwapInterval(egl, 0);
    return view;
}

EglView::~EglView() {
    EGLDisplay egl = eglDisplayOf(*connection_);
    if (eglGetCurrentContext() == context_) eglMakeCurrent(egl, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroySurface(egl, static_cast<EGLSurface>(surface_));
    wl_egl_window_destroy(window_);
    eglDestroyContext(egl, static_cast<EGLContext>(context_));
}

void EglView::makeCurrentContext() {
    if (eglGetCurrentContext() == context_ && eglGetCurrentSurface(EGL_DRAW) == surface_) return;
    eglMakeCurrent(eglDisplayOf(*connection_), static_cast<EGLSurface>(surface_), static_cast<EGLSurface>(surface_),
                   static_cast<EGLContext>(context_));
}

// The interval stays 0 whatever the module asks: the host paces the frames.
void EglView::setValuesForParameter(const int*, int) {}

void EglView::swapBuffers() {
    eglSwapBuffers(eglDisplayOf(*connection_), static_cast<EGLSurface>(surface_));
}

void EglView::setFrameSize(Size size) {
    const int width = sideInPixels(size.width, backingScale()), height = sideInPixels(size.height, backingScale());
    if (width < 1 || height < 1 || (width == width_ && height == height_)) return;
    width_ = width;
    height_ = height;
    wl_egl_window_resize(window_, width, height, 0, 0);
}

}  // namespace zorvan
