// Wrapping a mote around the display edges, as on a torus.
#pragma once

#include "sim/Mote.h"

namespace zorvan {

// Shifts the mote by one width (height) when it lies left of 0 or at or beyond `width`
// (below 0, at or beyond `height`), and moves lastPos along on the wrapped axis only, so
// a tail never spans the display. One call shifts by one size at most. A coordinate that
// is not a number is left as it is.
void wrapMote(Mote* mote, float width, float height);

}  // namespace zorvan
