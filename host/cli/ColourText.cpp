#include "host/cli/ColourText.h"

#include "platform/image/MagickSetup.h"
#include "platform/image/MagickVersions.h"

#include <Magick++.h>

namespace zorvan::host {

// The name is assigned to a colour already made, not given to the constructor: that
// constructor leaks its pixel when it throws for a name it does not know.
std::optional<Colour> parseColourText(const std::string& text) {
    magick::ensureStarted();
    if (text.empty()) return std::nullopt;
    Magick::Color named;
    try {
        named = text;
    } catch (const std::exception&) {
        return std::nullopt;
    }
    if (!named.isValid() || magick::alphaOf(named) != 1.0) return std::nullopt;
    const Magick::ColorRGB colour(named);
    return Colour{float(colour.red()), float(colour.green()), float(colour.blue())};
}

}  // namespace zorvan::host
