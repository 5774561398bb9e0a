// Drawing a swarm with OpenGL 1.x immediate mode on whatever context is current. The
// renderer keeps no state between frames: it is handed the motes, how they look, and
// the target: which rectangle of the scene (in points) to show, and at how many pixels
// a point, so that one scene can be drawn on several surfaces.
#pragma once

#include "sim/Mote.h"

namespace zorvan {

// How the motes look: the background, the size divisor, tails, shape and direction.
struct MoteStyle {
    Colour bg = {};
    int moteSize = 0;
    int drawMode = 0;
    int moteShape = 0;
    bool directional = false;
};

// What a surface shows: the scene (width x height points, y upward, origin at its
// lower-left corner), of which the surface's drawable holds the part from (x, y) on, at
// `scale` pixels a point. A surface that shows the whole scene has x = y = 0. Where the
// part's size is given, motes that cannot touch it are left out (its pixels stay the
// same: what is drawn is only cheaper).
struct RenderTarget {
    double width = 0.0, height = 0.0;
    double x = 0.0, y = 0.0;
    double scale = 1.0;
    double partWidth = 0.0, partHeight = 0.0;  // 0: every mote is drawn
};

// The GL state the drawing relies on, set once on a new context: flat shading and
// smoothed points and lines.
void initMoteGL();

// One frame: clear to the background, the scene projected over its pixels and shifted by
// whole pixels so that the target's part lies on the drawable (each pixel is then exactly
// that pixel of the whole scene drawn at once), every tail, then every body; flushed.
void renderMotes(const Mote* motes, int count, const MoteStyle& style, const RenderTarget& target);

}  // namespace zorvan
