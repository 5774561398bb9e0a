#include "render/MoteShapes.h"

#include <cmath>

namespace zorvan {

namespace {

// The velocity scaled to the outer radius w / s: (dx, dy). Returns false when the
// velocity has no direction (exactly zero, or not a number).
bool directionOf(const Mote& mote, float s, float& dx, float& dy) {
    const float vx = mote.vel.x, vy = mote.vel.y, w = mote.weight;
    const float n = static_cast<float>(std::sqrt(static_cast<double>(vx * vx + vy * vy)));
    const float m = n * s;
    if (m > 0.0f && std::isfinite(m)) {
        dx = (vx * w) / m;
        dy = (vy * w) / m;
        return true;
    }
    // The squares overflowed or underflowed in single precision: a finite, non-zero
    // velocity still has a direction, found in double.
    if (std::isfinite(vx) && std::isfinite(vy) && (vx != 0.0f || vy != 0.0f)) {
        const double md = std::hypot(static_cast<double>(vx), static_cast<double>(vy)) * s;
        dx = static_cast<float>(static_cast<double>(vx) * w / md);
        dy = static_cast<float>(static_cast<double>(vy) * w / md);
        return true;
    }
    return false;
}

int squareVertices(float px, float py, float w, const ShapeFactors& f, Vec2 out[8]) {
    const float h = f.squareK * w;
    out[0] = {px + h, py + h};
    out[1] = {px - h, py + h};
    out[2] = {px - h, py - h};
    out[3] = {px + h, py - h};
    return 4;
}

int diamondVertices(float px, float py, float w, const ShapeFactors& f, Vec2 out[8]) {
    const float h = w / f.s;
    const float q = h / 1.5f;
    out[0] = {px + h, py};
    out[1] = {px, py + q};
    out[2] = {px - h, py};
    out[3] = {px, py - q};
    return 4;
}

int hexagonVertices(float px, float py, float w, const ShapeFactors& f, Vec2 out[8]) {
    const float r = w * f.hexK;
    const float e = w * f.hexE;
    const float c = w * f.hexC;
    out[0] = {px, py + r};
    out[1] = {px - c, py + e};
    out[2] = {px - c, py - e};
    out[3] = {px, py - r};
    out[4] = {px, py + r};
    out[5] = {px, py - r};
    out[6] = {px + c, py - e};
    out[7] = {px + c, py + e};
    return 8;
}

// A square standing on a corner that points along the velocity.
int squareVerticesTurned(float px, float py, float dx, float dy, Vec2 out[8]) {
    out[0] = {px + dx, py + dy};
    out[1] = {px + dy, py - dx};
    out[2] = {px - dx, py - dy};
    out[3] = {px - dy, py + dx};
    return 4;
}

// A diamond whose long axis lies along the velocity; the short axis is 1 / 1.5 of it.
int diamondVerticesTurned(float px, float py, float dx, float dy, Vec2 out[8]) {
    const float a = dy / 1.5f;
    const float b = dx / 1.5f;
    out[0] = {px + dx, py + dy};
    out[1] = {px + a, py - b};
    out[2] = {px - dx, py - dy};
    out[3] = {px - a, py + b};
    return 4;
}

// A hexagon with one corner along the velocity: (dx, dy) turned by 0, 60, 120, 180
// degrees, then by 0, 180, 240, 300 degrees.
int hexagonVerticesTurned(float px, float py, float dx, float dy, Vec2 out[8]) {
    const float a1 = dx * 0.5f;
    const float b1 = dy * 0.866f;
    const float a2 = dy * 0.5f;
    const float b2 = dx * 0.866f;
    out[0] = {px + dx, py + dy};
    out[1] = {(px + a1) - b1, (py + a2) + b2};
    out[2] = {(px - a1) - b1, (py - a2) + b2};
    out[3] = {px - dx, py - dy};
    out[4] = {px + dx, py + dy};
    out[5] = {px - dx, py - dy};
    out[6] = {(px - a1) + b1, (py - a2) - b2};
    out[7] = {(px + a1) + b1, (py + a2) - b2};
    return 8;
}

}  // namespace

ShapeFactors shapeFactors(int moteSize) {
    ShapeFactors f;
    f.s = static_cast<float>(moteSize < 1 ? 1 : moteSize);
    f.squareK = 1.0f / (f.s * 1.414f);
    f.hexK = 1.0f / f.s;
    f.hexE = f.hexK * 0.5f;
    f.hexC = f.hexK * 0.866f;
    return f;
}

int moteVertices(const Mote& m, int moteShape, bool directional, const ShapeFactors& f,
                 Vec2 out[8]) {
    const float px = m.pos.x, py = m.pos.y, w = m.weight;
    float dx = 0.0f, dy = 0.0f;
    if (directional && directionOf(m, f.s, dx, dy)) {
        switch (moteShape) {
            case SHAPE_DIAMOND: return diamondVerticesTurned(px, py, dx, dy, out);
            case SHAPE_HEXAGON: return hexagonVerticesTurned(px, py, dx, dy, out);
            default: return squareVerticesTurned(px, py, dx, dy, out);
        }
    }
    switch (moteShape) {
        case SHAPE_DIAMOND: return diamondVertices(px, py, w, f, out);
        case SHAPE_HEXAGON: return hexagonVertices(px, py, w, f, out);
        default: return squareVertices(px, py, w, f, out);
    }
}

}  // namespace zorvan
