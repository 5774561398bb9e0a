// Bytes as a logo picture: the decoder, the bitmap, the pixel table and the seeding of
// motes on it. Whatever the bytes, the table and its size agree and every mote is
// seeded inside numbers (no NaN, no infinity, homes within reach of the display).
#include "FuzzSupport.h"

#include "saver/Zorvan.h"

#include <cmath>
#include <cstdlib>

using namespace zorvan;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = fuzz::scratchFile("logo");
    fuzz::writeBytes(path, data, size);

    Zorvan view{OpenGLViewFactory{}};
    view.displayWidth = 64;
    view.displayHeight = 48;
    view.fieldWidth = 21;
    view.fieldHeight = 16;
    view.light = LIGHT;
    view.heavy = HEAVY;
    // The first byte picks the colour mode and the contrast check, so both table readings
    // are reached.
    const uint8_t pick = size > 0 ? data[0] : 0;
    view.colourMode = pick & 1 ? 2 : 0;
    view.minimumContrast = pick & 2 ? 0.5f : 0.0f;
    view.logoFile = path;
    view.loadLogo();

    if (view.logo) {
        fuzz::require(view.logoWidth > 0 && view.logoHeight > 0, "a table has a size");
        fuzz::require(view.numNonBGPixels >= 0 &&
                          view.numNonBGPixels < int64_t(view.logoWidth) * view.logoHeight,
                      "the non-background count fits the table");
    } else {
        fuzz::require(!view.logoImageSrc, "no table means no picture");
    }

    srandom(1);
    view.numMotes = 64;
    view.allocateMotes();
    for (int i = 0; i < view.liveMotes(); ++i) view.initMote(i);
    for (int i = 0; i < view.liveMotes(); ++i) {
        const Mote& m = view.motes[i];
        for (float f : {m.pos.x, m.pos.y, m.vel.x, m.vel.y, m.weight, m.home.x, m.home.y,
                        m.colour.r, m.colour.g, m.colour.b})
            fuzz::require(std::isfinite(f), "a seeded mote holds finite numbers");
    }
    return 0;
}
