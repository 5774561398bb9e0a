#include "host/backends/wayland/PromptSurface.h"

#include "host/backends/wayland/ShmBuffer.h"

#include "viewporter-client-protocol.h"

#include <wayland-client.h>

#include <cmath>
#include <cstdint>

namespace zorvan::host {

namespace {

// Each picture's buffer goes once the compositor is done with it.
const wl_buffer_listener releaseListener = {
    [](void*, wl_buffer* buffer) { wl_buffer_destroy(buffer); },
};

}  // namespace

PromptSurface::PromptSurface(wl_compositor* compositor, wl_subcompositor* subcompositor, wl_shm* shm,
                             wp_viewporter* viewporter, int width, int height, Painter paint)
    : compositor_(compositor), subcompositor_(subcompositor), shm_(shm), viewporter_(viewporter), width_(width),
      height_(height), paint_(std::move(paint)) {}

PromptSurface::~PromptSurface() { unplace(); }

void PromptSurface::unplace() {
    if (viewport_) wp_viewport_destroy(viewport_);
    if (subsurface_) wl_subsurface_destroy(subsurface_);
    if (surface_) wl_surface_destroy(surface_);
    viewport_ = nullptr;
    subsurface_ = nullptr;
    surface_ = nullptr;
    parent_ = nullptr;
}

void PromptSurface::place(wl_surface* parent, int width, int height, double scale) {
    // A subsurface keeps its parent for life: a new parent takes a new surface.
    if (parent != parent_) {
        unplace();
        if (!parent || !subcompositor_) return;
        parent_ = parent;
        surface_ = wl_compositor_create_surface(compositor_);
        subsurface_ = wl_subcompositor_get_subsurface(subcompositor_, surface_, parent);
        wl_subsurface_set_desync(subsurface_);
        wl_region* none = wl_compositor_create_region(compositor_);
        wl_surface_set_input_region(surface_, none);
        wl_region_destroy(none);
        if (viewporter_) viewport_ = wp_viewporter_get_viewport(viewporter_, surface_);
    }
    if (!parent_) return;
    wl_subsurface_set_position(subsurface_, (width - width_) / 2, (height - height_) / 2);
    scale_ = viewport_ ? scale : std::max(1.0, std::round(scale));
    redraw();
}

void PromptSurface::redraw() {
    if (!surface_) return;
    const bool whole = scale_ == std::round(scale_);
    const int pixelsWide = int(std::ceil(width_ * scale_)), pixelsHigh = int(std::ceil(height_ * scale_));
    wl_buffer* buffer = shmBuffer(
        shm_, pixelsWide, pixelsHigh,
        [&](unsigned char* pixels, int stride) { paint_(pixels, pixelsWide, pixelsHigh, stride, scale_); }, true);
    if (!buffer) return;
    wl_buffer_add_listener(buffer, &releaseListener, nullptr);
    wl_surface_set_buffer_scale(surface_, whole ? int(scale_) : 1);
    if (viewport_) {
        if (whole) wp_viewport_set_destination(viewport_, -1, -1);
        else wp_viewport_set_destination(viewport_, width_, height_);
    }
    wl_surface_attach(surface_, buffer, 0, 0);
    wl_surface_damage(surface_, 0, 0, INT32_MAX, INT32_MAX);
    wl_surface_commit(surface_);
}

}  // namespace zorvan::host
