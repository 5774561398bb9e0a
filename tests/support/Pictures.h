// Pictures of what the program drew, taken by the compositors' and X's own tools, read
// from files or from offscreen frames, and what the tests read from them.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace zorvan::test {

// A picture's pixels, three bytes (RGB) each, rows top down; empty when it cannot be
// taken or read. readShot reads a picture file and leaves its alpha channel out.
struct Shot {
    size_t width = 0, height = 0;
    std::vector<unsigned char> rgb;
    const unsigned char* at(size_t x, size_t y) const { return &rgb[(y * width + x) * 3]; }
};
Shot readShot(const std::string& picture);
// Writes a shot as a picture file, for people to look at.
void writeShot(const Shot& shot, const std::string& picture);
// Where a picture named `name` is kept for people to look at: test-shots/<name>.png in
// the build tree, the folder made.
std::string shotFile(const std::string& name);

// Lit: some channel above `above`; with the default, not black.
inline bool isLit(const unsigned char* p, int above = 0) { return p[0] > above || p[1] > above || p[2] > above; }

// Columns [left, right) and rows [top, bottom) of a shot; empty when right is 0.
struct Box {
    size_t left = 0, top = 0, right = 0, bottom = 0;
    size_t width() const { return right - left; }
    size_t height() const { return bottom - top; }
    bool operator==(const Box&) const = default;
};
// The pixels of `box` within a shot; empty when the box does not fit in it.
Shot part(const Shot& shot, const Box& box);
using PixelTest = std::function<bool(const unsigned char* rgb)>;
// The smallest box around the pixels that `counts` accepts; empty when there are none.
Box boxOf(const Shot& shot, const PixelTest& counts);
// The pixels of the whole shot, or of `area` within it, that `counts` accepts; -1 when
// the shot is empty (it could not be taken or read).
long countPixels(const Shot& shot, const PixelTest& counts);
long countPixels(const Shot& shot, const Box& area, const PixelTest& counts);
// The lit pixels (see isLit), and the pixels of one colour, 0xRRGGBB.
long litPixels(const Shot& shot, int above = 0);
long litPixels(const Shot& shot, const Box& area);
long pixelsOf(const Shot& shot, unsigned long rgb);

// The 2x2 blocks whose four pixels differ: none where a buffer of half the resolution
// was scaled up, many where the drawing is at the full resolution.
long mixedBlocks(const Shot& shot);

// The lit pixels less than half as bright as their brightest neighbour: the soft rims
// that a compositor's filtering leaves around motes drawn at another resolution and
// scaled to the output. Motes drawn at the output's own resolution have hard edges and
// next to none.
long softPixels(const Shot& shot);

// The first band of rows that each hold a run of 100 pixels of one lit colour: a title
// bar's. Motes never line up so.
struct Band {
    size_t top = 0, bottom = 0;  // rows [top, bottom)
    long rows = 0;
};
Band titleBand(const Shot& shot);

// Whether the lit pixels reach within a twentieth of every edge: the drawing covers the
// output, not a window on part of it.
bool reachesEveryEdge(const Shot& shot);

}  // namespace zorvan::test
