// Test pictures, written at test time into a temporary folder: real picture files made
// with Magick++ in chosen layouts, and hand-made hostile files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace zorvan::test {

struct Rgba {
    uint8_t r = 0, g = 0, b = 0, a = 255;
};

// A picture in memory: rows top first.
struct Picture {
    int width = 0, height = 0;
    std::vector<Rgba> pixels;
    Rgba& at(int x, int y) { return pixels[static_cast<size_t>(y) * width + x]; }
    Rgba at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

Picture solidPicture(int width, int height, Rgba colour);

// How to store a picture: `coder` is Magick's "FORMAT:" prefix ("PNG24", "PNG32", "PNG48",
// "PNG8", "GIF", "TIFF", "JPEG", "PICT" ...); grey stores it as greyscale; planar asks
// for one plane a sample (TIFF); depth 0 leaves the format's default.
struct StoreAs {
    std::string coder = "PNG24";
    bool grey = false;
    bool planar = false;
    bool alpha = false;
    int depth = 8;
    double dpi = 0.0;  // 0: no resolution written
};

// Writes `picture` to `path` through Magick++.
void writePicture(const Picture& picture, const std::string& path, const StoreAs& as);

// A valid 1-bit greyscale PNG of width x height, all black, whose compressed data are
// built directly (a stream of repeated zeros): a few kilobytes for a huge picture.
std::string blackPngBytes(uint32_t width, uint32_t height);

// A PNG whose header claims width x height but whose data hold only a few bytes.
std::string lyingPngBytes(uint32_t width, uint32_t height);

// A GIF of width x height pixels whose colour table is `colours` (2 to 256 entries, the
// alpha ignored) and whose pixels are `indexes` into it, rows top first; `transparent`
// names the transparent entry, or is -1. Built directly, so that the table may hold
// one colour twice, which no encoder writes.
std::string gifBytes(uint16_t width, uint16_t height, const std::vector<Rgba>& colours,
                     const std::vector<uint8_t>& indexes, int transparent = -1);

}  // namespace zorvan::test
