// One step of every live mote under the motion mode in force. Each step damps the old
// velocity, adds a steering acceleration divided by the mote's weight, then moves the
// mote by the new velocity; most modes wrap it round the display edges.
//
// The arithmetic is single precision, left to right, except where a double is written
// out: those are the places where the result must come out to the bit.
#include "sim/Motion.h"

#include "sim/Swarm.h"
#include "sim/VectorField.h"

#include <cmath>

namespace zorvan {

void wrapMote(Mote* mote, float width, float height) {
    // Compare in the branch taken, so that a NaN coordinate (which takes neither) is left
    // alone together with its lastPos.
    const float x = mote->pos.x;
    if (x < 0.0f || x >= width) {
        const float wrapped = x < 0.0f ? x + width : x - width;
        if (wrapped != x) mote->pos.x = mote->lastPos.x = wrapped;
    }
    const float y = mote->pos.y;
    if (y < 0.0f || y >= height) {
        const float wrapped = y < 0.0f ? y + height : y - height;
        if (wrapped != y) mote->pos.y = mote->lastPos.y = wrapped;
    }
}

namespace {

// The softened distance: never zero, and (dx / D, dy / D) shrinks to nothing at the
// target. The sum is single precision; the root and the offset are double.
inline float softDistance(float dx, float dy, double offset) {
    const float sum = dx * dx + dy * dy + 1.0f;
    return static_cast<float>(std::sqrt(static_cast<double>(sum)) + offset);
}

// Moves the mote by its new velocity, remembering where it was.
inline void move(Mote& m, float vx, float vy) {
    m.lastPos = m.pos;
    m.vel.x = vx;
    m.vel.y = vy;
    m.pos.x = m.pos.x + vx;
    m.pos.y = m.pos.y + vy;
}

// MODE_FLOW and MODE_SWIRL: the vector of the cell the mote is in, before it moves.
void stepInField(Mote* motes, int n, const FieldVector* table, float s, float k, int fw, int fh,
                 float width, float height) {
    for (int i = 0; i < n; ++i) {
        Mote& m = motes[i];
        const FieldVector& f = table[cellIndex(m.pos.x, m.pos.y, fw, fh)];
        const float vx = (k * f.x) / m.weight + s * m.vel.x;
        const float vy = (k * f.y) / m.weight + s * m.vel.y;
        move(m, vx, vy);
        wrapMote(&m, width, height);
    }
}

void stepCoast(Mote* motes, int n, float s, float width, float height) {
    for (int i = 0; i < n; ++i) {
        Mote& m = motes[i];
        move(m, m.vel.x * s, m.vel.y * s);
        wrapMote(&m, width, height);
    }
}

// MODE_GATHER: strongly damped, toward home; no wrap, so a home off the display is reached.
void stepGather(Mote* motes, int n, float s, float k) {
    for (int i = 0; i < n; ++i) {
        Mote& m = motes[i];
        const float dx = m.home.x - m.pos.x;
        const float dy = m.home.y - m.pos.y;
        const float d = softDistance(dx, dy, 2.0);
        const float vx = ((s * m.vel.x) * s) * s + (((dx / d) * 12.0f) * k) / m.weight;
        const float vy = ((s * m.vel.y) * s) * s + (((dy / d) * 12.0f) * k) / m.weight;
        move(m, vx, vy);
    }
}

// MODE_SCATTER: away from home, with no damping at all.
void stepScatter(Mote* motes, int n, float k, float width, float height) {
    for (int i = 0; i < n; ++i) {
        Mote& m = motes[i];
        const float dx = m.pos.x - m.home.x;
        const float dy = m.pos.y - m.home.y;
        const float d = softDistance(dx, dy, 2.0);
        const float vx = (((dx / d) * 12.0f) * k) / m.weight + m.vel.x;
        const float vy = (((dy / d) * 12.0f) * k) / m.weight + m.vel.y;
        move(m, vx, vy);
        wrapMote(&m, width, height);
    }
}

// The leader modes read the leader's current position: a leader with a lower index has
// already stepped this frame. A leader that is not a live mote (fewer live motes than
// leaders: one or two motes for three leaders, one for two) is stood in for by the
// display centre, so a lone mote homes in on the middle of the screen instead of reading
// a record that holds no mote.

// MODE_THREE_LEADERS: motes 0, 1, 2 chase each other in a ring, the rest follow them,
// and every mote is also drawn to the display centre. No wrap.
void stepThreeLeaders(Mote* motes, int n, float s, float k, float cx, float cy) {
    int j = 1;  // (i + 1) mod 3
    for (int i = 0; i < n; ++i) {
        Mote& m = motes[i];
        const Vec2 target = j < n ? motes[j].pos : Vec2{cx, cy};
        if (++j == 3) j = 0;
        const float dx = target.x - m.pos.x;
        const float dy = target.y - m.pos.y;
        const float d = softDistance(dx, dy, 2.0);
        const float ex = cx - m.pos.x;
        const float ey = cy - m.pos.y;
        const float e = softDistance(ex, ey, 4.0);
        const float gx = static_cast<float>(static_cast<double>(dx / d + ex / e) * 12.0 / 2.0);
        const float gy = static_cast<float>(static_cast<double>(dy / d + ey / e) * 12.0 / 2.0);
        const float vx = s * m.vel.x + (gx * k) / m.weight;
        const float vy = s * m.vel.y + (gy * k) / m.weight;
        move(m, vx, vy);
    }
}

// MODE_TWO_LEADERS: motes 0 and 1 chase each other; even motes follow mote 1, odd motes
// mote 0.
void stepTwoLeaders(Mote* motes, int n, float s, float k, float cx, float cy, float width,
                    float height) {
    for (int i = 0; i < n; ++i) {
        Mote& m = motes[i];
        const int j = (i & 1) ^ 1;
        const Vec2 target = j < n ? motes[j].pos : Vec2{cx, cy};
        const float dx = target.x - m.pos.x;
        const float dy = target.y - m.pos.y;
        const float d = softDistance(dx, dy, 2.0);
        const float gx = static_cast<float>(static_cast<double>(dx / d) * 12.0);
        const float gy = static_cast<float>(static_cast<double>(dy / d) * 12.0);
        const float vx = s * m.vel.x + (gx * k) / m.weight;
        const float vy = s * m.vel.y + (gy * k) / m.weight;
        move(m, vx, vy);
        wrapMote(&m, width, height);
    }
}

}  // namespace

void Swarm::advanceMotes(int mode, float speed, float smoothness) {
    const int n = liveMotes();
    if (n == 0) return;

    const float s = smoothness;
    const float k = speed;
    const float width = static_cast<float>(displayWidth);
    const float height = static_cast<float>(displayHeight);
    const float cx = static_cast<float>(displayWidth / 2.0);
    const float cy = static_cast<float>(displayHeight / 2.0);
    const int fw = fieldWidth > 0 ? fieldWidth : 1;
    const int fh = fieldHeight > 0 ? fieldHeight : 1;

    switch (mode) {
    case MODE_THREE_LEADERS: stepThreeLeaders(motes, n, s, k, cx, cy); break;
    case MODE_GATHER: stepGather(motes, n, s, k); break;
    case MODE_COAST: stepCoast(motes, n, s, width, height); break;
    case MODE_SWIRL: stepInField(motes, n, swirl, s, k, fw, fh, width, height); break;
    case MODE_SCATTER: stepScatter(motes, n, k, width, height); break;
    case MODE_TWO_LEADERS: stepTwoLeaders(motes, n, s, k, cx, cy, width, height); break;
    default: stepInField(motes, n, fields, s, k, fw, fh, width, height); break;  // MODE_FLOW and any unknown mode
    }
}

}  // namespace zorvan
