// Colours as a person writes them on the command line.
#pragma once

#include "sim/Mote.h"

#include <optional>
#include <string>

namespace zorvan::host {

// "#rrggbb", "#rgb", "rgb(r,g,b)" or a colour name ("navy", "MidnightBlue"), read by
// ImageMagick's colour parser; nullopt for anything it does not know, and for colours
// that are not opaque ("none", "#ff000080"): a background or mote cannot show through.
std::optional<Colour> parseColourText(const std::string& text);

}  // namespace zorvan::host
