// The gamma fade around a full-screen run: the displays fade to black before the first
// frame and back after the last, through the gamma ramps of the XRandR CRTCs.
// Implements: reading every CRTC's ramp at the start, scaling all of them towards
// black in small steps, and putting the saved ramps back (also from the destructor,
// so every way out of the run restores them).
// Does not implement: the older whole-screen gamma of XF86VidMode, colour maps, or a
// fade where the server keeps no ramps (a ramp that reads back all zero has never
// been set and is taken as none): there the run starts at once.
#pragma once

#include <chrono>
#include <vector>

typedef struct _XDisplay Display;

namespace zorvan::host {

class StopSignals;

class GammaFade {
public:
    explicit GammaFade(Display* display);
    ~GammaFade();  // puts the saved ramps back
    GammaFade(const GammaFade&) = delete;
    GammaFade& operator=(const GammaFade&) = delete;

    // True when some CRTC has a ramp to fade.
    bool available() const { return !crtcs_.empty(); }
    // Every ramp at `fraction` of its saved value (0 black, 1 as saved).
    void set(double fraction);
    // From `from` to `to` over `duration` in small steps; stops at once when a stop
    // signal arrives and returns false then.
    bool fade(double from, double to, std::chrono::milliseconds duration, const StopSignals& stop);
    // The saved ramps, as they were at the start.
    void restore() { set(1.0); }

private:
    struct Crtc {
        unsigned long id;
        std::vector<unsigned short> red, green, blue;
    };
    Display* display_;
    std::vector<Crtc> crtcs_;
    double current_ = 1.0;
};

}  // namespace zorvan::host
