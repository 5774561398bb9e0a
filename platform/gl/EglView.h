// GL view on a Wayland surface through EGL: a desktop-GL compatibility context (the
// renderer's fixed-function calls draw as on GLX) drawing into a wl_egl_window on a
// wl_surface that the host owns.
// Implements: one EGL display and config per Wayland connection (EglConnection), shared
// by the views on it; contexts that share their objects with another view's; an 8-bit config without alpha (XRGB8888), so that the buffers
// are opaque and screenshots read them, with a 16-bit depth buffer, as the module's
// pixel format asks (and the GLX visual has); a
// buffer of the view's size in points times its backing scale, resized with the view;
// swap interval 0, so that a present never waits for the compositor (the host paces
// each surface by its frame callbacks); presenting as WindowGLView says.
// Does not implement: making, placing or scaling the wl_surface (the host does), the
// pixel format's accelerated and policy wishes, multisampling, GLES.
#pragma once

#include "platform/gl/WindowGLView.h"

#include <functional>
#include <memory>
#include <string>

struct wl_display;
struct wl_surface;
struct wl_egl_window;

namespace zorvan {

// The EGL display of one Wayland connection and the config its views use.
class EglConnection {
public:
    // Null, with `error` set to one line, when EGL offers no desktop GL on `display`.
    // `gpuBuffers` says whether the compositor takes buffers from a GPU at all (it offers
    // linux-dmabuf 4 or wl_drm, which name its device); where it does not, the driver goes
    // straight to software drawing into shared memory, instead of trying each GPU driver
    // first and printing why each failed.
    static std::unique_ptr<EglConnection> open(wl_display* display, bool gpuBuffers, std::string& error);
    ~EglConnection();
    EglConnection(const EglConnection&) = delete;
    EglConnection& operator=(const EglConnection&) = delete;

    void* display() const { return display_; }
    void* config() const { return config_; }

private:
    EglConnection() = default;
    void* display_ = nullptr;  // EGLDisplay
    void* config_ = nullptr;   // EGLConfig
};

class EglView : public WindowGLView {
public:
    // A view drawing into `surface`, its buffer `size` points at `scale` pixels a point,
    // on a context that shares its display lists and textures with `sharing`'s, when
    // given; null when EGL makes no context or window surface.
    static std::unique_ptr<EglView> create(EglConnection& connection, wl_surface* surface, Size size, double scale,
                                           const EglView* sharing = nullptr);

    ~EglView() override;

    void makeCurrentContext() override;
    void setValuesForParameter(const int* values, int parameter) override;
    // Resizes the buffer to `size` times the backing scale.
    void setFrameSize(Size size) override;

private:
    EglView() = default;
    void swapBuffers() override;

    EglConnection* connection_ = nullptr;
    wl_egl_window* window_ = nullptr;
    void* surface_ = nullptr;  // EGLSurface
    void* context_ = nullptr;  // EGLContext
    int width_ = 0, height_ = 0;
};

}  // namespace zorvan
