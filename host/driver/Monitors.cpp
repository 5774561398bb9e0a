#include "host/driver/Monitors.h"

#include <algorithm>

namespace zorvan::host {

namespace {

long long overlap(const PixelRect& a, const PixelRect& b) {
    const long long w = std::min<long long>(a.x + a.width, b.x + b.width) - std::max(a.x, b.x);
    const long long h = std::min<long long>(a.y + a.height, b.y + b.height) - std::max(a.y, b.y);
    return w > 0 && h > 0 ? w * h : 0;
}

bool contains(const PixelRect& outer, const PixelRect& inner) {
    return inner.x >= outer.x && inner.y >= outer.y &&
           static_cast<long long>(inner.x) + inner.width <= static_cast<long long>(outer.x) + outer.width &&
           static_cast<long long>(inner.y) + inner.height <= static_cast<long long>(outer.y) + outer.height;
}

}  // namespace

int primaryIndex(const std::vector<Monitor>& monitors) {
    for (size_t i = 0; i < monitors.size(); ++i)
        if (monitors[i].primary) return static_cast<int>(i);
    return monitors.empty() ? -1 : 0;
}

Rect frameOf(const PixelRect& area, const std::vector<Monitor>& monitors) {
    const int p = primaryIndex(monitors);
    const PixelRect primary = p < 0 ? area : monitors[size_t(p)].area;
    // x keeps its direction; y turns over about the primary monitor's bottom edge.
    const double x = double(area.x) - double(primary.x);
    const double y = (double(primary.y) + double(primary.height)) -
                     (double(area.y) + double(area.height));
    return Rect{x, y, double(area.width), double(area.height)};
}

PixelRect screenAreaOf(const PixelRect& window, const std::vector<Monitor>& monitors) {
    const Monitor* best = nullptr;
    long long bestOverlap = 0;
    for (const Monitor& m : monitors) {
        const long long o = overlap(window, m.area);
        if (o > bestOverlap) {
            bestOverlap = o;
            best = &m;
        }
    }
    if (best && contains(best->area, window)) return best->area;
    return window;
}

}  // namespace zorvan::host
