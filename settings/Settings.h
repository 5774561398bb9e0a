// The settings a view runs with, as one plain struct: what the store holds (one row each
// in the settings table), and the smoothness, which is fixed. Zero, false or empty until
// loaded.
#pragma once

#include "sim/Mote.h"

#include <optional>
#include <string>

namespace zorvan {

// The colour modes, the values of colourMode: the module's colours, the user's, or each
// mote the colour of its logo pixel on the logo's background.
enum ColourMode : int { COLOURS_DEFAULT = 0, COLOURS_CUSTOM = 1, COLOURS_LOGO = 2 };

// The logo modes, the values of logoMode: the module's own picture, none, a picture file.
enum LogoMode : int { LOGO_DEFAULT = 0, LOGO_NONE = 1, LOGO_FILE = 2 };

struct Settings {
    int numMotes = 0;
    int moteSize = 0;
    bool mainScreenOnly = false;
    int logoMode = 0;
    std::optional<std::string> logoFile;
    int drawMode = 0;
    int colourMode = 0;
    float minimumContrast = 0.0f;  // the contrast check: 0.5 when on, else 0
    int moteShape = 0;
    bool directional = false;
    Colour bg = {};
    Colour light = {};
    Colour heavy = {};
    float speed = 0.0f;
    float smoothness = 0.0f;
};

}  // namespace zorvan
