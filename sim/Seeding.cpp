// STUB: replaced by the seeding work.
#include "saver/Zorvan.h"
#include <cstdlib>
namespace zorvan {
void Zorvan::allocateMotes() {
    motes = static_cast<Mote*>(std::malloc(sizeof(Mote) * static_cast<size_t>(numMotes)));
    numMotesAllocated = numMotes;
}
void Zorvan::initMote(int i) {
    Mote& m = motes[i];
    m.pos = {float(uniformFraction() * displayWidth), float(uniformFraction() * displayHeight)};
    m.lastPos = m.pos;
    m.weight = float(25 + 15 * uniformFraction());
    m.home = {displayWidth / 2.0f, displayHeight / 2.0f};
    float t = (m.weight - 25) / 15;
    m.colour = {(heavy.r - light.r) * t + light.r, (heavy.g - light.g) * t + light.g, (heavy.b - light.b) * t + light.b};
    m.vel = {float(10 * uniformFraction() - 5), float(10 * uniformFraction() - 5)};
}
}  // namespace zorvan
