// zorvan-test-inhibitor: a window that inhibits idle while it is seen, as a video player's
// does: an xdg toplevel showing a grey buffer (shared memory), with an idle inhibitor
// (zwp_idle_inhibitor_v1) on its surface. It says "ready" once the compositor has shown
// it, and runs until it is killed. Exit status 1 when the compositor lacks a protocol.
#include "idle-inhibit-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr int SIDE = 64;

struct State {
    wl_compositor* compositor = nullptr;
    wl_shm* shm = nullptr;
    xdg_wm_base* wmBase = nullptr;
    zwp_idle_inhibit_manager_v1* inhibitManager = nullptr;
    bool configured = false;
};

void global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
    auto* s = static_cast<State*>(data);
    if (!std::strcmp(interface, wl_compositor_interface.name))
        s->compositor = static_cast<wl_compositor*>(wl_registry_bind(registry, name, &wl_compositor_interface, 1));
    else if (!std::strcmp(interface, wl_shm_interface.name))
        s->shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
    else if (!std::strcmp(interface, xdg_wm_base_interface.name))
        s->wmBase = static_cast<xdg_wm_base*>(wl_registry_bind(registry, name, &xdg_wm_base_interface, 1));
    else if (!std::strcmp(interface, zwp_idle_inhibit_manager_v1_interface.name))
        s->inhibitManager = static_cast<zwp_idle_inhibit_manager_v1*>(
            wl_registry_bind(registry, name, &zwp_idle_inhibit_manager_v1_interface, 1));
}

const wl_registry_listener registryListener{global, [](void*, wl_registry*, uint32_t) {}};
const xdg_wm_base_listener wmBaseListener{[](void*, xdg_wm_base* base, uint32_t serial) { xdg_wm_base_pong(base, serial); }};
const xdg_surface_listener surfaceListener{[](void* data, xdg_surface* surface, uint32_t serial) {
    xdg_surface_ack_configure(surface, serial);
    static_cast<State*>(data)->configured = true;
}};

// A grey buffer of SIDE x SIDE pixels.
wl_buffer* greyBuffer(wl_shm* shm) {
    const int stride = SIDE * 4, size = stride * SIDE;
    const int fd = memfd_create("zorvan-test-inhibitor", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, size) != 0) return nullptr;
    void* pixels = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (pixels == MAP_FAILED) return nullptr;
    std::memset(pixels, 0x80, size_t(size));
    munmap(pixels, size);
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, size);
    wl_buffer* buffer = wl_shm_pool_create_buffer(pool, 0, SIDE, SIDE, stride, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    return buffer;
}

}  // namespace

int main() {
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "zorvan-test-inhibitor: no Wayland display\n");
        return 1;
    }
    State state;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, &state);
    wl_display_roundtrip(display);
    if (!state.compositor || !state.shm || !state.wmBase || !state.inhibitManager) {
        std::fprintf(stderr, "zorvan-test-inhibitor: the compositor lacks %s\n",
                     !state.inhibitManager ? "the idle-inhibit protocol" : "a core protocol");
        return 1;
    }
    xdg_wm_base_add_listener(state.wmBase, &wmBaseListener, nullptr);
    wl_surface* surface = wl_compositor_create_surface(state.compositor);
    xdg_surface* xdgSurface = xdg_wm_base_get_xdg_surface(state.wmBase, surface);
    xdg_surface_add_listener(xdgSurface, &surfaceListener, &state);
    xdg_toplevel* toplevel = xdg_surface_get_toplevel(xdgSurface);
    xdg_toplevel_set_title(toplevel, "idle inhibitor");
    zwp_idle_inhibit_manager_v1_create_inhibitor(state.inhibitManager, surface);
    wl_surface_commit(surface);
    while (!state.configured && wl_display_dispatch(display) >= 0) {
    }
    wl_buffer* buffer = greyBuffer(state.shm);
    if (!buffer) return 1;
    wl_surface_attach(surface, buffer, 0, 0);
    wl_surface_damage(surface, 0, 0, SIDE, SIDE);
    wl_surface_commit(surface);
    wl_display_roundtrip(display);
    std::puts("ready");
    std::fflush(stdout);
    while (wl_display_dispatch(display) >= 0) {
    }
    return 0;
}
