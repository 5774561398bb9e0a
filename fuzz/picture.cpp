// Bytes as a logo picture: the decoder, the bitmap, the pixel table and the seeding of
// motes on it. Whatever the bytes, the table and its size agree and every mote is
// seeded inside numbers (no NaN, no infinity, homes within reach of the display).
#include "FuzzSupport.h"

#include "saver/Zorvan.h"
#include "tests/support/ViewState.h"

#include <cmath>
#include <cstdlib>

using namespace zorvan;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = fuzz::scratchFile("logo");
    fuzz::writeBytes(path, data, size);

    Zorvan view{OpenGLViewFactory{}};
    ZorvanState& s = test::state(view);
    s.swarm.displayWidth = 64;
    s.swarm.displayHeight = 48;
    s.swarm.fieldWidth = 21;
    s.swarm.fieldHeight = 16;
    s.settings.light = LIGHT;
    s.settings.heavy = HEAVY;
    // The first byte picks the colour mode and the contrast check, so both table readings
    // are reached.
    const uint8_t pick = size > 0 ? data[0] : 0;
    s.settings.colourMode = pick & 1 ? 2 : 0;
    s.settings.minimumContrast = pick & 2 ? 0.5f : 0.0f;
    s.settings.logoFile = path;
    view.loadLogo();

    if (s.picture.logo) {
        fuzz::require(s.picture.logoWidth > 0 && s.picture.logoHeight > 0, "a table has a size");
        fuzz::require(s.picture.numNonBGPixels >= 0 &&
                          s.picture.numNonBGPixels < int64_t(s.picture.logoWidth) * s.picture.logoHeight,
                      "the non-background count fits the table");
    } else {
        fuzz::require(!s.picture.logoImageSrc, "no table means no picture");
    }

    srandom(1);
    s.settings.numMotes = 64;
    view.allocateMotes();
    for (int i = 0; i < view.liveMotes(); ++i) view.initMote(i);
    for (int i = 0; i < view.liveMotes(); ++i) {
        const Mote& m = s.swarm.motes[i];
        for (float f : {m.pos.x, m.pos.y, m.vel.x, m.vel.y, m.weight, m.home.x, m.home.y,
                        m.colour.r, m.colour.g, m.colour.b})
            fuzz::require(std::isfinite(f), "a seeded mote holds finite numbers");
    }
    return 0;
}
