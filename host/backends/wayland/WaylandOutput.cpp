#include "host/backends/wayland/WaylandOutput.h"

#include "xdg-output-unstable-v1-client-protocol.h"

#include <wayland-client.h>

#include <algorithm>
#include <cmath>

namespace zorvan::host {

namespace {

// wp_fractional_scale_v1 gives scales in 120ths.
constexpr double FRACTION = 120.0;

WaylandOutput* outputOf(void* data) { return static_cast<WaylandOutput*>(data); }

void describedOnce(WaylandOutput& o) {
    if (o.described) return;
    o.described = true;
    if (o.firstDescribed) o.firstDescribed(o);
}

// An output's mode, scale and position; the logical ones from xdg-output where offered.
const wl_output_listener outputListener = {
    [](void* data, wl_output*, int32_t x, int32_t y, int32_t, int32_t, int32_t, const char*, const char*, int32_t) {
        auto* o = outputOf(data);
        if (!o->xdgOutput) o->logical.x = x, o->logical.y = y;
    },
    [](void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t) {
        auto* o = outputOf(data);
        if (!(flags & WL_OUTPUT_MODE_CURRENT)) return;
        o->modeWidth = width;
        o->modeHeight = height;
    },
    [](void* data, wl_output*) {
        auto* o = outputOf(data);
        if (!o->xdgOutput) {
            o->logical.width = o->modeWidth / std::max(o->scale, 1);
            o->logical.height = o->modeHeight / std::max(o->scale, 1);
        }
        o->outputDone = true;
        if (!o->xdgOutput || o->xdgDone) describedOnce(*o);
    },
    [](void* data, wl_output*, int32_t factor) { outputOf(data)->scale = factor; },
    [](void*, wl_output*, const char*) {},
    [](void*, wl_output*, const char*) {},
};

const zxdg_output_v1_listener xdgOutputListener = {
    [](void* data, zxdg_output_v1*, int32_t x, int32_t y) {
        auto* o = outputOf(data);
        o->logical.x = x, o->logical.y = y;
    },
    [](void* data, zxdg_output_v1*, int32_t width, int32_t height) {
        auto* o = outputOf(data);
        o->logical.width = width, o->logical.height = height;
    },
    [](void* data, zxdg_output_v1*) {
        auto* o = outputOf(data);
        o->xdgDone = true;
        if (o->outputDone) describedOnce(*o);
    },
    [](void*, zxdg_output_v1*, const char*) {},
    [](void*, zxdg_output_v1*, const char*) {},
};

}  // namespace

std::unique_ptr<WaylandOutput> WaylandOutput::bind(wl_registry* registry, uint32_t name, uint32_t version,
                                                   std::function<void(WaylandOutput&)> firstDescribed) {
    auto o = std::make_unique<WaylandOutput>();
    o->name = name;
    o->firstDescribed = std::move(firstDescribed);
    o->output = static_cast<wl_output*>(wl_registry_bind(registry, name, &wl_output_interface, std::min(version, 3u)));
    wl_output_add_listener(o->output, &outputListener, o.get());
    return o;
}

void WaylandOutput::describeLogically(zxdg_output_manager_v1* manager) {
    if (!manager || xdgOutput || !output) return;
    xdgOutput = zxdg_output_manager_v1_get_xdg_output(manager, output);
    zxdg_output_v1_add_listener(xdgOutput, &xdgOutputListener, this);
}

void WaylandOutput::release() {
    if (xdgOutput) zxdg_output_v1_destroy(xdgOutput);
    xdgOutput = nullptr;
    if (!output) return;
    if (wl_output_get_version(output) >= WL_OUTPUT_RELEASE_SINCE_VERSION) wl_output_release(output);
    else wl_output_destroy(output);
    output = nullptr;
}

double WaylandOutput::surfaceScale(bool fractionalScales) const {
    const int side = std::max(logical.width, logical.height), mode = std::max(modeWidth, modeHeight);
    if (!fractionalScales || side < 1 || mode < side) return scale;
    return std::round(double(mode) / side * FRACTION) / FRACTION;
}

}  // namespace zorvan::host
