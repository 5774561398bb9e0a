#include "settings/SettingsTable.h"

#include "platform/bundle/Bundle.h"
#include "render/MoteShapes.h"
#include "sim/MoteArray.h"

#include <algorithm>
#include <cstdio>

namespace zorvan {

namespace {

using namespace stored;
using Value = ScreenSaverDefaults::Value;

static_assert(MAX_NUM_MOTES == 1000000, "the --count help names the limit");

using C = SheetControl;

// In the order of the store file. Each row: the keys; the field and default (for an
// integer also its range, and what a stored value outside it loads as); the sheet's
// control and its ids; the option: name, value placeholder and help, then its words,
// or the flag that clears it and that flag's help.
const Setting SETTINGS[] = {
    {{"numMotes"},
     Integer{&Settings::numMotes, 1500, 1, MAX_NUM_MOTES, 1500},
     {C::MoteCount, {"motesSlider"}},
     {"count", "N", "number of motes, 1..1000000 (default 1500)"}},
    // No upper bound on the size divisor: a huge one only draws motes too small to see.
    {{"moteSize"},
     Integer{&Settings::moteSize, 10, 1, INT_MAX, 10},
     {C::SizeSlider, {"sizeSlider"}},
     {"mote-size", "N",
      "divisor of the mote size: a mote's radius is its weight\n"
      "(25..40) divided by N pixels; 1 or more, 1 largest\n"
      "(default 10; the settings sheet offers 1..19)"}},
    {{"mainScreenOnly"},
     Bool{&Settings::mainScreenOnly, false},
     {C::CheckBox, {"screensBox"}},
     {"main-screen-only", nullptr,
      "draw only on the main monitor; the others stay black\n"
      "(no meaning with --span)",
      {}, "all-screens", "draw on every monitor (default)"}},
    {{"logoMode", "logoFile"},
     Logo{&Settings::logoMode, &Settings::logoFile},
     {C::Picture, {"logoImage"}},
     {"logo", "LOGO",
      "the picture the motes gather into: default (Zorvan's own),\n"
      "none (a small box at the centre) or a picture FILE"}},
    {{"drawMode"},
     Integer{&Settings::drawMode, DRAW_PLAIN},
     {C::CheckBox, {"tailsBox"}},
     {"tails", nullptr,
      "draw each mote with a tail from its last position\n"
      "(drawn while the mote-size divisor is 6 or more)",
      {}, "no-tails", "draw the motes without tails (default)"}},
    {{"colourMode"},
     Integer{&Settings::colourMode, COLOURS_DEFAULT},
     {C::ColourModes, {"defaultColours", "customColours", "imageColours"}},
     {"colours", "MODE",
      "mote colours: default (on black, #ff33b0 for the lightest\n"
      "to #ffcc80 for the heaviest), custom (--bg, --light and\n"
      "--heavy, given or saved) or logo (each mote the colour\n"
      "of its logo pixel, the background the logo's)",
      {"default", "custom", "logo"}}},
    {{"contrastCheck"},
     Level{&Settings::minimumContrast, false, 0.5f},
     {C::CheckBox, {"contrastBox"}},
     {"contrast", nullptr,
      "count logo pixels close to the background colour as\n"
      "background",
      {}, "no-contrast",
      "only pixels of the background colour itself are\n"
      "background (default)"}},
    // Out of range loads as a square, although a diamond is the default.
    {{"moteShape"},
     Integer{&Settings::moteShape, SHAPE_DIAMOND, SHAPE_SQUARE, SHAPE_HEXAGON, SHAPE_SQUARE},
     {C::Radio, {"squareButton", "diamondButton", "hexButton"}},
     {"shape", "SHAPE", "mote shape: square, diamond (default) or hexagon",
      {"square", "diamond", "hexagon"}}},
    {{"directional"},
     Bool{&Settings::directional, true},
     {C::CheckBox, {"directionalButton"}},
     {"directional", nullptr, "turn the shapes along the direction of travel (default)",
      {}, "no-directional", "keep the shapes upright"}},
    {{"bgR", "bgG", "bgB"},
     Rgb{&Settings::bg, {0.0f, 0.0f, 0.0f}},
     {C::Well, {"bgWell"}},
     {"bg", "COLOUR", "background colour, #rrggbb or a name (default black)"}},
    {{"lightR", "lightG", "lightB"},
     Rgb{&Settings::light, LIGHT},
     {C::Well, {"lightWell"}},
     {"light", "COLOUR", "colour of the lightest motes (default #ff33b0)"}},
    {{"heavyR", "heavyG", "heavyB"},
     Rgb{&Settings::heavy, HEAVY},
     {C::Well, {"heavyWell"}},
     {"heavy", "COLOUR", "colour of the heaviest motes (default #ffcc80)"}},
    {{"speed"},
     Float{&Settings::speed, 0.8f},
     {C::Slider, {"speedSlider"}},
     {"speed", "X", "scale of the steering, a decimal number (default 0.8)"}},
};

}  // namespace

std::span<const Setting> settingsTable() { return SETTINGS; }

ScreenSaverDefaults::Dictionary registeredDefaults() {
    ScreenSaverDefaults::Dictionary defaults;
    forEachSetting([&](const Setting& s, const auto& row) { row.registerDefault(s.keys, defaults); });
    return defaults;
}

void addDefaultColours(ScreenSaverDefaults::Dictionary& settings) {
    const Setting& colourMode =
        *std::find_if(std::begin(SETTINGS), std::end(SETTINGS), [](const Setting& s) {
            const auto* row = std::get_if<Integer>(&s.stored);
            return row && row->field == &Settings::colourMode;
        });
    auto last = std::find_if(settings.rbegin(), settings.rend(),
                             [&](const auto& entry) { return entry.first == colourMode.keys[0]; });
    if (last == settings.rend() || last->second != Value(int(COLOURS_DEFAULT))) return;
    ScreenSaverDefaults::Dictionary colours;
    for (const Setting& s : SETTINGS)
        if (const auto* row = std::get_if<Rgb>(&s.stored)) row->registerDefault(s.keys, colours);
    settings.insert(settings.begin(), colours.begin(), colours.end());
}

namespace stored {

void describeInt(const char* key, int value, std::string& out) {
    out += std::string(" ") + key + " " + std::to_string(value);
}

void describeFloat(const char* key, float value, std::string& out) {
    char text[64];
    std::snprintf(text, sizeof text, " %s %a", key, static_cast<double>(value));
    out += text;
}

void Logo::load(Store& store, const Keys& k, Settings& s) const {
    const int m = s.*mode = store.integerForKey(k[0]);
    std::optional<std::string>& f = s.*file;
    if (m == LOGO_DEFAULT) f = Bundle::bundleForClass().pathForImageResource("zorvan.pict");
    else if (m == LOGO_FILE) f = store.stringForKey(k[1]);
    else f.reset();
}

void Logo::saveFile(Store& store, const Keys& k, const Settings& s) const {
    const std::optional<std::string>& f = s.*file;
    if (s.*mode == LOGO_FILE && f) store.setObject(*f, k[1]);
    else store.removeObjectForKey(k[1]);
}

}  // namespace stored

void loadSettings(ScreenSaverDefaults& store, Settings& settings) {
    store.registerDefaults(registeredDefaults());
    forEachSetting([&](const Setting& s, const auto& row) { row.load(store, s.keys, settings); });
}

bool saveSettings(ScreenSaverDefaults& store, const Settings& settings) {
    forEachSetting([&](const Setting& s, const auto& row) { row.save(store, s.keys, settings); });
    for (const Setting& s : SETTINGS)
        if (const auto* logo = std::get_if<Logo>(&s.stored)) logo->saveFile(store, s.keys, settings);
    return store.synchronize();
}

std::string describeSettings(const Settings& settings) {
    std::string out;
    forEachSetting([&](const Setting& s, const auto& row) { row.describe(s.keys, settings, out); });
    for (const Setting& s : SETTINGS)
        if (const auto* logo = std::get_if<Logo>(&s.stored)) {
            const std::optional<std::string>& file = settings.*logo->file;
            out += std::string(" ") + s.keys[1] + " " + (file ? *file : std::string("none"));
        }
    return out.empty() ? out : out.substr(1);
}

}  // namespace zorvan
