// The monitor list through XRandR 1.5 (XRRGetMonitors): logical monitors, which also
// covers monitors that were set by hand (xrandr --setmonitor) and split screens.
// Does not follow monitor changes during a run: each view keeps the frame it was
// created with, and window size changes reach it as resizes.
#include "host/backends/x11/RandrMonitors.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

namespace zorvan::host {

std::vector<Monitor> queryMonitors(Display* display) {
    std::vector<Monitor> monitors;
    const int screen = DefaultScreen(display);
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (XRRQueryExtension(display, &eventBase, &errorBase) &&
        XRRQueryVersion(display, &major, &minor) && (major > 1 || (major == 1 && minor >= 5))) {
        int count = 0;
        XRRMonitorInfo* info = XRRGetMonitors(display, RootWindow(display, screen), True, &count);
        for (int i = 0; info && i < count; ++i) {
            if (info[i].width <= 0 || info[i].height <= 0) continue;
            monitors.push_back({{info[i].x, info[i].y, info[i].width, info[i].height},
                                info[i].primary != 0});
        }
        if (info) XRRFreeMonitors(info);
    }
    if (monitors.empty())
        monitors.push_back({{0, 0, DisplayWidth(display, screen), DisplayHeight(display, screen)}, true});
    return monitors;
}

}  // namespace zorvan::host
