#include "host/backends/x11/GammaFade.h"

#include "host/driver/StopSignals.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>

namespace zorvan::host {

namespace {

constexpr int STEPS_PER_SECOND = 40;

}  // namespace

GammaFade::GammaFade(Display* display) : display_(display) {
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XRRQueryExtension(display, &eventBase, &errorBase) ||
        !XRRQueryVersion(display, &major, &minor) || (major == 1 && minor < 2))
        return;
    XRRScreenResources* resources =
        XRRGetScreenResourcesCurrent(display, RootWindow(display, DefaultScreen(display)));
    if (!resources) return;
    for (int i = 0; i < resources->ncrtc; ++i) {
        const RRCrtc id = resources->crtcs[i];
        const int size = XRRGetCrtcGammaSize(display, id);
        if (size <= 0) continue;
        XRRCrtcGamma* gamma = XRRGetCrtcGamma(display, id);
        if (!gamma) continue;
        Crtc crtc{id, {gamma->red, gamma->red + gamma->size},
                  {gamma->green, gamma->green + gamma->size},
                  {gamma->blue, gamma->blue + gamma->size}};
        XRRFreeGamma(gamma);
        auto zero = [](unsigned short v) { return v == 0; };
        const bool unset = std::all_of(crtc.red.begin(), crtc.red.end(), zero) &&
                           std::all_of(crtc.green.begin(), crtc.green.end(), zero) &&
                           std::all_of(crtc.blue.begin(), crtc.blue.end(), zero);
        if (!unset) crtcs_.push_back(std::move(crtc));
    }
    XRRFreeScreenResources(resources);
}

GammaFade::~GammaFade() {
    if (current_ != 1.0) restore();
}

void GammaFade::set(double fraction) {
    fraction = std::clamp(fraction, 0.0, 1.0);
    for (const Crtc& crtc : crtcs_) {
        const int size = static_cast<int>(crtc.red.size());
        XRRCrtcGamma* gamma = XRRAllocGamma(size);
        if (!gamma) continue;
        for (int i = 0; i < size; ++i) {
            gamma->red[i] = static_cast<unsigned short>(crtc.red[size_t(i)] * fraction);
            gamma->green[i] = static_cast<unsigned short>(crtc.green[size_t(i)] * fraction);
            gamma->blue[i] = static_cast<unsigned short>(crtc.blue[size_t(i)] * fraction);
        }
        XRRSetCrtcGamma(display_, crtc.id, gamma);
        XRRFreeGamma(gamma);
    }
    XSync(display_, False);
    current_ = fraction;
}

bool GammaFade::fade(double from, double to, std::chrono::milliseconds duration,
                     const StopSignals& stop) {
    if (!available()) return !stop.requested();
    const int steps = std::max(1, int(duration.count() * STEPS_PER_SECOND / 1000));
    const auto pause = std::chrono::duration_cast<std::chrono::nanoseconds>(duration) / steps;
    for (int i = 1; i <= steps; ++i) {
        if (stop.sleepFor(pause)) return false;
        set(from + (to - from) * double(i) / double(steps));
    }
    return true;
}

}  // namespace zorvan::host
