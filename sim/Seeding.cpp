// The seeding of one mote: position, weight, home point, colour and velocity, drawn from
// random() in a fixed order so that a known sequence gives a known swarm. The array the
// motes live in is sim/MoteArray's.
#include "sim/Seeding.h"

#include "sim/Swarm.h"

#include <cstdint>
#include <cstdlib>

namespace zorvan {

int logoPick(long draw, int size) {
    const long long n = static_cast<long long>(size) + 1;
    // The scale is single precision on purpose: a draw of 2^31 - 1 rounds to 2^31 and so
    // lands exactly on n, which folds onto 0 like the largest truncations do.
    const float scaled = static_cast<float>(draw) / 2147483648.0f * static_cast<float>(n);
    long long pick = static_cast<long long>(scaled);  // 0 .. n for draws in range
    if (pick == n) pick = 0;
    return static_cast<int>(pick % size);
}

Vec2 logoHome(int column, int row, int displayWidth, int displayHeight, int logoWidth,
              int logoHeight) {
    // The sizes combine exactly in double, as they would on ints, but cannot overflow.
    const double left = (static_cast<double>(displayWidth) - logoWidth) / 2.0;
    const double top = (static_cast<double>(displayHeight) + logoHeight) / 2.0;
    return {static_cast<float>(column + left), static_cast<float>(top - row)};
}

Colour weightColour(float weight, const Colour& light, const Colour& heavy) {
    const float t = (weight - MIN_WEIGHT) / WEIGHT_RANGE;
    return {(heavy.r - light.r) * t + light.r, (heavy.g - light.g) * t + light.g,
            (heavy.b - light.b) * t + light.b};
}

void Swarm::initMote(int i, const SeedingInputs& seeding) {
    if (!motes || i < 0 || i >= numMotesAllocated) return;
    Mote& m = motes[i];

    const double ux = uniformFraction();
    m.pos.x = static_cast<float>(ux * displayWidth);
    const double uy = uniformFraction();
    m.pos.y = static_cast<float>(uy * displayHeight);
    m.lastPos = m.pos;
    m.weight = static_cast<float>(MIN_WEIGHT + WEIGHT_RANGE * uniformFraction());

    // A table is usable only with at least one pixel that stands out from the background;
    // otherwise the pick below would never end. Without one, the home lies in the box of
    // logoWidth x logoHeight and the colour comes from the weight.
    const Colour* logo = seeding.logo;
    const int logoWidth = seeding.logoWidth, logoHeight = seeding.logoHeight;
    const bool useTable = logo && logoWidth > 0 && logoHeight > 0 && seeding.numNonBGPixels > 0;
    long long k = 0;
    if (useTable) {
        const Colour bgEntry = logo[0];
        int column = 0, row = 0;
        for (;;) {
            column = logoPick(random(), logoWidth);
            row = logoPick(random(), logoHeight);
            k = column + static_cast<long long>(row) * logoWidth;
            const Colour& c = logo[k];
            if (!(c.r == bgEntry.r && c.g == bgEntry.g && c.b == bgEntry.b)) break;
        }
        m.home = logoHome(column, row, displayWidth, displayHeight, logoWidth, logoHeight);
    } else {
        // Whole-pixel halves, truncated toward zero as on ints; long long keeps the sums
        // of extreme sizes from overflowing.
        const long long x0 = (static_cast<long long>(displayWidth) - logoWidth) / 2;
        const long long x1 = (static_cast<long long>(displayWidth) + logoWidth) / 2;
        const long long y0 = (static_cast<long long>(displayHeight) - logoHeight) / 2;
        const long long y1 = (static_cast<long long>(displayHeight) + logoHeight) / 2;
        const double hx = uniformFraction();
        m.home.x = static_cast<float>(static_cast<double>(x0) + hx * static_cast<double>(x1 - x0));
        const double hy = uniformFraction();
        m.home.y = static_cast<float>(static_cast<double>(y0) + hy * static_cast<double>(y1 - y0));
    }

    m.colour = (useTable && seeding.logoColours) ? logo[k] : weightColour(m.weight, seeding.light, seeding.heavy);

    const double vx = uniformFraction();
    m.vel.x = static_cast<float>(10.0 * vx - 5.0);
    const double vy = uniformFraction();
    m.vel.y = static_cast<float>(10.0 * vy - 5.0);
}

}  // namespace zorvan
