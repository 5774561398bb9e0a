// The logo: the picture the motes gather into, and its pixel table. A value that knows
// nothing of the view: loading reads a file (through the platform's pictures) and the
// contrast threshold it is handed.
//
// The table, its size and its count always agree: no picture, no table, and home points
// in the box of logoWidth x logoHeight at the centre.
#pragma once

#include "sim/Mote.h"
#include "sim/Swarm.h"

#include <memory>
#include <optional>
#include <string>

namespace zorvan {

class Image;
class BitmapImageRep;

struct LogoPicture {
    LogoPicture() = default;
    LogoPicture(const LogoPicture& other);
    LogoPicture& operator=(const LogoPicture& other);
    ~LogoPicture();

    std::shared_ptr<Image> logoImageSrc;
    Colour* logo = nullptr;  // from malloc; logoWidth x logoHeight entries
    int logoWidth = 0, logoHeight = 0;
    int numNonBGPixels = 0;

    // Decodes `file` (none: no picture), brings its bitmap to 8-bit RGB or RGBA pixels and
    // replaces the table; pixels within `minimumContrast` of the first one count as
    // background.
    void loadLogo(const std::optional<std::string>& file, float minimumContrast);

    // The table of the logoWidth x logoHeight pixels of `rep` (from malloc), counting
    // numNonBGPixels; null when the bitmap's layout cannot be read or does not hold them.
    Colour* getPixelColoursFromBitmapRep(const BitmapImageRep& rep, float minimumContrast);

    // Whether seeding can draw home points from the table at a bounded cost: a table
    // with at least MIN_LOGO_PIXELS pixels that are not background, and at least one in
    // every MAX_ENTRIES_PER_LOGO_PIXEL entries (so an average home point costs at most
    // that many attempts).
    bool logoTableUsable() const;
    static constexpr int MIN_LOGO_PIXELS = 50;
    static constexpr int MAX_ENTRIES_PER_LOGO_PIXEL = 4096;

    // What seeding reads of the logo; `logoColours`: motes take their pixel's colour.
    SeedingInputs seeding(bool logoColours, Colour light, Colour heavy) const {
        return {logo, logoWidth, logoHeight, numNonBGPixels, logoColours, light, heavy};
    }
};

}  // namespace zorvan
