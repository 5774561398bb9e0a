// The settings the view keeps in its store, one row each: the store's key, the field of
// Settings that holds it, the registered default and the check that loading applies, the
// control of the settings sheet that shows it, and how the command line gives it for one
// run, with its --help text.
//
// Loading and saving walk the rows in their order, which is the order of the keys in the
// store file; the sheet sets and reads its controls by walking them, and the host's parser
// and its --help are made from the rows' options, in the same order. A new setting is one
// row here, its control in the interface file, and its lines in the daemon's XML dialog
// and the man page (which the packaging test checks against the rows).
#pragma once

#include "platform/prefs/ScreenSaverDefaults.h"
#include "settings/Settings.h"
#include "sim/Mote.h"

#include <array>
#include <climits>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace zorvan {

using Keys = std::array<const char*, 3>;

// How a row is stored, and the field of Settings that holds it: each kind registers its
// defaults, loads and saves itself, so that a walk over the rows needs no case per kind.
namespace stored {

using Store = ScreenSaverDefaults;
using Dictionary = ScreenSaverDefaults::Dictionary;

// " key value" for describeSettings: a whole number, or a float exactly (hexadecimal).
void describeInt(const char* key, int value, std::string& out);
void describeFloat(const char* key, float value, std::string& out);

// An integer; a stored value outside min..max loads as `outside`.
struct Integer {
    int Settings::*field;
    int byDefault;
    int min = INT_MIN, max = INT_MAX;
    int outside = 0;

    void registerDefault(const Keys& k, Dictionary& out) const { out.emplace_back(k[0], Store::Value(byDefault)); }
    void load(Store& store, const Keys& k, Settings& s) const {
        int& value = s.*field;
        value = store.integerForKey(k[0]);
        if (value < min || value > max) value = outside;
    }
    void save(Store& store, const Keys& k, const Settings& s) const { store.setInteger(s.*field, k[0]); }
    void describe(const Keys& k, const Settings& s, std::string& out) const { describeInt(k[0], s.*field, out); }
};

struct Bool {
    bool Settings::*field;
    bool byDefault;

    void registerDefault(const Keys& k, Dictionary& out) const { out.emplace_back(k[0], Store::Value(byDefault)); }
    void load(Store& store, const Keys& k, Settings& s) const { s.*field = store.boolForKey(k[0]); }
    void save(Store& store, const Keys& k, const Settings& s) const { store.setBool(s.*field, k[0]); }
    void describe(const Keys& k, const Settings& s, std::string& out) const { describeInt(k[0], s.*field, out); }
};

// A bool that the settings hold as a level: `on` when set, else 0. Any level above 0
// saves as set.
struct Level {
    float Settings::*field;
    bool byDefault;
    float on;

    void registerDefault(const Keys& k, Dictionary& out) const { out.emplace_back(k[0], Store::Value(byDefault)); }
    void load(Store& store, const Keys& k, Settings& s) const { s.*field = store.boolForKey(k[0]) ? on : 0.0f; }
    void save(Store& store, const Keys& k, const Settings& s) const { store.setBool(s.*field > 0.0f, k[0]); }
    void describe(const Keys& k, const Settings& s, std::string& out) const { describeFloat(k[0], s.*field, out); }
};

// A float. The store hands out finite floats only: a NaN or infinite one in the file
// reads as the default.
struct Float {
    float Settings::*field;
    float byDefault;

    void registerDefault(const Keys& k, Dictionary& out) const { out.emplace_back(k[0], Store::Value(byDefault)); }
    void load(Store& store, const Keys& k, Settings& s) const { s.*field = store.floatForKey(k[0]); }
    void save(Store& store, const Keys& k, const Settings& s) const { store.setFloat(s.*field, k[0]); }
    void describe(const Keys& k, const Settings& s, std::string& out) const { describeFloat(k[0], s.*field, out); }
};

// A colour: three floats, under the row's three keys (red, green, blue).
struct Rgb {
    Colour Settings::*field;
    Colour byDefault;

    void registerDefault(const Keys& k, Dictionary& out) const {
        out.emplace_back(k[0], Store::Value(byDefault.r));
        out.emplace_back(k[1], Store::Value(byDefault.g));
        out.emplace_back(k[2], Store::Value(byDefault.b));
    }
    void load(Store& store, const Keys& k, Settings& s) const {
        s.*field = {store.floatForKey(k[0]), store.floatForKey(k[1]), store.floatForKey(k[2])};
    }
    void save(Store& store, const Keys& k, const Settings& s) const {
        const Colour& c = s.*field;
        store.setFloat(c.r, k[0]);
        store.setFloat(c.g, k[1]);
        store.setFloat(c.b, k[2]);
    }
    void describe(const Keys& k, const Settings& s, std::string& out) const {
        const Colour& c = s.*field;
        describeFloat(k[0], c.r, out);
        describeFloat(k[1], c.g, out);
        describeFloat(k[2], c.b, out);
    }
};

// The logo: its mode under the first key (LOGO_DEFAULT the module's own picture, the
// default; LOGO_NONE; LOGO_FILE a picture file) and, for a file, the file under the second
// key. The file is read in the mode's place but written after every other key
// (saveFile), and has no registered default.
struct Logo {
    int Settings::*mode;
    std::optional<std::string> Settings::*file;

    void registerDefault(const Keys& k, Dictionary& out) const { out.emplace_back(k[0], Store::Value(int(LOGO_DEFAULT))); }
    void load(Store& store, const Keys& k, Settings& s) const;
    void save(Store& store, const Keys& k, const Settings& s) const { store.setInteger(s.*mode, k[0]); }
    void saveFile(Store& store, const Keys& k, const Settings& s) const;
    void describe(const Keys& k, const Settings& s, std::string& out) const { describeInt(k[0], s.*mode, out); }
};

}  // namespace stored

// The control of the settings sheet that shows a setting, by its ids in the interface
// file. The sheet sets every control from the settings when it opens; at its close it
// reads back those that the sheet's actions do not apply at once.
struct SheetControl {
    enum Kind {
        None,
        MoteCount,    // a slider of the count of live motes (the view makes them live)
        SizeSlider,   // a slider that grows with the drawn size while the setting divides it
        Slider,       // a slider of the value itself
        CheckBox,     // on or off (an integer: 1 or 0)
        Radio,        // one button per value 0, 1, ...; the last when none is on
        ColourModes,  // the colour-mode buttons: their action applies the mode at once
        Well,         // a colour well: its action applies the colour at once
        Picture,      // the image view of the logo
    };
    Kind kind = None;
    std::array<const char*, 3> ids = {};
};

// How the command line gives a setting for one run. By what the row stores: an integer
// takes a whole number in its range, or one of `words` (stored as its index); a float
// a decimal number; a colour #rrggbb or a name; the logo default, none or a file.
// With `offName` the setting is a pair of flags instead: `name` sets it (true, or 1)
// and `offName` clears it.
struct SettingOption {
    const char* name;              // without dashes
    const char* value = nullptr;   // the value's placeholder in --help; none for flags
    const char* help = nullptr;    // '\n' starts a further line
    std::vector<const char*> words = {};
    const char* offName = nullptr;
    const char* offHelp = nullptr;
};

struct Setting {
    // The store's key; a colour's three, the logo's two.
    Keys keys;
    std::variant<stored::Integer, stored::Bool, stored::Level, stored::Float, stored::Rgb,
                 stored::Logo>
        stored;
    SheetControl control;
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

// Registers the defaults with `store` and reads every row into `settings`, in the rows'
// order (the smoothness is not stored, and stays as it is).
void loadSettings(ScreenSaverDefaults& store, Settings& settings);

// Writes every row from `settings`, the logo's file last (removed unless the logo is a
// file), then makes the writes persistent. False when the store could not be written:
// it has said why on stderr.
bool saveSettings(ScreenSaverDefaults& store, const Settings& settings);

// Every row as " key value" in the rows' order, floats exactly, the logo's file last
// (as it may hold blanks): "numMotes 1500 moteSize 10 ... logoFile /path" ("none"
// without one).
std::string describeSettings(const Settings& settings);

// Completes the settings given for one run as the settings sheet's button would: the
// default colour mode brings the default colours along. Colours given anywhere on the
// command line still win, so these go first.
void addDefaultColours(ScreenSaverDefaults::Dictionary& settings);

}  // namespace zorvan
