// A buffer in the compositor's shared memory, for what is drawn without GL: the black of
// a surface that has no view (or none yet), the lock screen's prompt. Does not keep the
// buffer or release it: that is the caller's.
#pragma once

#include <functional>

struct wl_buffer;
struct wl_shm;

namespace zorvan::host {

// A width x height buffer, black (a fresh memory file reads as zeros), with what `paint`
// draws over it (its pixels and their stride): opaque XRGB, or with `alpha` premultiplied
// ARGB (transparent where nothing is painted). Null when no memory could be had.
wl_buffer* shmBuffer(wl_shm* shm, int width, int height,
                     const std::function<void(unsigned char* pixels, int stride)>& paint = {}, bool alpha = false);

}  // namespace zorvan::host
