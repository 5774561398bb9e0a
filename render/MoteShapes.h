// The geometry of one drawn mote, kept apart from GL so that it can be checked on its
// own: the renderer emits exactly the vertices computed here.
//
// All arithmetic is single precision in the order and grouping written, except the
// square root of the directional shapes, which is taken in double.
#pragma once

#include "sim/Mote.h"

namespace zorvan {

// The mote shapes, the values of moteShape; any other value draws as a square.
enum MoteShape : int { SHAPE_SQUARE = 0, SHAPE_DIAMOND = 1, SHAPE_HEXAGON = 2 };

// The draw modes, the values of drawMode.
enum DrawMode : int { DRAW_PLAIN = 0, DRAW_TAILS = 1 };

// The factors that depend only on the mote size: computed once per frame.
struct ShapeFactors {
    float s;        // the size divisor as a float, at least 1
    float squareK;  // 1 / (s * 1.414): half-side of the square per unit of weight
    float hexK;     // 1 / s: outer radius of the hexagon per unit of weight
    float hexE;     // hexK * 0.5
    float hexC;     // hexK * 0.866
};

// A size below 1 (never stored, but possible in memory) counts as 1, so that no
// radius becomes infinite.
ShapeFactors shapeFactors(int moteSize);

// Writes the vertices of mote `m` in emission order to `out` and returns their count:
// 4 (one quad) for squares and diamonds, 8 (two quads) for hexagons. A shape number
// outside 0..2 draws as a square. A directional shape falls back to the axis-aligned
// shape of the same kind for a mote without a usable direction (velocity exactly zero
// or not a number), so the vertices stay finite for a finite position and weight.
int moteVertices(const Mote& m, int moteShape, bool directional, const ShapeFactors& f,
                 Vec2 out[8]);

// Tails are drawn only with DRAW_TAILS, and only for the smaller motes (size 6 or more).
inline bool drawsTails(int drawMode, int moteSize) { return drawMode == DRAW_TAILS && moteSize >= 6; }

// A tail is weight / 10 pixels wide ...
inline float tailWidth(const Mote& m) { return m.weight / 10.0f; }

// ... and coloured halfway between the mote's colour and the background.
inline Colour tailColour(const Mote& m, const Colour& bg) {
    return {(m.colour.r + bg.r) / 2.0f, (m.colour.g + bg.g) / 2.0f, (m.colour.b + bg.b) / 2.0f};
}

}  // namespace zorvan
