// The checks that loading the settings applies to the stored count, size and shape.
// The command line holds its values to the same ranges, so a value typed there is
// refused exactly when the same value stored would be replaced.
#pragma once

namespace zorvan {

inline constexpr int DEFAULT_NUM_MOTES = 1500;
inline constexpr int DEFAULT_MOTE_SIZE = 10;

// A stored count above this is taken as damage rather than a wish: 2147483647 motes
// would ask malloc for 96 GiB, and tens of millions stall every frame for seconds.
// A million motes still animates (bench/ measures that count), so any count a user
// could mean loads unchanged.
inline constexpr int MAX_NUM_MOTES = 1000000;

inline constexpr bool numMotesInRange(long long n) { return n > 0 && n <= MAX_NUM_MOTES; }
// No upper bound on the size divisor: a huge one only draws motes too small to see.
inline constexpr bool moteSizeInRange(long long n) { return n > 0 && n <= 2147483647LL; }
inline constexpr bool moteShapeInRange(long long n) { return n >= 0 && n <= 2; }

}  // namespace zorvan
