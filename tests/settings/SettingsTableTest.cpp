// The table of settings: rows that the loader, the saver and the command line can all
// take, and help texts that state the defaults the rows register.
#include "settings/SettingsTable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <set>

namespace zorvan {
namespace {

using namespace stored;

size_t keyCount(const Setting& s) {
    size_t n = 0;
    while (n < s.keys.size() && s.keys[n]) ++n;
    return n;
}

TEST(SettingsTable, EveryRowCanBeStoredAndGiven) {
    std::set<std::string> keys, names;
    for (const Setting& s : settingsTable()) {
        const SettingOption& o = s.option;
        SCOPED_TRACE(o.name);
        const bool rgb = std::holds_alternative<Rgb>(s.stored);
        const bool logo = std::holds_alternative<Logo>(s.stored);
        EXPECT_EQ(keyCount(s), rgb ? 3u : logo ? 2u : 1u);
        for (size_t i = 0; i < keyCount(s); ++i) EXPECT_TRUE(keys.insert(s.keys[i]).second) << s.keys[i];
        EXPECT_TRUE(names.insert(o.name).second);
        if (o.offName) {
            EXPECT_TRUE(names.insert(o.offName).second);
        }
        // Every setting shows on the sheet.
        EXPECT_NE(s.control.kind, SheetControl::None);
        EXPECT_TRUE(s.control.ids[0]);
        ASSERT_TRUE(o.help);

        // A bool is only ever given as a pair of flags, and a flag takes no value.
        const bool flags = o.offName != nullptr;
        if (std::holds_alternative<Bool>(s.stored) || std::holds_alternative<Level>(s.stored)) {
            EXPECT_TRUE(flags);
        }
        if (flags) {
            EXPECT_EQ(o.value, nullptr);
            EXPECT_TRUE(o.offHelp);
        } else {
            EXPECT_TRUE(o.value);
        }
        // A word's index is what is stored: loading must keep every one.
        if (!o.words.empty()) {
            const auto* row = std::get_if<Integer>(&s.stored);
            ASSERT_TRUE(row);
            EXPECT_LE(row->min, 0);
            EXPECT_GE(row->max, int(o.words.size()) - 1);
        }
        if (const auto* row = std::get_if<Integer>(&s.stored)) {
            EXPECT_LE(row->min, row->byDefault);
            EXPECT_LE(row->byDefault, row->max);
        }
    }
}

// Each option's --help text states the default that its row registers, so changing
// a default in the table without its help fails here.
TEST(SettingsTable, HelpStatesTheRegisteredDefault) {
    for (const Setting& s : settingsTable()) {
        const SettingOption& o = s.option;
        SCOPED_TRACE(o.name);
        const std::string help = o.help;
        std::visit(
            [&](const auto& row) {
                using Row = std::decay_t<decltype(row)>;
                if constexpr (std::is_same_v<Row, Logo>) {
                    EXPECT_NE(help.find("default (Zorvan's own)"), std::string::npos);
                } else if constexpr (std::is_same_v<Row, Rgb>) {
                    const Colour c = row.byDefault;
                    char hex[8];
                    std::snprintf(hex, sizeof hex, "#%02x%02x%02x", int(std::lround(c.r * 255)),
                                  int(std::lround(c.g * 255)), int(std::lround(c.b * 255)));
                    const std::string named = c.r + c.g + c.b == 0.0f ? "black" : hex;
                    EXPECT_NE(help.find("(default " + named + ")"), std::string::npos);
                } else if (o.offName) {
                    const bool on = row.byDefault != 0;
                    const std::string said = on ? help : o.offHelp;
                    const std::string other = on ? o.offHelp : help;
                    EXPECT_EQ(said.substr(said.size() - 9), "(default)") << said;
                    EXPECT_EQ(other.find("(default)"), std::string::npos) << other;
                } else if (!o.words.empty()) {
                    if constexpr (std::is_same_v<Row, Integer>) {
                        const std::string word = o.words.at(size_t(row.byDefault));
                        // "diamond (default)", or the word first as in "default (on black...".
                        EXPECT_TRUE(help.find(word + " (default)") != std::string::npos ||
                                    help.find(": " + word + " (") != std::string::npos)
                            << help;
                    }
                } else if constexpr (std::is_same_v<Row, Integer> || std::is_same_v<Row, Float>) {
                    std::string value = std::is_same_v<Row, Float>
                                            ? ScreenSaverDefaults::formatFloat(float(row.byDefault))
                                            : std::to_string(row.byDefault);
                    EXPECT_NE(help.find("(default " + value), std::string::npos) << help;
                }
            },
            s.stored);
    }
}

TEST(SettingsTable, DefaultColoursComeFirstAndOnlyForTheDefaultColourMode) {
    using Value = ScreenSaverDefaults::Value;
    ScreenSaverDefaults::Dictionary given = {{"colourMode", Value(1)}};
    addDefaultColours(given);
    EXPECT_EQ(given.size(), 1u);

    // The last choice counts: custom, then default.
    given = {{"colourMode", Value(1)}, {"bgG", Value(0.5f)}, {"colourMode", Value(0)}};
    addDefaultColours(given);
    ASSERT_EQ(given.size(), 9u + 3u);
    const ScreenSaverDefaults::Dictionary colours(given.begin(), given.begin() + 9);
    for (const auto& [key, value] : colours) {
        EXPECT_TRUE(std::holds_alternative<float>(value)) << key;
        EXPECT_TRUE(key.rfind("bg", 0) == 0 || key.rfind("light", 0) == 0 || key.rfind("heavy", 0) == 0)
            << key;
    }
    EXPECT_EQ(colours[4], (std::pair<std::string, Value>{"lightG", Value(LIGHT.g)}));
    EXPECT_EQ(colours[8], (std::pair<std::string, Value>{"heavyB", Value(HEAVY.b)}));
    // The given channel stays after the defaults, so it wins.
    EXPECT_EQ(given[10], (std::pair<std::string, Value>{"bgG", Value(0.5f)}));
}

}  // namespace
}  // namespace zorvan
