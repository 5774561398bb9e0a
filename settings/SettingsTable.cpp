#include "settings/SettingsTable.h"

#include "saver/Zorvan.h"
#include "settings/PrefsChecks.h"

#include <algorithm>

namespace zorvan {

namespace {

using namespace stored;
using Value = ScreenSaverDefaults::Value;

static_assert(MAX_NUM_MOTES == 1000000, "the --count help names the limit");

// In the order of the store file. Each row: the keys; the field and default (for an
// integer also its range, and what a stored value outside it loads as); the option:
// its place in --help, name, value placeholder and help, then its words, or the flag
// that clears it and that flag's help.
const Setting SETTINGS[] = {
    {{"numMotes"},
     Integer{&ZorvanState::numMotes, 1500, 1, MAX_NUM_MOTES, 1500},
     {1, "count", "N", "number of motes, 1..1000000 (default 1500)"}},
    // No upper bound on the size divisor: a huge one only draws motes too small to see.
    {{"moteSize"},
     Integer{&ZorvanState::moteSize, 10, 1, INT_MAX, 10},
     {2, "mote-size", "N",
      "divisor of the mote size: a mote's radius is its weight\n"
      "(25..40) divided by N pixels; 1 or more, 1 largest\n"
      "(default 10; the settings sheet offers 1..19)"}},
    {{"mainScreenOnly"},
     Bool{&ZorvanState::mainScreenOnly, false},
     {13, "main-screen-only", nullptr, "draw only on the main monitor; the others stay black",
      {}, "all-screens", "draw on every monitor (default)"}},
    {{"logoMode", "logoFile"},
     Logo{&ZorvanState::logoMode, &ZorvanState::logoFile},
     {11, "logo", "LOGO",
      "the picture the motes gather into: default (Zorvan's own),\n"
      "none (a small box at the centre) or a picture FILE"}},
    {{"drawMode"},
     Integer{&ZorvanState::drawMode, 0},
     {6, "tails", nullptr,
      "draw each mote with a tail from its last position\n"
      "(drawn while the mote-size divisor is 6 or more)",
      {}, "no-tails", "draw the motes without tails (default)"}},
    {{"colourMode"},
     Integer{&ZorvanState::colourMode, 0},
     {7, "colours", "MODE",
      "mote colours: default (on black, #ff33b0 for the lightest\n"
      "to #ffcc80 for the heaviest), custom (--bg, --light and\n"
      "--heavy, given or saved) or logo (each mote the colour\n"
      "of its logo pixel, the background the logo's)",
      {"default", "custom", "logo"}}},
    {{"contrastCheck"},
     Level{&ZorvanState::minimumContrast, false, 0.5f},
     {12, "contrast", nullptr,
      "count logo pixels close to the background colour as\n"
      "background",
      {}, "no-contrast",
      "only pixels of the background colour itself are\n"
      "background (default)"}},
    // Out of range loads as a square, although a diamond is the default.
    {{"moteShape"},
     Integer{&ZorvanState::moteShape, 1, 0, 2, 0},
     {4, "shape", "SHAPE", "mote shape: square, diamond (default) or hexagon",
      {"square", "diamond", "hexagon"}}},
    {{"directional"},
     Bool{&ZorvanState::directional, true},
     {5, "directional", nullptr, "turn the shapes along the direction of travel (default)",
      {}, "no-directional", "keep the shapes upright"}},
    {{"bgR", "bgG", "bgB"},
     Rgb{&ZorvanState::bg, {0.0f, 0.0f, 0.0f}},
     {8, "bg", "COLOUR", "background colour, #rrggbb or a name (default black)"}},
    {{"lightR", "lightG", "lightB"},
     Rgb{&ZorvanState::light, LIGHT},
     {9, "light", "COLOUR", "colour of the lightest motes (default #ff33b0)"}},
    {{"heavyR", "heavyG", "heavyB"},
     Rgb{&ZorvanState::heavy, HEAVY},
     {10, "heavy", "COLOUR", "colour of the heaviest motes (default #ffcc80)"}},
    {{"speed"},
     Float{&ZorvanState::speed, 0.8f},
     {3, "speed", "X", "scale of the steering, a decimal number (default 0.8)"}},
};

// Appends the row's registered defaults to `out`.
void appendDefaults(const Setting& s, ScreenSaverDefaults::Dictionary& out) {
    const auto& k = s.keys;
    std::visit(
        [&](const auto& row) {
            using Row = std::decay_t<decltype(row)>;
            if constexpr (std::is_same_v<Row, Rgb>) {
                out.emplace_back(k[0], Value(row.byDefault.r));
                out.emplace_back(k[1], Value(row.byDefault.g));
                out.emplace_back(k[2], Value(row.byDefault.b));
            } else if constexpr (std::is_same_v<Row, Logo>) {
                out.emplace_back(k[0], Value(0));
            } else {
                out.emplace_back(k[0], Value(row.byDefault));
            }
        },
        s.stored);
}

}  // namespace

std::span<const Setting> settingsTable() { return SETTINGS; }

ScreenSaverDefaults::Dictionary registeredDefaults() {
    ScreenSaverDefaults::Dictionary defaults;
    for (const Setting& s : SETTINGS) appendDefaults(s, defaults);
    return defaults;
}

void addDefaultColours(ScreenSaverDefaults::Dictionary& settings) {
    const Setting& colourMode =
        *std::find_if(std::begin(SETTINGS), std::end(SETTINGS), [](const Setting& s) {
            const auto* row = std::get_if<Integer>(&s.stored);
            return row && row->field == &ZorvanState::colourMode;
        });
    auto last = std::find_if(settings.rbegin(), settings.rend(),
                             [&](const auto& entry) { return entry.first == colourMode.keys[0]; });
    if (last == settings.rend() || last->second != Value(0)) return;
    ScreenSaverDefaults::Dictionary colours;
    for (const Setting& s : SETTINGS)
        if (std::holds_alternative<Rgb>(s.stored)) appendDefaults(s, colours);
    settings.insert(settings.begin(), colours.begin(), colours.end());
}

}  // namespace zorvan
