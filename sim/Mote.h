// The plain records of the swarm and the constants that shape it.
#pragma once

namespace zorvan {

struct Vec2 {
    float x, y;
};

struct Colour {
    float r, g, b;
};

// One particle. The layout is part of the contract: 48 bytes, fields in this order.
struct Mote {
    Vec2 pos;      // current position, display pixels, y upward
    Vec2 lastPos;  // position before the latest step: the start of the tail
    Vec2 vel;      // pixels per frame
    float weight;  // MIN_WEIGHT .. MAX_WEIGHT
    Vec2 home;     // home point on the logo
    Colour colour;
};
static_assert(sizeof(Mote) == 48, "Mote must stay 48 bytes");

struct FieldVector {
    float x, y;
};

// A 2 x 2 rotation matrix with rows (x1, y1) and (x2, y2).
struct Rotator {
    float x1, y1, x2, y2;
};

inline constexpr float MIN_WEIGHT = 25.0f;
inline constexpr float MAX_WEIGHT = 40.0f;
inline constexpr float WEIGHT_RANGE = 15.0f;

inline constexpr Colour LIGHT = {1.0f, 0.2f, 0.69f};
inline constexpr Colour HEAVY = {1.0f, 0.8f, 0.5f};

// Motion modes: what a swarm steps in. Any other value moves as MODE_FLOW.
inline constexpr int MODE_FLOW = 0;
inline constexpr int MODE_THREE_LEADERS = 1;
inline constexpr int MODE_GATHER = 2;
inline constexpr int MODE_COAST = 3;
inline constexpr int MODE_SWIRL = 4;
inline constexpr int MODE_SCATTER = 5;
inline constexpr int MODE_TWO_LEADERS = 6;

// A uniform fraction in [0, 1], both ends included, from one draw of random().
double uniformFraction();

}  // namespace zorvan
