// The simulation: the mote array, its seeding, the 3 x 3 vector field and the seven
// motion modes, as one value. It knows no GL, no settings store and no view: whoever
// holds it sizes it, seeds it with what seeding reads, and steps it in the mode it chose.
//
// Every field is zero until a call writes it: the field and the seeding rely on that.
#pragma once

#include "sim/Mote.h"
#include "sim/MoteArray.h"

namespace zorvan {

// What seeding reads besides the swarm: the logo's pixel table (none: home points in
// the box of logoWidth x logoHeight at the centre), whether the motes take the colour
// of their logo pixel, and the colours of the lightest and heaviest motes.
struct SeedingInputs {
    const Colour* logo = nullptr;  // logoWidth x logoHeight entries, entry 0 the background
    int logoWidth = 0, logoHeight = 0;
    int numNonBGPixels = 0;
    bool logoColours = false;
    Colour light = {};
    Colour heavy = {};
};

// The motes (`motes`, `numMotesAllocated` and the live count `numMotes`) come from
// MoteArray, which keeps them consistent.
struct Swarm : MoteArray {
    int displayWidth = 0, displayHeight = 0;
    int fieldWidth = 0, fieldHeight = 0;
    FieldVector fields[9] = {};
    FieldVector swirl[9] = {};
    Rotator rotators[9] = {};

    // The display in points, truncated toward zero, and cells of a third of it (at least
    // one pixel, so that finding a mote's cell never divides by zero). Sizes that are not
    // a number, negative or beyond the range of int give 0 or INT_MAX.
    void setSize(double width, double height);

    // Seeds mote i (nothing for an index outside the array): position, weight, home,
    // colour and velocity, in that order of random() draws.
    void initMote(int i, const SeedingInputs& seeding);

    // Draws the field's nine vectors and turns, and sets the fixed swirl.
    void initVectorField();
    // Turns every field vector by its own angle.
    void advanceFields();
    // The cell of the 3 x 3 grid under (x, y).
    int cellOf(float x, float y) const;

    // One step of every live mote in motion mode `mode` (any unknown mode moves as
    // MODE_FLOW), steered by `speed` and damped by `smoothness`.
    void advanceMotes(int mode, float speed, float smoothness);
};

}  // namespace zorvan
