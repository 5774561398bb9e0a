// Pictures of what the program drew, taken by the compositors' and X's own tools, and
// what the tests read from them.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace zorvan::test {

// A picture file's pixels, three bytes (RGB) each, rows top down; empty when it cannot
// be read. An alpha channel is left out.
struct Shot {
    size_t width = 0, height = 0;
    std::vector<unsigned char> rgb;
    const unsigned char* at(size_t x, size_t y) const { return &rgb[(y * width + x) * 3]; }
};
Shot readShot(const std::string& picture);
// Writes a shot as a picture file, for people to look at.
void writeShot(const Shot& shot, const std::string& picture);

inline bool isLit(const unsigned char* p) { return p[0] || p[1] || p[2]; }

// The pixels that are not black; -1 when the file cannot be read.
long litPixels(const std::string& picture);
long litPixels(const Shot& shot);

// The 2x2 blocks whose four pixels differ: none where a buffer of half the resolution
// was scaled up, many where the drawing is at the full resolution.
long mixedBlocks(const Shot& shot);

// The lit pixels less than half as bright as their brightest neighbour: the soft rims
// that a compositor's filtering leaves around motes drawn at another resolution and
// scaled to the output. Motes drawn at the output's own resolution have hard edges and
// next to none.
long softPixels(const Shot& shot);

// Whether the lit pixels reach within a twentieth of every edge: the drawing covers the
// output, not a window on part of it.
bool reachesEveryEdge(const Shot& shot);

}  // namespace zorvan::test
