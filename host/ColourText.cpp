#include "host/ColourText.h"

#include <Magick++.h>

namespace zorvan::host {

std::optional<Colour> parseColourText(const std::string& text) {
    static const bool initialised = (Magick::InitializeMagick(nullptr), true);
    (void)initialised;
    if (text.empty()) return std::nullopt;
    try {
        const Magick::ColorRGB colour{text};
        // ImageMagick 6 counts alpha as opacity taken away: 0 is fully opaque.
        if (!colour.isValid() || colour.alpha() != 0.0) return std::nullopt;
        return Colour{float(colour.red()), float(colour.green()), float(colour.blue())};
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

}  // namespace zorvan::host
