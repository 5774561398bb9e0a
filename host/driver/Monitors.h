// Monitors and the frames of the views on them, shared by the window systems.
//
// X places monitors in root-window pixels (a Wayland compositor its outputs in its
// logical space), origin at the top-left, y downward. The saver view wants its
// screen's frame with the origin at the lower-left corner of the primary monitor, y
// upward: the frame of the primary monitor then starts at (0, 0), which is how the
// view tells the main screen from the others.
#pragma once

#include "platform/Geometry.h"

#include <vector>

namespace zorvan::host {

// A rectangle in root-window pixels (y downward).
struct PixelRect {
    int x = 0, y = 0, width = 0, height = 0;
};

struct Monitor {
    PixelRect area;
    bool primary = false;  // XRandR's primary monitor
};

// The index of the primary monitor: the one marked primary, else the first; -1 for none.
int primaryIndex(const std::vector<Monitor>& monitors);

// `area` as a frame whose origin is the lower-left corner of the primary monitor, y
// upward. Without monitors the area is taken on its own: its frame starts at (0, 0).
Rect frameOf(const PixelRect& area, const std::vector<Monitor>& monitors);

// The area of the screen that a window at `window` stands for: the monitor that the
// window lies within (the one it overlaps most, when it lies within it), else the
// window's own area, as for a window spanning several monitors.
PixelRect screenAreaOf(const PixelRect& window, const std::vector<Monitor>& monitors);

}  // namespace zorvan::host
