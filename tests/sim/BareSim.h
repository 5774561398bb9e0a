// A bare simulation for the simulation tests: a swarm and a logo as values, with what a
// view would hand them (the mode, speed and smoothness, the colour mode and colours),
// under the names of the view's own fields so that a test reads like the view's code.
// No view and no OpenGL.
#pragma once

#include "logo/LogoPicture.h"
#include "settings/Settings.h"
#include "sim/Swarm.h"

#include <cstdlib>
#include <memory>
#include <vector>

namespace zorvan::test {

struct BareSim : Swarm, LogoPicture {
    int mode = MODE_FLOW;
    float speed = 0.8f;
    float smoothness = 0.99f;
    int colourMode = COLOURS_DEFAULT;
    Colour light = LIGHT;
    Colour heavy = HEAVY;

    void advanceMotes() { Swarm::advanceMotes(mode, speed, smoothness); }
    void initMote(int i) { Swarm::initMote(i, seeding(colourMode == COLOURS_LOGO, light, heavy)); }
};

inline BareSim& state(BareSim& sim) { return sim; }
inline BareSim& state(const std::unique_ptr<BareSim>& sim) { return *sim; }

// A swarm of w x h with the default speed and smoothness, the default colours, cells of
// a third of the size (at least 1) and room for `count` motes (not yet seeded).
inline std::unique_ptr<BareSim> makeBareSim(int w, int h, int count) {
    auto sim = std::make_unique<BareSim>();
    sim->displayWidth = w;
    sim->displayHeight = h;
    sim->fieldWidth = w / 3 > 0 ? w / 3 : 1;
    sim->fieldHeight = h / 3 > 0 ? h / 3 : 1;
    sim->numMotes = count;
    sim->allocateMotes();
    return sim;
}

inline void seedAll(BareSim& sim) {
    for (int i = 0; i < sim.numMotes; ++i) sim.initMote(i);
}

// The next `count` results of random(), taken after srandom(seed); leaves the generator
// seeded again with `seed`, so the code under test sees the same sequence.
inline std::vector<long> drawsAfter(unsigned seed, int count) {
    srandom(seed);
    std::vector<long> draws(static_cast<size_t>(count));
    for (long& d : draws) d = random();
    srandom(seed);
    return draws;
}

// A uniform fraction from a recorded draw.
inline double fraction(long draw) { return static_cast<double>(draw) / 2147483647.0; }

// A malloc'd table of w x h entries, all `background`; the logo frees it.
inline void setLogoTable(BareSim& sim, int w, int h, Colour background) {
    std::free(sim.logo);
    sim.logo = static_cast<Colour*>(std::malloc(sizeof(Colour) * static_cast<size_t>(w * h)));
    for (int i = 0; i < w * h; ++i) sim.logo[i] = background;
    sim.logoWidth = w;
    sim.logoHeight = h;
    sim.numNonBGPixels = 0;
}

}  // namespace zorvan::test
