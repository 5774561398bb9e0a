// The largest count of motes that loading the settings keeps, and that seeding will
// allocate.
#pragma once

namespace zorvan {

// A stored count above this is taken as damage rather than a wish: 2147483647 motes
// would ask malloc for 96 GiB, and tens of millions stall every frame for seconds.
// A million motes still animates (bench/ measures that count), so any count a user
// could mean loads unchanged.
inline constexpr int MAX_NUM_MOTES = 1000000;

}  // namespace zorvan
