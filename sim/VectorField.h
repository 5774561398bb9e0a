// The cell of the 3 x 3 grid under a position, shared by the field lookup of the view
// and the motion loop (which keeps it inline).
#pragma once

#include <cstdint>

namespace zorvan {

// Cell number column + 3 x row of position (x, y) for cells of fieldWidth x fieldHeight
// pixels (both at least 1). Coordinates are truncated toward zero, and the last columns
// and rows of a display whose size is not a multiple of 3 fold onto the next cell, so
// every position on the display keeps its cell. Off the display: a coordinate below 0,
// or not a number, counts as 0; one beyond the range of int counts as the largest float
// below 2^31. Every position therefore gives a cell 0 .. 8 without an undefined
// conversion.
inline int cellIndex(float x, float y, int fieldWidth, int fieldHeight) {
    constexpr float LARGEST = 2147483520.0f;  // the largest float below 2^31
    x = x >= 0.0f ? x : 0.0f;
    x = x < LARGEST ? x : LARGEST;
    y = y >= 0.0f ? y : 0.0f;
    y = y < LARGEST ? y : LARGEST;
    const uint32_t column = static_cast<uint32_t>(static_cast<int>(x)) / static_cast<uint32_t>(fieldWidth);
    const uint32_t row = static_cast<uint32_t>(static_cast<int>(y)) / static_cast<uint32_t>(fieldHeight);
    return static_cast<int>((static_cast<uint64_t>(column) + 3u * static_cast<uint64_t>(row)) % 9u);
}

}  // namespace zorvan
