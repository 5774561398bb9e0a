// An output of a Wayland compositor as the Wayland backend sees it: its rectangle in
// the compositor's logical space, its current mode and its scale.
// Implements: wl_output (version 3 at most) with the logical rectangle from
// zxdg_output_v1 where the compositor offers it (else its position, and its mode over
// its whole scale); the scale an output's surfaces are drawn at, fractional where the
// compositor offers fractional scales.
// Does not implement: names and descriptions, the physical size, transforms.
#pragma once

#include "host/driver/Monitors.h"

#include <cstdint>
#include <functional>
#include <memory>

struct wl_output;
struct wl_registry;
struct zxdg_output_manager_v1;
struct zxdg_output_v1;

namespace zorvan::host {

struct WaylandOutput {
    uint32_t name = 0;  // the registry's
    wl_output* output = nullptr;
    zxdg_output_v1* xdgOutput = nullptr;
    PixelRect logical;  // in the compositor's logical space, y downward
    int modeWidth = 0, modeHeight = 0;
    int scale = 1;
    bool outputDone = false, xdgDone = false;
    bool described = false;  // its first description is complete
    bool removed = false;
    std::function<void(WaylandOutput&)> firstDescribed;  // called once, when `described` becomes true

    // The output that the registry announces as `name`, bound and listened to.
    static std::unique_ptr<WaylandOutput> bind(wl_registry* registry, uint32_t name, uint32_t version,
                                               std::function<void(WaylandOutput&)> firstDescribed);
    // Asks xdg-output for the logical rectangle (once; none without a manager).
    void describeLogically(zxdg_output_manager_v1* manager);
    // Lets the output go (the compositor removed it, or the connection closes).
    void release();
    // The scale of the output's surfaces: where the compositor offers fractional scales,
    // its mode over its logical size in 120ths (its wl_output scale is that rounded up),
    // else its wl_output scale.
    double surfaceScale(bool fractionalScales) const;
};

}  // namespace zorvan::host
