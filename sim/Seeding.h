// Pieces of mote seeding that stand on their own: the pick of a logo column or row from
// one draw, the placement of a logo pixel on the display, and the weight colour blend.
#pragma once

#include "sim/Mote.h"

namespace zorvan {

// A column (or row) of a logo `size` pixels across, from one draw of random(): the draw
// scaled in single precision onto 0 .. size, with size folded onto 0. Column 0 therefore
// comes up about twice as often as any other. `draw` is a random() result (0 .. 2^31-1);
// `size` is at least 1.
int logoPick(long draw, int size);

// The home point of logo pixel (column, row) on a display of displayWidth x displayHeight:
// the picture centred at one display pixel per picture pixel, row 0 (the top row) highest.
// An odd size difference gives a half-pixel offset.
Vec2 logoHome(int column, int row, int displayWidth, int displayHeight, int logoWidth,
              int logoHeight);

// The colour of a mote of the given weight: `light` at MIN_WEIGHT, `heavy` at MAX_WEIGHT.
Colour weightColour(float weight, const Colour& light, const Colour& heavy);

}  // namespace zorvan
