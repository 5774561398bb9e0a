// The floor for Zorvan full screen on Wayland: a layer-shell overlay surface on every
// output (all edges anchored, exclusive zone -1), each an EGL window at its output's
// scale, one desktop GL context for all. FRAMES frames of N quads: on each tick of a 60
// a second clock, every surface whose last frame the compositor has called back is
// drawn and swapped, without waiting in the swap. Ends early on SIGTERM. Nothing else.
//   bare_wayland FRAMES N
#include "Quads.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <poll.h>
#include <sys/timerfd.h>
#include <unistd.h>
#include <wayland-client.h>
#include <wayland-egl.h>

#include "wlr-layer-shell-unstable-v1-client-protocol.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <list>
#include <memory>

namespace {

struct Output {
    wl_output* output = nullptr;
    int scale = 1;
    wl_surface* surface = nullptr;
    wl_egl_window* window = nullptr;
    EGLSurface egl = EGL_NO_SURFACE;
    std::unique_ptr<bare::Quads> quads;
    int width = 0, height = 0;  // in pixels
    bool ready = false;         // configured, and its last frame called back
};

volatile std::sig_atomic_t stopped = 0;
int motes = 0;
wl_compositor* compositor = nullptr;
zwlr_layer_shell_v1* shell = nullptr;
std::list<Output> outputs;
EGLDisplay egl = EGL_NO_DISPLAY;
EGLConfig config = nullptr;
EGLContext context = EGL_NO_CONTEXT;

auto ignore = [](auto...) {};

const wl_output_listener outputListener = {
    ignore, ignore, ignore,
    [](void* data, wl_output*, int32_t scale) { static_cast<Output*>(data)->scale = scale; }, ignore, ignore};

const wl_registry_listener registryListener = {
    [](void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
        if (!std::strcmp(interface, wl_compositor_interface.name)) {
            compositor = static_cast<wl_compositor*>(wl_registry_bind(registry, name, &wl_compositor_interface, 3));
        } else if (!std::strcmp(interface, zwlr_layer_shell_v1_interface.name)) {
            shell = static_cast<zwlr_layer_shell_v1*>(
                wl_registry_bind(registry, name, &zwlr_layer_shell_v1_interface, 1));
        } else if (!std::strcmp(interface, wl_output_interface.name)) {
            Output& o = outputs.emplace_back();
            o.output = static_cast<wl_output*>(wl_registry_bind(registry, name, &wl_output_interface, 2));
            wl_output_add_listener(o.output, &outputListener, &o);
        }
    },
    ignore};

const wl_callback_listener frameListener = {[](void* data, wl_callback* callback, uint32_t) {
    static_cast<Output*>(data)->ready = true;
    wl_callback_destroy(callback);
}};

const zwlr_layer_surface_v1_listener layerListener = {
    [](void* data, zwlr_layer_surface_v1* layer, uint32_t serial, uint32_t width, uint32_t height) {
        Output& o = *static_cast<Output*>(data);
        zwlr_layer_surface_v1_ack_configure(layer, serial);
        const int w = int(width) * o.scale, h = int(height) * o.scale;
        if (!o.window) {
            o.window = wl_egl_window_create(o.surface, w, h);
            o.egl = eglCreateWindowSurface(egl, config, reinterpret_cast<EGLNativeWindowType>(o.window), nullptr);
            eglMakeCurrent(egl, o.egl, o.egl, context);
            eglSwapInterval(egl, 0);
            o.ready = true;
        }
        if (w != o.width || h != o.height) {
            wl_egl_window_resize(o.window, w, h, 0, 0);
            o.quads = std::make_unique<bare::Quads>(motes, w, h, o.scale);
            o.width = w;
            o.height = h;
        }
    },
    [](void*, zwlr_layer_surface_v1*) { stopped = 1; }};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: bare_wayland FRAMES N\n");
        return 2;
    }
    const long frames = std::atol(argv[1]);
    motes = std::atoi(argv[2]);
    std::signal(SIGTERM, [](int) { stopped = 1; });

    wl_display* display = wl_display_connect(nullptr);
    if (!display) return 1;
    wl_registry_add_listener(wl_display_get_registry(display), &registryListener, nullptr);
    wl_display_roundtrip(display);  // the globals
    wl_display_roundtrip(display);  // the outputs' scales
    if (!compositor || !shell || outputs.empty()) return 1;

    egl = eglGetPlatformDisplay(EGL_PLATFORM_WAYLAND_KHR, display, nullptr);
    if (!eglInitialize(egl, nullptr, nullptr) || !eglBindAPI(EGL_OPENGL_API)) return 1;
    const EGLint attributes[] = {EGL_SURFACE_TYPE, EGL_WINDOW_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                                 EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8, EGL_DEPTH_SIZE, 16,
                                 EGL_NONE};
    EGLConfig configs[64];
    EGLint count = 0;
    eglChooseConfig(egl, attributes, configs, 64, &count);
    for (EGLint i = 0; i < count && !config; ++i) {
        EGLint alpha = 0;
        eglGetConfigAttrib(egl, configs[i], EGL_ALPHA_SIZE, &alpha);
        if (alpha == 0) config = configs[i];
    }
    if (!config || !(context = eglCreateContext(egl, config, EGL_NO_CONTEXT, nullptr))) return 1;

    for (Output& o : outputs) {
        o.surface = wl_compositor_create_surface(compositor);
        wl_surface_set_buffer_scale(o.surface, o.scale);
        zwlr_layer_surface_v1* layer = zwlr_layer_shell_v1_get_layer_surface(
            shell, o.surface, o.output, ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, "bare");
        zwlr_layer_surface_v1_set_anchor(layer, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP |
                                                    ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                                                    ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT |
                                                    ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
        zwlr_layer_surface_v1_set_exclusive_zone(layer, -1);
        zwlr_layer_surface_v1_add_listener(layer, &layerListener, &o);
        wl_surface_commit(o.surface);
    }

    // The clock: a tick every 1/60 s. Between ticks, the compositor's events.
    const int timer = timerfd_create(CLOCK_MONOTONIC, 0);
    const itimerspec tick{{0, 1000000000L / 60}, {0, 1000000000L / 60}};
    timerfd_settime(timer, 0, &tick, nullptr);
    for (long drawn = 0; drawn < frames && !stopped;) {
        while (wl_display_prepare_read(display) != 0) wl_display_dispatch_pending(display);
        wl_display_flush(display);
        pollfd fds[] = {{wl_display_get_fd(display), POLLIN, 0}, {timer, POLLIN, 0}};
        const int events = poll(fds, 2, -1);
        if (events > 0 && fds[0].revents) {
            if (wl_display_read_events(display) < 0) break;
        } else {
            wl_display_cancel_read(display);
        }
        if (wl_display_dispatch_pending(display) < 0) break;
        if (events <= 0 || !fds[1].revents) continue;
        uint64_t expirations;
        if (read(timer, &expirations, sizeof expirations) < 0) continue;
        bool any = false;
        for (Output& o : outputs) {
            if (!o.ready) continue;
            eglMakeCurrent(egl, o.egl, o.egl, context);
            o.quads->drawFrame();
            o.ready = false;
            wl_callback_add_listener(wl_surface_frame(o.surface), &frameListener, &o);
            eglSwapBuffers(egl, o.egl);
            any = true;
        }
        drawn += any;
    }
    eglMakeCurrent(egl, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglTerminate(egl);
    wl_display_disconnect(display);
    return 0;
}
