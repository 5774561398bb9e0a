// Loading the settings from the module's preference store and saving them back, row by
// row of the settings table.
#include "saver/Zorvan.h"

#include "platform/bundle/Bundle.h"
#include "platform/prefs/ScreenSaverDefaults.h"
#include "settings/SettingsTable.h"

namespace zorvan {

using namespace stored;

void Zorvan::loadPrefs() {
    prefs = ScreenSaverDefaults::defaultsForModuleWithName("Zorvan");
    prefs->registerDefaults(registeredDefaults());

    forEachSetting([&](const Setting& s, const auto& row) {
        const auto& k = s.keys;
        using Row = std::decay_t<decltype(row)>;
        if constexpr (std::is_same_v<Row, Integer>) {
            int& value = this->*row.field;
            value = prefs->integerForKey(k[0]);
            if (value < row.min || value > row.max) value = row.outside;
        } else if constexpr (std::is_same_v<Row, Bool>) {
            this->*row.field = prefs->boolForKey(k[0]);
        } else if constexpr (std::is_same_v<Row, Level>) {
            this->*row.field = prefs->boolForKey(k[0]) ? row.on : 0.0f;
        } else if constexpr (std::is_same_v<Row, Float>) {
            this->*row.field = prefs->floatForKey(k[0]);
        } else if constexpr (std::is_same_v<Row, Rgb>) {
            this->*row.field = {prefs->floatForKey(k[0]), prefs->floatForKey(k[1]),
                                prefs->floatForKey(k[2])};
        } else if constexpr (std::is_same_v<Row, Logo>) {
            const int mode = this->*row.mode = prefs->integerForKey(k[0]);
            std::optional<std::string>& file = this->*row.file;
            if (mode == 0)
                file = Bundle::bundleForClass().pathForImageResource("zorvan.pict");
            else if (mode == 2) file = prefs->stringForKey(k[1]);
            else file.reset();
        }
    });

    smoothness = 0.99f;
    initPlayList();
}

void Zorvan::savePrefs() {
    if (!prefs) return;
    const Setting* logo = nullptr;
    forEachSetting([&](const Setting& s, const auto& row) {
        const auto& k = s.keys;
        using Row = std::decay_t<decltype(row)>;
        if constexpr (std::is_same_v<Row, Integer>) {
            prefs->setInteger(this->*row.field, k[0]);
        } else if constexpr (std::is_same_v<Row, Bool>) {
            prefs->setBool(this->*row.field, k[0]);
        } else if constexpr (std::is_same_v<Row, Level>) {
            prefs->setBool(this->*row.field > 0.0f, k[0]);
        } else if constexpr (std::is_same_v<Row, Float>) {
            prefs->setFloat(this->*row.field, k[0]);
        } else if constexpr (std::is_same_v<Row, Rgb>) {
            const Colour& c = this->*row.field;
            prefs->setFloat(c.r, k[0]);
            prefs->setFloat(c.g, k[1]);
            prefs->setFloat(c.b, k[2]);
        } else if constexpr (std::is_same_v<Row, Logo>) {
            prefs->setInteger(this->*row.mode, k[0]);
            logo = &s;
        }
    });
    // The logo's file goes last, and only for a picture of the user's.
    if (logo) {
        const auto& row = std::get<Logo>(logo->stored);
        const std::optional<std::string>& file = this->*row.file;
        if (this->*row.mode == 2 && file) prefs->setObject(*file, logo->keys[1]);
        else prefs->removeObjectForKey(logo->keys[1]);
    }
    // A failed save is reported by the store on stderr and remembered for the host;
    // the settings stay in effect.
    saveFailed = !prefs->synchronize();
}

}  // namespace zorvan
