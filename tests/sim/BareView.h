// A view without OpenGL for the simulation tests: constructed with an empty factory and
// never initialised, with the fields that the simulation reads set by hand.
#pragma once

#include "saver/Zorvan.h"
#include "support/ViewState.h"

#include <cstdlib>
#include <memory>
#include <vector>

namespace zorvan::test {

// A view of w x h with the default speed and smoothness, the default colours, cells of
// a third of the size (at least 1) and room for `count` motes (not yet seeded).
inline std::unique_ptr<Zorvan> makeBareView(int w, int h, int count) {
    auto view = std::make_unique<Zorvan>(OpenGLViewFactory{});
    test::state(view).displayWidth = w;
    test::state(view).displayHeight = h;
    test::state(view).fieldWidth = w / 3 > 0 ? w / 3 : 1;
    test::state(view).fieldHeight = h / 3 > 0 ? h / 3 : 1;
    test::state(view).speed = 0.8f;
    test::state(view).smoothness = 0.99f;
    test::state(view).light = LIGHT;
    test::state(view).heavy = HEAVY;
    test::state(view).numMotes = count;
    view->allocateMotes();
    return view;
}

inline void seedAll(Zorvan& view) {
    for (int i = 0; i < test::state(view).numMotes; ++i) view.initMote(i);
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

// A malloc'd table of w x h entries, all `background`; the view frees it.
inline void setLogoTable(Zorvan& view, int w, int h, Colour background) {
    std::free(test::state(view).logo);
    test::state(view).logo = static_cast<Colour*>(std::malloc(sizeof(Colour) * static_cast<size_t>(w * h)));
    for (int i = 0; i < w * h; ++i) test::state(view).logo[i] = background;
    test::state(view).logoWidth = w;
    test::state(view).logoHeight = h;
    test::state(view).numNonBGPixels = 0;
}

}  // namespace zorvan::test
