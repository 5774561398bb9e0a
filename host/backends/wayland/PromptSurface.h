// The lock screen's prompt on Wayland: a box drawn without GL in the middle of one of the
// backend's surfaces, as a subsurface of it with buffers of its own in shared memory
// (premultiplied ARGB, so that it may be translucent and round). It is desynchronized from
// its parent: a new picture shows at once, whatever the parent's frames do. The picture is
// painted at the parent's scale: a whole one as the buffer scale, any other at full
// resolution through a viewport, so that text stays crisp.
// Does not implement: what the box shows (the painter's), input (the box takes none: keys
// go to the seat's focus, the pointer to the surface beneath).
#pragma once

#include <functional>

struct wl_compositor;
struct wl_subcompositor;
struct wl_shm;
struct wl_surface;
struct wl_subsurface;
struct wp_viewporter;
struct wp_viewport;

namespace zorvan::host {

class PromptSurface {
public:
    // Paints the box into `pixels`: width x height premultiplied ARGB pixels, rows of
    // `stride` bytes, at `scale` pixels a point.
    using Painter = std::function<void(unsigned char* pixels, int width, int height, int stride, double scale)>;

    // A box of `width` x `height` points; `viewporter` may be null (whole scales only).
    PromptSurface(wl_compositor* compositor, wl_subcompositor* subcompositor, wl_shm* shm, wp_viewporter* viewporter,
                  int width, int height, Painter paint);
    ~PromptSurface();
    PromptSurface(const PromptSurface&) = delete;
    PromptSurface& operator=(const PromptSurface&) = delete;

    // Puts the box in the middle of `parent`, `width` x `height` points at `scale` (null:
    // nowhere), and paints it. The new place shows with the parent's next commit.
    void place(wl_surface* parent, int width, int height, double scale);
    wl_surface* parent() const { return parent_; }
    // Paints the box anew where it is.
    void redraw();

private:
    void unplace();

    wl_compositor* compositor_;
    wl_subcompositor* subcompositor_;
    wl_shm* shm_;
    wp_viewporter* viewporter_;
    const int width_, height_;
    Painter paint_;
    wl_surface* parent_ = nullptr;
    wl_surface* surface_ = nullptr;
    wl_subsurface* subsurface_ = nullptr;
    wp_viewport* viewport_ = nullptr;
    double scale_ = 1.0;
};

}  // namespace zorvan::host
