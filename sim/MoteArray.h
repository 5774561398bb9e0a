// The view's mote array and the rule that holds it together: `motes`, from malloc, has
// room for `numMotesAllocated` records (none while it is null, and then the room is 0),
// and the first `numMotes` of them are live. The functions here are the only ones that
// replace the array or move the live count past what it holds.
#pragma once

#include "sim/Mote.h"

namespace zorvan {

// The largest count of motes that loading the settings keeps and that seeding will
// allocate. A stored count above this is taken as damage rather than a wish: 2147483647
// motes would ask malloc for 96 GiB, and tens of millions stall every frame for seconds.
// A million motes still animates (bench/ measures that count), so any count a user could
// mean loads unchanged.
inline constexpr int MAX_NUM_MOTES = 1000000;

// A new, unseeded mote array of `count` motes from malloc; null for a count of 0 or
// less, above MAX_NUM_MOTES, or one the allocator refuses.
Mote* newMoteArray(int count);

// A value: copies hold copies of the motes, and the array goes with its holder.
struct MoteArray {
    MoteArray() = default;
    MoteArray(const MoteArray& other);
    MoteArray(MoteArray&& other) noexcept;
    MoteArray& operator=(MoteArray other) noexcept;
    ~MoteArray() { releaseMotes(); }

    Mote* motes = nullptr;
    int numMotesAllocated = 0;
    // The live count, and the setting that asks for it: the settings set it before any
    // array exists, so per-mote loops go by liveMotes(), never by this alone.
    int numMotes = 0;

    // How many motes every per-mote loop runs over: the live count, never past the
    // array that exists (none without one).
    int liveMotes() const {
        if (!motes || numMotes <= 0) return 0;
        return numMotes < numMotesAllocated ? numMotes : numMotesAllocated;
    }

    // A fresh, unseeded array of exactly numMotes, the earlier one freed first. A count
    // that cannot be had leaves no array and no live motes rather than a null array that
    // the frame loop would step through.
    void allocateMotes();

    // Makes `n` motes live. Past the room there is, a larger array replaces the old one
    // only once it exists; when it cannot be had, the motes live before stay live and the
    // count stays theirs. True when the live motes want seeding: a new array, or more of
    // the old one live than before.
    bool setLiveMotes(int n);

    // Frees the array: no motes.
    void releaseMotes();
};

}  // namespace zorvan
