// The settings the view keeps in its store, one row each: the store's key, the view's
// field that holds it, the registered default and the check that loading applies, and
// how the command line gives it for one run, with its --help text.
//
// loadPrefs and savePrefs walk the rows in their order, which is the order of the keys
// in the store file; the host's parser and its --help are made from the rows' options.
// A new setting is one row here plus the controls that show it.
#pragma once

#include "platform/prefs/ScreenSaverDefaults.h"
#include "sim/Mote.h"

#include <array>
#include <climits>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace zorvan {

struct ZorvanState;

// How a row is stored, and the field of the view's state that holds it.
namespace stored {

// An integer; a stored value outside min..max loads as `outside`.
struct Integer {
    int ZorvanState::*field;
    int byDefault;
    int min = INT_MIN, max = INT_MAX;
    int outside = 0;
};

struct Bool {
    bool ZorvanState::*field;
    bool byDefault;
};

// A bool that the view holds as a level: `on` when set, else 0. Any level above 0
// saves as set.
struct Level {
    float ZorvanState::*field;
    bool byDefault;
    float on;
};

// A float. The store hands out finite floats only: a NaN or infinite one in the file
// reads as the default.
struct Float {
    float ZorvanState::*field;
    float byDefault;
};

// A colour: three floats, under the row's three keys (red, green, blue).
struct Rgb {
    Colour ZorvanState::*field;
    Colour byDefault;
};

// The logo: its mode under the first key (0 the module's own picture, the default;
// 1 none; 2 a picture file) and, for mode 2, the file under the second key. The file
// is read in the mode's place but written after every other key.
struct Logo {
    int ZorvanState::*mode;
    std::optional<std::string> ZorvanState::*file;
};

}  // namespace stored

// How the command line gives a setting for one run. By what the row stores: an integer
// takes a whole number in its range, or one of `words` (stored as its index); a float
// a decimal number; a colour #rrggbb or a name; the logo default, none or a file.
// With `offName` the setting is a pair of flags instead: `name` sets it (true, or 1)
// and `offName` clears it.
struct SettingOption {
    int listed;                    // its place among the settings in --help
    const char* name;              // without dashes
    const char* value = nullptr;   // the value's placeholder in --help; none for flags
    const char* help = nullptr;    // '\n' starts a further line
    std::vector<const char*> words = {};
    const char* offName = nullptr;
    const char* offHelp = nullptr;
};

struct Setting {
    // The store's key; a colour's three, the logo's two.
    std::array<const char*, 3> keys;
    std::variant<stored::Integer, stored::Bool, stored::Level, stored::Float, stored::Rgb,
                 stored::Logo>
        stored;
    SettingOption option;
};

// Every row, in the order of loading and saving.
std::span<const Setting> settingsTable();

// Calls f(setting, row) for every row in order, `row` the stored::… alternative it holds.
template <typename F>
void forEachSetting(F&& f) {
    for (const Setting& s : settingsTable()) std::visit([&](const auto& row) { f(s, row); }, s.stored);
}

// The defaults to register: one per key (the logo's file has none), in the rows' order.
ScreenSaverDefaults::Dictionary registeredDefaults();

// Completes the settings given for one run as the settings sheet's button would: the
// default colour mode brings the default colours along. Colours given anywhere on the
// command line still win, so these go first.
void addDefaultColours(ScreenSaverDefaults::Dictionary& settings);

}  // namespace zorvan
